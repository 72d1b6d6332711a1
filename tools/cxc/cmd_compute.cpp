// cxc compute: time-frequency connectivity between every pair of sensors from
// .npy epochs, into the active (and control) dataset of a new collection file.
#include <sys/resource.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "host/collection_file.h"
#include "host/connectivity.h"
#include "host/metadata.h"
#include "host/names.h"
#include "tools/cxc/commands.h"
#include "tools/cxc/common.h"

namespace cxc {

namespace {

namespace compute = megcxc::compute;

struct ComputeArgs {
  std::string output;
  std::string active;
  std::string control;
  double sfreq = 0.0;
  std::string freqs;
  std::string cycles = "7";
  int64_t decim = 1;
  std::optional<double> tmin, tmax;
  std::string method = "coh";
  bool zeroMean = false;
  std::string channelNames;
  int64_t workMB = 0;
};

bool isNpy(const std::string& s) { return s.size() > 4 && s.compare(s.size() - 4, 4, ".npy") == 0; }

double parseNumber(const std::string& text, const char* option) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') badUsage(std::string(option) + ": '" + text + "' is not a number");
  return v;
}

// "4:40:2" (start:stop:step, stop included), "8,10,12", "10" or a .npy file.
std::vector<double> parseFrequencies(const std::string& text) {
  if (isNpy(text)) return megcxc::host::loadVectorFile(text, "frequencies");
  std::vector<std::string> parts;
  const char sep = text.find(':') != std::string::npos ? ':' : ',';
  std::size_t at = 0;
  while (true) {
    const std::size_t next = text.find(sep, at);
    parts.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
    if (next == std::string::npos) break;
    at = next + 1;
  }
  std::vector<double> values;
  for (const std::string& p : parts) values.push_back(parseNumber(p, "--freqs"));
  if (sep == ':') {
    if (values.size() != 3) badUsage("--freqs: give start:stop:step, e.g. 4:40:2");
    return compute::linearFrequencies(values[0], values[1], values[2]);
  }
  return values;
}

std::vector<double> parseCycles(const std::string& text) {
  if (isNpy(text)) return megcxc::host::loadVectorFile(text, "cycles");
  return {parseNumber(text, "--n-cycles")};
}

// The peak resident memory of this program: VmHWM of /proc/self/status (ru_maxrss
// would also count the memory of a parent that started the program).
long peakResidentMB() {
  if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, f)) {
      if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
    }
    std::fclose(f);
    if (kb >= 0) return kb / 1024;
  }
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;  // kilobytes on Linux
}

double toMB(int64_t bytes) { return static_cast<double>(bytes) / (1 << 20); }

