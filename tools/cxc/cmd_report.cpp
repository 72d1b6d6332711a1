// cxc report: the frequency or time statistics report of one class dataset,
// the library's own text.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "tools/cxc/commands.h"
#include "tools/cxc/pipeline.h"

namespace cxc {

namespace {

struct ReportArgs {
  std::string file;
  std::string className;
  std::string type;  // empty: all three data types
  bool time = false;
};

int runReport(const ReportArgs& args) {
  MessageConsole console(false);
  Collection collection;
  loadCollectionFile(args.file, collection, console, true);
  const int cls = classFromName(args.className);
  Dataset* d = collection.trialByClass[cls];
  if (!d) refuse(args.file + ": the collection holds no " + args.className + " dataset");

  auto report = [&](int dataType) { return args.time ? d->getStatisticsTx(dataType) : d->getStatisticsFx(dataType); };
  CString text;
  if (!args.type.empty()) {
    text = report(dataTypeFromName(args.type));
  } else {
    // All three data types under one header, as the manager window shows them.
    text = args.time ? "Name         Time         Minimum      Mean         Maximum      Absolute-Sum    RMS-Sum \n"
                     : "Name         Freq         Minimum      Mean         Maximum      Absolute-Sum    RMS-Sum \n";
    const char* const sections[3] = {"\n***Real***\n", "\n***Imaginary***\n", "\n***Power/Phase***\n"};
    bool any = false;
    for (int k = 0; k < 3; ++k) {
      const CString part = report(k);
      any = any || !part.IsEmpty();
      text += sections[k];
      text += part;
    }
    if (!any) text.Empty();
  }
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
