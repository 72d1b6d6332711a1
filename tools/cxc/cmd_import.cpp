// cxc import: spectra computed elsewhere (NumPy, MNE-Python's Morlet
// transform) into one class dataset of a collection file, pair by pair
// through the host entry of the channel-pair record.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <memory>

#include "tools/cxc/commands.h"
#include "host/collection_file.h"
#include "host/exchange.h"
#include "host/metadata.h"
#include "host/mne_exchange.h"
#include "host/names.h"
#include "platform/refused.h"
#include "tools/cxc/common.h"

namespace cxc {

namespace {

struct ImportArgs {
  std::string file;
  std::string className;
  std::string data;
  std::string layout = "stf";
  std::string freqs;
  std::string times;
  std::string cmpt;
  std::string output;
  double sfreq = 0.0;
  double tmin = std::nan("");
  std::string chNames;
  std::string unit;
  std::string from;
};

std::string fileStem(const std::string& path) {
  std::string base = path.substr(path.find_last_of('/') + 1);
  const std::size_t dot = base.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

int runImport(const ImportArgs& args) {
  namespace host = megcxc::host;
  const std::string out = args.output.empty() ? args.file : args.output;
  TerminalProgress progress;
  MessageConsole console(false);
  console.attachProgress(&progress);
  if (std::isfinite(args.tmin) && args.sfreq <= 0.0) badUsage("--tmin needs --sfreq");
  // Names are read and counted before anything else is touched.
  std::vector<std::string> names;
  if (!args.chNames.empty()) names = host::readNameList(args.chNames);
  host::Collection collection;
  host::Metadata meta;
  const bool existed = host::pathExists(args.file);
  if (existed) {
    std::vector<std::string> warnings;
    host::loadCollectionWithMetadata(args.file, collection, meta, false, &warnings, progress.bytes("loading", args.file));
    printWarnings(warnings);
  } else {
    collection.collectionName = fileStem(out);
  }
  if (!args.from.empty()) {
    if (!args.data.empty()) badUsage("give --data or --from, not both");
    const int cls = host::classFromKey(args.className);
    host::MneImportSummary got;
    try {
      got = host::importMneConnectivity(collection, cls, args.from, meta);
    } catch (const megcxc::Refused& e) {
      const std::string what = e.what();
      if (what.rfind(args.from, 0) == 0) throw;
      refuse(out + ": " + what);
    }
    if (!existed) collection.autoFindSetSpctmClass();
    host::saveCollectionWithMetadata(out, collection, meta, progress.bytes("saving", out));
    std::printf("imported %s (%s) as the %s dataset of %s: %lld x %lld sensors, %lld time x %lld frequency points, %s\n",
                args.from.c_str(), got.method.empty() ? "?" : got.method.c_str(), args.className.c_str(), out.c_str(),
                static_cast<long long>(got.nodes), static_cast<long long>(got.nodes),
                static_cast<long long>(got.timePt), static_cast<long long>(got.freqPt),
                got.complex ? "complex" : "real only");
    if (got.completedUpperTriangle) {
      std::printf("the file holds one triangle (row > column); the other is completed from it\n");
    }
    if (got.cellsWithoutValue > 0) {
      std::printf("%lld cells without a value in the file are 0\n", static_cast<long long>(got.cellsWithoutValue));
    }
    return kExitOk;
  }
  if (args.data.empty()) badUsage("import: give --data ARRAY.npy or --from FILE.nc");
  host::ImportOptions options;
  options.spctmClass = host::classFromKey(args.className);
  options.data = args.data;
  options.sft = args.layout == "sft";
  options.freqs = args.freqs;
  options.times = args.times;
  options.cmptType = args.cmpt.empty() ? -1 : host::computationFromName(args.cmpt);
  options.sfreq = args.sfreq;
  options.tmin = args.tmin;
  host::ImportSummary done;
  try {
    done = host::importDataset(collection, options, &progress, progress.text(),
                               [&progress](int64_t rows, int64_t total) { progress.step("importing pairs", rows, total); });
  } catch (const megcxc::Refused& e) {
    progress.finish();
    const std::string what = e.what();
    // Refusals of the array or axis files name their file; the others are
    // about the collection being written.
    if (what.rfind(args.data, 0) == 0 || (!args.freqs.empty() && what.rfind(args.freqs + ":", 0) == 0) ||
        (!args.times.empty() && what.rfind(args.times + ":", 0) == 0)) {
      throw;
    }
    refuse(out + ": " + what);
  }
  progress.finish();
  if (done.freqsGuessed) std::fprintf(stderr, "cxc: no --freqs: frequency point k is labelled k Hz\n");
  if (!existed) collection.autoFindSetSpctmClass();

  // The new dataset's names: those given, else none (old names would
  // describe other sensors).
  host::DatasetMetadata& m = meta.byClass[options.spctmClass];
  m = host::DatasetMetadata();
  if (!names.empty()) {
    if (static_cast<int64_t>(names.size()) != done.rows || done.rows != done.cols) {
      refuse(args.chNames + ": " + std::to_string(names.size()) + " names for " + std::to_string(done.rows) + " x " +
             std::to_string(done.cols) + " sensors");
    }
    for (const std::string& n : names) m.rows.push_back({n, "", ""});
    m.cols = m.rows;
  }
  m.valueUnit = args.unit;
  host::saveCollectionWithMetadata(out, collection, meta, progress.bytes("saving", out));
  host::Dataset& d = *collection.trialByClass[options.spctmClass];
  std::printf("imported %s as the %s dataset of %s: %lld x %lld sensors, %lld time x %lld frequency points, %s\n",
              args.data.c_str(), args.className.c_str(), out.c_str(), static_cast<long long>(done.rows),
              static_cast<long long>(done.cols), static_cast<long long>(done.timePt), static_cast<long long>(done.freqPt),
              done.complex ? "complex" : "real only");
  std::printf("frequency axis %s, %.6g .. %.6g Hz; time step %lld samples from sample %lld\n",
              done.geometric ? "geometric" : "linear", d.getSpctmFreq4FreqIndex(0), d.getSpctmFreq4FreqIndex(done.freqPt - 1),
              static_cast<long long>(done.timeStep), static_cast<long long>(done.firstSample));
  if (done.sfreq > 0.0) {
    std::printf("sampling rate %.6g Hz: time points at %.6g .. %.6g s\n", done.sfreq, host::timeSeconds(d, 0),
                host::timeSeconds(d, done.timePt - 1));
  }
  return kExitOk;
}

}  // namespace

void addImportCommand(CLI::App& app, CommandList& commands) {
  auto args = std::make_shared<ImportArgs>();
  CLI::App* sub = app.add_subcommand(
      "import",
      "Fill one class dataset from a .npy array of cross-spectra (complex128, or float64 for real-only data), "
      "creating the collection file if it does not exist");
  sub->add_option("FILE", args->file, "collection file to update or create")->required();
  sub->add_option("--class", args->className, "class dataset to fill (replaced if present)")
      ->required()
      ->check(CLI::IsMember({"active", "control", "act-ctl"}));
  sub->add_option("--data", args->data, "array sensors x sensors x time x frequency (.npy)");
  sub->add_option("--from", args->from,
                  "an mne-connectivity file (Connectivity.save / read_connectivity) instead of --data");
  sub->add_option("--layout", args->layout,
                  "stf: sensors, sensors, time, frequency; sft: frequency before time "
                  "(MNE's order)")
      ->check(CLI::IsMember({"stf", "sft"}))
      ->capture_default_str();
  sub->add_option("--freqs", args->freqs, "frequencies in Hz (.npy float64, linear or geometric)");
  sub->add_option("--times", args->times,
                  "time of each time point (.npy float64, evenly spaced): sample positions, or seconds with --sfreq "
                  "(e.g. MNE's epochs.times)");
  sub->add_option("--sfreq", args->sfreq, "sampling rate in Hz: recorded with the dataset, times read in seconds")
      ->check(CLI::PositiveNumber);
  sub->add_option("--tmin", args->tmin, "with --sfreq and without --times: time of the first point in seconds");
  sub->add_option("--ch-names", args->chNames, "text file with one channel name per line (kept beside the collection)");
  sub->add_option("--unit", args->unit, "unit of the values, e.g. 'T^2/Hz' (kept beside the collection)");
  sub->add_option("--cmpt", args->cmpt, "how these cross-spectra were computed: CWT or GBT")
      ->check(CLI::IsMember({"CWT", "GBT"}));
  sub->add_option("-o,--output", args->output, "write here instead of FILE");
  commands.push_back({sub, [args] { return runImport(*args); }});
}

}  // namespace cxc
