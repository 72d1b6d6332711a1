// cxc report: the frequency or time statistics report of one class dataset,
// the library's own text.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "host/collection_file.h"
#include "host/describe.h"
#include "host/metadata.h"
#include "host/names.h"
#include "tools/cxc/commands.h"
#include "tools/cxc/common.h"

namespace cxc {

namespace {

struct ReportArgs {
  std::string file;
  std::string className;
  std::string type;  // empty: all three data types
  bool time = false;
  std::string scale;  // empty: 1; a number; or "auto"
};

// The largest magnitude over the planes the report shows.
double largestMagnitude(const megcxc::host::Dataset& d, int dataType) {
  double m = 0.0;
  for (int k = 0; k < 3; ++k) {
    if (dataType >= 0 && k != dataType) continue;
    const megcxc::host::PlaneRange r = megcxc::host::planeRange(d, k);
    if (r.found) m = std::max(m, r.maxAbs);
  }
  return m;
}

int runReport(const ReportArgs& args) {
  namespace host = megcxc::host;
  TerminalProgress progress;
  MessageConsole console(false);
  console.attachProgress(&progress);
  host::Collection collection;
  host::loadCollectionFile(args.file, collection, true, progress.bytes("loading", args.file));
  host::Dataset* d = collection.trialByClass[host::classFromKey(args.className)];
  if (!d) refuse(args.file + ": the collection holds no " + args.className + " dataset");
  const int dataType = args.type.empty() ? -1 : host::dataTypeFromKey(args.type);
  // The report reads the dataset's grid from every pair: pairs on another
  // grid, or a plane no pair holds, would print lines of made-up zeros.
  const host::PlaneCensus census = host::countPlanes(*d);
  if (census.extentMismatch) {
    refuse(args.file + ": " + std::to_string(census.extentMismatch) + " pair(s) of the " + args.className +
           " dataset differ from its " + std::to_string(d->timePt) + " x " + std::to_string(d->freqPt) +
           " grid; a report would not describe them");
  }
  if (dataType >= 0 && census.working[dataType] == 0) {
    refuse(args.file + ": the " + args.className + " dataset has no " + args.type + " plane" +
           (dataType == 2 ? " (compute it with cxc process --magnitude or --phase)" : ""));
  }
  // The report's format prints six decimals: values in SI units (1e-24 T^2)
  // need a factor to show as anything but zeros. The text stays as it is.
  double factor = 1.0;
  if (args.scale == "auto") {
    factor = host::autoScaleFor(largestMagnitude(*d, dataType));
  } else if (!args.scale.empty()) {
    char* end = nullptr;
    factor = std::strtod(args.scale.c_str(), &end);
    if (end == args.scale.c_str() || *end != '\0' || !std::isfinite(factor) || factor == 0.0) {
      badUsage("--scale: '" + args.scale + "' is neither a non-zero number nor auto");
    }
  }
  if (factor != 1.0) d->scaleSpctmAllDataType4Class(factor);
  const double largest = largestMagnitude(*d, dataType);
  if (largest > 0.0 && largest < 5e-7) {
    std::fprintf(stderr, "cxc: note: every value prints as 0.000000 (largest magnitude %s); try --scale %g or --scale auto\n",
                 host::engineering(largest).c_str(), host::autoScaleFor(largest));
  }
  if (!args.time && host::reportLabelsDifferFromFrequencies(*d) && d->freqPt > 0) {
    std::fprintf(stderr,
                 "cxc: note: the lines are labelled by the geometric axis definition of the format (%g .. %g), not by "
                 "the frequencies (%g .. %g Hz); cxc info and cxc export give the frequencies\n",
                 host::reportFrequencyLabel(*d, 0), host::reportFrequencyLabel(*d, d->freqPt - 1),
                 d->getSpctmFreq4FreqIndex(0), d->getSpctmFreq4FreqIndex(d->freqPt - 1));
  }
  const CString text = host::statisticsReport(*d, args.time, dataType);
  if (text.IsEmpty()) refuse(args.file + ": the " + args.className + " dataset has no data to report");
  std::fputs(text.toUtf8().c_str(), stdout);
  return kExitOk;
}

}  // namespace

void addReportCommand(CLI::App& app, CommandList& commands) {
  auto args = std::make_shared<ReportArgs>();
  CLI::App* sub = app.add_subcommand(
      "report", "Print the frequency (default) or time statistics report of a class dataset over all pairs");
  sub->add_option("FILE", args->file, "collection file (a single trial archive counts as active)")->required();
  sub->add_option("--class", args->className, "class dataset")
      ->required()
      ->check(CLI::IsMember({"active", "control", "act-ctl"}));
  sub->add_flag("--time", args->time, "one line per time point instead of per frequency");
  sub->add_option("--type", args->type, "data type (default: all three)")
      ->check(CLI::IsMember({"real", "imag", "power"}));
  sub->add_option("--scale", args->scale,
                  "multiply the values before printing: a factor, or auto (a power of 1000 that brings the largest "
                  "value to 1 .. 1000)")
      ->type_name("X|auto");
  commands.push_back({sub, [args] { return runReport(*args); }});
}

}  // namespace cxc
