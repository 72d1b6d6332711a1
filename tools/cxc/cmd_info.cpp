// cxc info: what a collection file or a single trial archive holds.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "host/collection_file.h"
#include "host/describe.h"
#include "host/metadata.h"
#include "tools/cxc/commands.h"
#include "tools/cxc/common.h"

namespace cxc {

namespace {

struct InfoArgs {
  std::string file;
  bool json = false;
};

int runInfo(const InfoArgs& args) {
  TerminalProgress progress;
  MessageConsole console(false);
  console.attachProgress(&progress);
  megcxc::host::Collection collection;
  megcxc::host::Metadata meta;
  std::vector<std::string> warnings;
  const megcxc::host::ArchiveHeader header =
      megcxc::host::loadCollectionWithMetadata(args.file, collection, meta, true, &warnings,
                                                progress.bytes("loading", args.file));
  printWarnings(warnings);
  const std::string text = args.json ? megcxc::host::describeCollectionJson(args.file, header, collection, &meta)
                                     : megcxc::host::describeCollectionText(args.file, header, collection, &meta);
  std::fputs(text.c_str(), stdout);
  return kExitOk;
}

}  // namespace

void addInfoCommand(CLI::App& app, CommandList& commands) {
  auto args = std::make_shared<InfoArgs>();
  CLI::App* sub =
      app.add_subcommand("info", "Show what a collection file (any version) or a single trial archive holds");
  sub->add_option("FILE", args->file, "collection file or trial archive")->required();
  sub->add_flag("--json", args->json, "print JSON instead of text");
  commands.push_back({sub, [args] { return runInfo(*args); }});
}

}  // namespace cxc
