// cxc export: planes, axes and summaries as NumPy .npy files (or CSV) for
// NumPy / MNE-Python users and spreadsheets (the files: host/exchange.h).
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/cxc/commands.h"
#include "host/collection_file.h"
#include "host/exchange.h"
#include "host/metadata.h"
#include "host/mne_exchange.h"
#include "host/names.h"
#include "tools/cxc/common.h"

namespace cxc {

namespace {

struct ExportArgs {
  std::string file;
  std::string dir;
  std::vector<std::string> classes;
  std::string type;
  std::string format = "npy";
  std::string layout = "stf";
};

int runExport(const ExportArgs& args) {
  namespace host = megcxc::host;
  TerminalProgress progress;
  MessageConsole console(false);
  console.attachProgress(&progress);
  host::Collection collection;
  host::Metadata meta;
  std::vector<std::string> warnings;
  host::loadCollectionWithMetadata(args.file, collection, meta, true, &warnings, progress.bytes("loading", args.file));
  printWarnings(warnings);
  if (args.format == "mne-connectivity") {
    std::vector<int> classes;
    for (const std::string& name : args.classes) classes.push_back(host::classFromKey(name));
    if (classes.empty()) {
      for (int k = 0; k < host::kClassCount; ++k) {
        if (collection.trialByClass[k]) classes.push_back(k);
      }
    }
    host::makeFolder(args.dir);
    for (const int k : classes) {
      const std::string path = args.dir + "/" + host::classKey(k) + "_connectivity.nc";
      host::exportMneConnectivity(collection, k, meta, path);
      std::printf("wrote %s\n", path.c_str());
    }
    return kExitOk;
  }
  host::ExportOptions options;
  options.source = args.file;
  options.folder = args.dir;
  for (const std::string& name : args.classes) options.classes.push_back(host::classFromKey(name));
  options.dataType = args.type.empty() ? -1 : host::dataTypeFromKey(args.type);
  options.csv = args.format == "csv";
  options.sft = args.layout == "sft";
  options.metadata = &meta;
  host::exportCollection(collection, options, [](const std::string& path, const std::string& what) {
    if (what.empty()) {
      std::printf("wrote %s\n", path.c_str());
    } else {
      std::printf("wrote %s  %s\n", path.c_str(), what.c_str());
    }
  });
  return kExitOk;
}

}  // namespace

void addExportCommand(CLI::App& app, CommandList& commands) {
  auto args = std::make_shared<ExportArgs>();
  CLI::App* sub = app.add_subcommand(
      "export",
      "Write planes (sensors x sensors x time x frequency; complex128 when real and imaginary are both present), "
      "axes and summaries as NumPy .npy files or CSV, with manifest.json");
  sub->add_option("FILE", args->file, "collection file (a single trial archive counts as active)")->required();
  sub->add_option("-o,--output", args->dir, "output directory (created if missing)")->required();
  sub->add_option("--class", args->classes, "class datasets to export (default: all present)")
      ->check(CLI::IsMember({"active", "control", "act-ctl"}));
  sub->add_option("--type", args->type, "only this plane: real, imag or power")
      ->check(CLI::IsMember({"real", "imag", "power"}));
  sub->add_option("--format", args->format,
                  "npy, csv, or mne-connectivity (one <class>_connectivity.nc per dataset, read by "
                  "mne_connectivity.read_connectivity)")
      ->check(CLI::IsMember({"npy", "csv", "mne-connectivity"}))
      ->capture_default_str();
  sub->add_option("--layout", args->layout,
                  "stf: sensors, sensors, time, frequency; sft: frequency before time (MNE's order)")
      ->check(CLI::IsMember({"stf", "sft"}))
      ->capture_default_str();
  commands.push_back({sub, [args] { return runExport(*args); }});
}

}  // namespace cxc