int runCompute(const ComputeArgs& args) {
  namespace host = megcxc::host;
  host::ComputeRequest request;
  request.active = args.active;
  request.control = args.control;
  request.channelNames = args.channelNames;
  compute::Options& o = request.options;
  o.sfreq = args.sfreq;
  o.freqs = parseFrequencies(args.freqs);
  o.nCycles = parseCycles(args.cycles);
  o.decim = args.decim;
  o.tmin = args.tmin;
  o.tmax = args.tmax;
  o.method = *compute::methodFromKey(args.method);
  o.zeroMean = args.zeroMean;
  o.workBytes = args.workMB << 20;

  TerminalProgress progress;
  MessageConsole console(false);
  console.attachProgress(&progress);
  compute::Progress sink;
  sink.dialog = &progress;
  sink.text = progress.text();
  sink.callback = [&progress](const char* phase, int64_t done, int64_t total) { progress.step(phase, done, total); };

  host::Collection collection;
  std::string stem = args.output.substr(args.output.find_last_of('/') + 1);
  if (const std::size_t dot = stem.find_last_of('.'); dot != std::string::npos && dot > 0) stem = stem.substr(0, dot);
  collection.collectionName = stem.c_str();
  const host::ComputeOutcome outcome = host::computeCollection(collection, request, sink);
  progress.finish();
  // The names go beside the collection, for every dataset computed.
  host::Metadata meta;
  for (const host::ClassRun& run : outcome.runs) {
    host::DatasetMetadata& m = meta.byClass[run.spctmClass];
    for (const std::string& name : outcome.channelNames) m.rows.push_back({name, "", ""});
    m.cols = m.rows;
  }
  host::saveCollectionWithMetadata(args.output, collection, meta, progress.bytes("saving", args.output));

  for (const host::ClassRun& run : outcome.runs) {
    const compute::Plan& p = run.plan;
    const host::Dataset& d = *collection.trialByClass[run.spctmClass];
    std::printf("%s: %s of %lld epochs, %lld x %lld sensors, %lld time points (samples %lld..%lld, every %lld) x %lld "
                "frequencies (%.6g..%.6g Hz) in %.2f s (cpu %.2f s)\n",
                host::classKey(run.spctmClass), compute::methodKey(o.method), static_cast<long long>(p.epochs),
                static_cast<long long>(p.channels), static_cast<long long>(p.channels), static_cast<long long>(p.timePoints),
                static_cast<long long>(p.firstSample), static_cast<long long>(p.firstSample + p.samples - 1),
                static_cast<long long>(o.decim), static_cast<long long>(p.freqPoints), o.freqs.front(), o.freqs.back(),
                run.figures.seconds, run.figures.cpuSeconds);
    std::printf("  %s in the %s; FFT length %lld; %lld block(s) x %lld epoch chunk(s); result %.0f MB, work %.0f MB\n",
                d.cxcType.toUtf8().c_str(), p.planes == 2 ? "real and imaginary planes" : "real plane",
                static_cast<long long>(p.fftLength), static_cast<long long>(run.figures.blocks),
                static_cast<long long>(run.figures.epochChunks), toMB(p.resultBytes), toMB(run.figures.peakWorkBytes));
    const compute::RunFigures& f = run.figures;
    std::printf("  seconds: pairs %.2f, wavelets %.2f, sums %.2f, measure %.2f, raw backup %.2f\n", f.buildSeconds,
                f.transformSeconds, f.sumsSeconds, f.resultSeconds, f.backupSeconds);
  }
  if (!outcome.channelNames.empty()) {
    std::printf("channel names: %s .. %s (%zu, in %s)\n",
                outcome.channelNames.front().c_str(), outcome.channelNames.back().c_str(), outcome.channelNames.size(),
                host::metadataPath(args.output).c_str());
  }
  std::printf("saved %s; peak memory %ld MB\n", args.output.c_str(), peakResidentMB());
  return kExitOk;
}

}  // namespace

void addComputeCommand(CLI::App& app, CommandList& commands) {
  auto args = std::make_shared<ComputeArgs>();
  CLI::App* sub = app.add_subcommand(
      "compute",
      "Compute time-frequency connectivity between every pair of sensors from epochs (.npy, epochs x channels x "
      "samples) with Morlet wavelets, into a new collection file");
  sub->add_option("-o,--output", args->output, "collection file to write")->required();
  sub->add_option("--active", args->active, "epochs of the active condition (.npy float64 or float32)")->required();
  sub->add_option("--control", args->control, "epochs of the control condition (same channels)");
  sub->add_option("--sfreq", args->sfreq, "sampling rate in Hz")->required();
  sub->add_option("--freqs", args->freqs, "frequencies in Hz: start:stop:step (e.g. 4:40:2), a list 8,10,12, or a .npy")
      ->required();
  sub->add_option("--n-cycles", args->cycles, "cycles per wavelet: one number or a .npy with one per frequency")
      ->capture_default_str();
  sub->add_option("--decim", args->decim, "keep every K-th sample")->check(CLI::PositiveNumber)->capture_default_str();
  sub->add_option("--tmin", args->tmin, "first time used, seconds from the start of an epoch");
  sub->add_option("--tmax", args->tmax, "last time used (included), seconds from the start of an epoch");
  std::vector<std::string> keys;
  for (const compute::Method m : compute::kAllMethods) keys.push_back(compute::methodKey(m));
  sub->add_option("--method", args->method, "connectivity measure")->check(CLI::IsMember(keys))->capture_default_str();
  sub->add_flag("--zero-mean", args->zeroMean, "zero-mean wavelets (as mne-connectivity uses)");
  sub->add_option("--ch-names", args->channelNames, "channel names, one a line (checked against the channel count)");
  sub->add_option("--work-mb", args->workMB, "memory for coefficients and sums besides the result (MB; default: automatic)")
      ->check(CLI::NonNegativeNumber);
  commands.push_back({sub, [args] { return runCompute(*args); }});
}

}  // namespace cxc
