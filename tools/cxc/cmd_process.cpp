// cxc process: apply processing steps, in the order given, and save the
// result atomically.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

#include "tools/cxc/commands.h"
#include "host/collection_file.h"
#include "host/metadata.h"
#include "host/names.h"
#include "host/steps.h"
#include "tools/cxc/common.h"

namespace cxc {

namespace {

namespace host = megcxc::host;

struct ProcessOptions {
  CLI::Option* classOpt = nullptr;
  CLI::Option* typeOpt = nullptr;
  CLI::Option* magnitude = nullptr;
  CLI::Option* phase = nullptr;
  CLI::Option* log = nullptr;
  CLI::Option* scale = nullptr;
  CLI::Option* zeroDiagonal = nullptr;
  CLI::Option* accumulate = nullptr;
  CLI::Option* actCtl = nullptr;
  CLI::Option* rmsNormalise = nullptr;
  CLI::Option* rootStrip = nullptr;
  CLI::Option* nanToZero = nullptr;
  CLI::Option* summaries = nullptr;
  CLI::Option* restoreRaw = nullptr;
};

struct ProcessArgs {
  std::string file;
  std::string output;
  bool yes = false;
  std::string magnitudeValue;  // bound only so the flag accepts =MODE
  CLI::App* app = nullptr;
  ProcessOptions opt;
};

double parseNumber(const std::string& text, const char* option) {
  std::size_t used = 0;
  double v = 0.0;
  try {
    v = std::stod(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || !std::isfinite(v)) badUsage(std::string(option) + ": '" + text + "' is not a number");
  return v;
}

int64_t parseIndex(const std::string& text, const char* option) {
  const double v = parseNumber(text, option);
  if (v != std::floor(v) || v < 0 || v > 9.0e15) {
    badUsage(std::string(option) + ": '" + text + "' is not a time index (0, 1, 2 ...)");
  }
  return static_cast<int64_t>(v);
}

// The steps in the order they were given on the command line. --class and
// --type aim the steps after them; given after the last step they would aim
// nothing, which is bad usage rather than something to ignore.
std::vector<host::Step> stepsInOrder(const ProcessArgs& args) {
  const ProcessOptions& o = args.opt;
  std::vector<host::Step> steps;
  std::map<const CLI::Option*, std::size_t> seen;
  int spctmClass = -1;
  int dataType = 2;
  const char* pendingAim = nullptr;
  for (const CLI::Option* opt : args.app->parse_order()) {
    const std::size_t k = seen[opt]++;
    const std::vector<std::string>& r = opt->results();
    const std::string value = k < r.size() ? r[k] : std::string();
    host::Step s;
    if (opt == o.classOpt) {
      spctmClass = value == "all" ? -1 : host::classFromKey(value);
      pendingAim = "--class";
      continue;
    }
    if (opt == o.typeOpt) {
      dataType = host::dataTypeFromKey(value);
      pendingAim = "--type";
      continue;
    }
    if (opt == o.magnitude) {
      const int mode = host::magnitudeModeFromKey(value);
      if (mode < 0) badUsage("--magnitude: '" + value + "' is not one of plain, real-sign, imag-sign");
      s = host::magnitudeStep(mode);
    } else if (opt == o.phase) {
      s = host::phaseStep();
    } else if (opt == o.log) {
      s = host::logStep();
    } else if (opt == o.scale) {
      s = host::scaleStep(parseNumber(value, "--scale"));
    } else if (opt == o.zeroDiagonal) {
      s = host::zeroDiagonalStep();
    } else if (opt == o.accumulate) {
      s = host::accumulateStep(host::axisFromKey(value));
    } else if (opt == o.actCtl) {
      const int operation = host::actCtlOperationFromName(value);
      if (operation < 0) badUsage("--act-ctl: '" + value + "' is not one of A-C, A+C, A*C, A/C");
      s = host::actCtlStep(operation, args.yes ? host::Consent::yes : host::Consent::no);
    } else if (opt == o.rmsNormalise) {
      s = host::rmsNormaliseStep(host::classFromKey(value));
    } else if (opt == o.rootStrip) {
      // The option appears once in the parse order per value: one step per
      // group of three.
      if (k % 3 != 0) continue;
      if (k + 2 >= r.size()) badUsage("--root-strip needs BEGIN END FACTOR");
      const int64_t begin = parseIndex(r[k], "--root-strip BEGIN");
      const int64_t end = parseIndex(r[k + 1], "--root-strip END");
      if (end <= begin) badUsage("--root-strip: END (exclusive) must be greater than BEGIN");
      s = host::rootStripStep(begin, end, parseNumber(r[k + 2], "--root-strip FACTOR"));
    } else if (opt == o.nanToZero) {
      s = host::nanToZeroStep();
    } else if (opt == o.summaries) {
      s = host::summariesStep();
    } else if (opt == o.restoreRaw) {
      s = host::restoreRawStep();
    } else {
      continue;
    }
    if (s.kind != host::StepKind::actCtl && s.kind != host::StepKind::rmsNormalise) s.spctmClass = spctmClass;
    s.dataType = dataType;
    pendingAim = nullptr;
    steps.push_back(s);
  }
  if (pendingAim) {
    badUsage(std::string(pendingAim) + " aims the steps given after it, and no step follows it (give it first)");
  }
  return steps;
}

int runProcess(const ProcessArgs& args) {
  const std::vector<host::Step> steps = stepsInOrder(args);
  if (steps.empty()) badUsage("process: no processing step given (see cxc process --help)");

  TerminalProgress progress;
  MessageConsole console(args.yes);
  console.attachProgress(&progress);
  host::Collection collection;
  host::Metadata meta;
  std::vector<std::string> warnings;
  host::loadCollectionWithMetadata(args.file, collection, meta, false, &warnings, progress.bytes("loading", args.file));
  printWarnings(warnings);
  int n = 0;
  for (const host::Step& s : steps) {
    const std::string label = "step " + std::to_string(n + 1) + " of " + std::to_string(steps.size());
    const host::Outcome outcome =
        host::applyStep(collection, s, [&](int64_t done, int64_t total) { progress.step(label, done, total); });
    progress.finish();
    requireDone(outcome, s, args.file);
    std::printf("%2d. %s\n", ++n, outcome.text.c_str());
  }
  host::saveCollectionWithMetadata(args.output, collection, meta, progress.bytes("saving", args.output));
  std::printf("saved %s\n", args.output.c_str());
  return kExitOk;
}

}  // namespace

void addProcessCommand(CLI::App& app, CommandList& commands) {
  auto args = std::make_shared<ProcessArgs>();
  CLI::App* sub = app.add_subcommand(
      "process",
      "Apply processing steps in the order given and save the result (atomically; OUT may equal FILE).\n"
      "Per-dataset steps act on every dataset unless --class aims them; --type picks the plane of --log and "
      "--root-strip (default power).");
  args->app = sub;
  ProcessOptions& o = args->opt;
  sub->add_option("FILE", args->file, "collection file to read")->required();
  sub->add_option("-o,--output", args->output, "collection file to write")->required();
  sub->add_flag("--yes", args->yes, "answer Yes to the library's question (collapsing the control for --act-ctl)");
  const auto all = CLI::MultiOptionPolicy::TakeAll;
  o.classOpt = sub->add_option("--class", "aim the following per-dataset steps: active, control, act-ctl or all")
                   ->check(CLI::IsMember({"active", "control", "act-ctl", "all"}))
                   ->multi_option_policy(all);
  o.typeOpt = sub->add_option("--type", "plane of the following --log / --root-strip: real, imag, power")
                  ->check(CLI::IsMember({"real", "imag", "power"}))
                  ->multi_option_policy(all);
  o.magnitude = sub->add_flag("--magnitude{plain}", args->magnitudeValue,
                              "power/phase plane = magnitude; =real-sign or =imag-sign give it that part's sign");
  o.phase = sub->add_flag("--phase")->description("power/phase plane = phase (radians)");
  o.log = sub->add_flag("--log")->description("natural logarithm of the plane chosen by --type");
  o.scale = sub->add_option("--scale", "multiply every plane by X")->type_name("X")->multi_option_policy(all);
  o.zeroDiagonal = sub->add_flag("--zero-diagonal")->description("zero the pairs of a sensor with itself");
  o.accumulate = sub->add_option("--accumulate", "collapse over time, freq or both (mean)")
                     ->check(CLI::IsMember({"time", "freq", "both"}))
                     ->multi_option_policy(all);
  o.actCtl = sub->add_option("--act-ctl", "combine active and control into act-ctl: A-C, A+C, A*C or A/C")
                 ->type_name("OP")
                 ->multi_option_policy(all);
  o.rmsNormalise = sub->add_option("--rms-normalise,--rms-normalize", "divide a class dataset by its RMS")
                       ->type_name("CLASS")
                       ->check(CLI::IsMember({"active", "control", "act-ctl"}))
                       ->multi_option_policy(all);
  o.rootStrip = sub->add_option("--root-strip", "divide by the mean of time points BEGIN..END-1, times FACTOR")
                    ->type_name("BEGIN END FACTOR")
                    ->type_size(3)
                    ->multi_option_policy(all);
  o.nanToZero = sub->add_flag("--nan-to-zero")->description("set NaN and infinite values to 0");
  o.summaries = sub->add_flag("--summaries")->description("compute the class summaries over all pairs");
  o.restoreRaw = sub->add_flag("--restore-raw")->description("restore the raw (unprocessed) data");
  commands.push_back({sub, [args] { return runProcess(*args); }});
}

}  // namespace cxc
