// cxc report: the frequency or time statistics report of one class dataset,
// the library's own text.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "host/collection_file.h"
#include "host/describe.h"
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
};

int runReport(const ReportArgs& args) {
  namespace host = megcxc::host;
  MessageConsole console(false);
  host::Collection collection;
  host::loadCollectionFile(args.file, collection, true);
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
  commands.push_back({sub, [args] { return runReport(*args); }});
}

}  // namespace cxc
