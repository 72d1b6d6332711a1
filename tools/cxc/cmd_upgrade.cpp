// cxc upgrade: read a collection file or trial archive of any version the
// library reads and write it in the newest layout.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "host/collection_file.h"
#include "host/metadata.h"
#include "tools/cxc/commands.h"
#include "tools/cxc/common.h"

namespace cxc {

namespace {

struct UpgradeArgs {
  std::string input;
  std::string output;
};

int runUpgrade(const UpgradeArgs& args) {
  namespace host = megcxc::host;
  TerminalProgress progress;
  MessageConsole console(false);
  console.attachProgress(&progress);
  const host::ArchiveHeader found = host::readArchiveHeader(args.input);
  if (found.kind == host::ArchiveKind::trial) {
    const std::unique_ptr<host::Dataset> dataset =
        host::loadTrialFile(args.input, nullptr, progress.bytes("loading", args.input));
    host::saveTrialFile(args.output, *dataset);
  } else {
    host::Collection collection;
    host::Metadata meta;
    std::vector<std::string> warnings;
    host::loadCollectionWithMetadata(args.input, collection, meta, false, &warnings, progress.bytes("loading", args.input));
    printWarnings(warnings);
    host::saveCollectionWithMetadata(args.output, collection, meta, progress.bytes("saving", args.output));
  }
  const host::ArchiveHeader written = host::readArchiveHeader(args.output);
  std::printf("%s (%s %d) -> %s (%s %d)\n", args.input.c_str(), found.magic.c_str(), static_cast<int>(found.version),
              args.output.c_str(), written.magic.c_str(), static_cast<int>(written.version));
  return kExitOk;
}

}  // namespace

void addUpgradeCommand(CLI::App& app, CommandList& commands) {
  auto args = std::make_shared<UpgradeArgs>();
  CLI::App* sub = app.add_subcommand(
      "upgrade", "Rewrite a collection file or trial archive of any supported version in the newest layout");
  sub->add_option("IN", args->input, "file to read")->required();
  sub->add_option("OUT", args->output, "file to write (may equal IN; written atomically)")->required();
  commands.push_back({sub, [args] { return runUpgrade(*args); }});
}

}  // namespace cxc
