// cxc demo: synthesise a collection, run the typical pipeline, save it and
// say where the strongest active-control effect lies.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <memory>

#include "tools/cxc/commands.h"
#include "host/demo_data.h"
#include "host/collection_file.h"
#include "host/describe.h"
#include "host/metadata.h"
#include "host/steps.h"
#include "platform/memory_info.h"
#include "tools/cxc/common.h"

namespace cxc {

using namespace megcxc::host;

namespace {

struct DemoArgs {
  DemoOptions demo;
  std::string output = "demo.cxc";
};

std::string groupText(const std::vector<int64_t>& group) {
  std::string s;
  for (const int64_t g : group) {
    if (!s.empty()) s += " ";
    s += std::to_string(g);
  }
  return s;
}

bool contains(const std::vector<int64_t>& v, int64_t x) {
  for (const int64_t y : v) {
    if (y == x) return true;
  }
  return false;
}

int runDemo(const DemoArgs& args) {
  namespace host = megcxc::host;
  const DemoOptions& o = args.demo;
  const std::string problem = checkDemoOptions(o);
  if (!problem.empty()) badUsage(problem);
  // Refuse what cannot fit before allocating for minutes.
  const double needMB = demoMemoryMB(o);
  const int64_t available = megcxc::availableMemoryBytes();
  if (available >= 0 && needMB > static_cast<double>(available) / 1048576.0) {
    char text[200];
    std::snprintf(text, sizeof text, "the demo needs about %.0f MB of memory and %.0f MB are available", needMB,
                  static_cast<double>(available) / 1048576.0);
    refuse(args.output + ": " + text + " (try fewer --sensors, --time or --freq points)");
  }
  const auto started = std::chrono::steady_clock::now();

  // The progress window outlives the collection, whose datasets keep a
  // pointer to it.
  TerminalProgress progress;
  MessageConsole console(false);
  console.attachProgress(&progress);
  host::Collection collection;
  collection.collectionName = "cxc demo";
  const std::string built = buildDemoDatasets(
      collection, o, &progress, progress.text(), [&progress](int cls, int64_t done, int64_t total) {
        progress.step(cls == 0 ? "synthesising active" : "synthesising control", done, total);
      });
  progress.finish();
  if (!built.empty()) {
    const double megabytes = host::Dataset().estimateDataSizeMB(o.sensors, o.timePt, o.freqPt, true, 1, 1);
    refuse(args.output + ": " + built + " (about " + std::to_string(megabytes) + " MB)");
  }

  const int64_t controlTimePt = collection.trialByClass[1]->timePt;
  std::vector<host::Step> steps = {host::magnitudeStep()};
  if (controlTimePt > 1) steps.push_back(host::accumulateStep(0, 1));
  steps.push_back(host::actCtlStep(0, host::Consent::no));
  for (const host::Step& step : steps) requireDone(host::applyStep(collection, step), step, args.output);
  const int summaries = collection.cmpSumCCSpctmAllClassType4ActSns();

  host::Dataset& active = *collection.trialByClass[0];
  host::Dataset& control = *collection.trialByClass[1];
  host::Dataset& result = *collection.trialByClass[2];
  const host::PlanePeak peak = host::findPlanePeak(result, 2, true);

  host::Metadata noNames;
  host::saveCollectionWithMetadata(args.output, collection, noNames, progress.bytes("saving", args.output));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  const DemoTruth truth = demoTruth(o);
  std::printf("cxc demo: %lld sensors, %lld time points x %lld frequencies (%.1f-%.1f Hz), seed %llu\n",
              static_cast<long long>(o.sensors), static_cast<long long>(o.timePt), static_cast<long long>(o.freqPt),
              o.firstHz, o.freqPt > 1 ? o.lastHz : o.firstHz, static_cast<unsigned long long>(o.seed));
  std::printf("  active : 1/f cross-spectra, sensors %s coupled around %.1f Hz in time points %lld-%lld\n",
              groupText(truth.group).c_str(), truth.bandCentreHz, static_cast<long long>(truth.timeBegin),
              static_cast<long long>(truth.timeEnd));
  std::printf("  control: 1/f cross-spectra, no coupling\n");
  const std::string collapse = controlTimePt > 1
                                   ? "control collapsed over time (" + std::to_string(controlTimePt) + " -> 1)"
                                   : std::string("control already one time point");
  std::printf("  steps  : magnitude; %s; A-C; %d class summaries\n", collapse.c_str(), summaries);
  if (peak.found) {
    const double hz = result.getSpctmFreq4FreqIndex(peak.freqIndex);
    const double activeValue = active.getSnsActCC(peak.row, peak.column)->plane[2][peak.timeIndex][peak.freqIndex];
    const double controlValue = control.getSnsActCC(peak.row, peak.column)->plane[2][0][peak.freqIndex];
    const bool inGroup = contains(truth.group, peak.row) && contains(truth.group, peak.column);
    std::printf("strongest active-control effect: sensors %lld x %lld at %.1f Hz, time point %lld: %+.3f\n",
                static_cast<long long>(peak.row), static_cast<long long>(peak.column), hz,
                static_cast<long long>(peak.timeIndex), peak.value);
    std::printf("  magnitude %.3f active vs %.3f control%s\n", activeValue, controlValue,
                inGroup ? "; both sensors are in the coupled group" : "");
  }
  const CSumCCSpctmDatazq& sum = result.summaryByDataType[2];
  if (sum.isComputed) {
    std::printf("  act-ctl magnitude summary over all %lld pairs: mean %+.3f, rms %.3f\n",
                static_cast<long long>(sum.pairCount), sum.meanValue, sum.rmsValue);
  }
  std::printf("saved %s (%.1f MB) in %.1f s\n", args.output.c_str(),
              static_cast<double>(host::fileSize(args.output)) / 1048576.0, seconds);
  std::printf("next : cxc info %s; cxc report %s --class act-ctl --type power\n", args.output.c_str(),
              args.output.c_str());
  return kExitOk;
}

}  // namespace

void addDemoCommand(CLI::App& app, CommandList& commands) {
  auto args = std::make_shared<DemoArgs>();
  CLI::App* sub = app.add_subcommand(
      "demo",
      "Synthesise a demo collection (active with a coupled sensor group, control without), run magnitude, "
      "control collapse over time, A-C and class summaries, save it and print where the strongest effect lies");
  sub->add_option("--sensors", args->demo.sensors, "number of MEG sensors")->capture_default_str();
  sub->add_option("--time", args->demo.timePt, "number of time points")->capture_default_str();
  sub->add_option("--freq", args->demo.freqPt, "number of frequency points (2-40 Hz, linear)")->capture_default_str();
  sub->add_option("--seed", args->demo.seed, "seed of the synthetic data")->capture_default_str();
  sub->add_option("-o,--output", args->output, "collection file to write")->capture_default_str();
  commands.push_back({sub, [args] { return runDemo(*args); }});
}

}  // namespace cxc
