// cxc: the command-line tool of megcxc. main() only wires the subcommands to
// the parser and turns failures into one line on stderr (followed by what the
// library said, if anything) and an exit status: 0 success, 1 refused
// operation or unreadable file, 2 bad usage.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <exception>
#include <functional>
#include <new>

#include "platform/atomic_file.h"
#include "platform/cexception.h"
#include "platform/parallel.h"
#include "platform/refused.h"
#include "tools/cxc/commands.h"
#include "tools/cxc/common.h"

#ifndef CXC_VERSION
#define CXC_VERSION "unknown"
#endif

namespace {

// Runs a parsed command: the exit status, with the failure line and the
// library's messages printed.
int runCommand(const std::function<int()>& run) {
  const auto fail = [](const char* what, int code) {
    std::fprintf(stderr, "cxc: %s\n", what);
    cxc::printLibraryMessages(true);
    return code;
  };
  try {
    const int code = run();
    cxc::printLibraryMessages(false);
    return code;
  } catch (const cxc::Error& e) {
    return fail(e.what(), e.exitCode());
  } catch (const megcxc::Refused& e) {
    return fail(e.what(), cxc::kExitRefused);
  } catch (const CException& e) {
    return fail(e.what(), cxc::kExitRefused);
  } catch (const std::bad_alloc&) {
    return fail("not enough memory", cxc::kExitRefused);
  } catch (const std::exception& e) {
    return fail(e.what(), cxc::kExitRefused);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // An interrupted save leaves no temporary file behind, and a file size
  // limit makes a write fail (and the tool clean up) instead of killing it.
  megcxc::removeTemporaryFilesOnSignals();
  std::signal(SIGXFSZ, SIG_IGN);

  CLI::App app{
      "cxc: time-frequency cross-spectra between every pair of MEG sensors.\n"
      "Start with 'cxc demo', then 'cxc info demo.cxc'.",
      "cxc"};
  app.require_subcommand(1, 1);
  // Options of the tool (--threads) may also follow the subcommand.
  app.fallthrough();
  app.set_version_flag("--version", std::string("cxc (megcxc) ") + CXC_VERSION);
  int threads = 0;
  app.add_option("--threads", threads,
                 "threads for the passes that compute per cell (phase, magnitude); 0 = one per core (default)")
      ->check(CLI::Range(0, 256));
  cxc::CommandList commands;
  cxc::addDemoCommand(app, commands);
  cxc::addInfoCommand(app, commands);
  cxc::addReportCommand(app, commands);
  cxc::addProcessCommand(app, commands);
  cxc::addExportCommand(app, commands);
  cxc::addImportCommand(app, commands);
  cxc::addUpgradeCommand(app, commands);
  cxc::addComputeCommand(app, commands);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::fprintf(stderr, "cxc: %s (see 'cxc --help' or 'cxc <command> --help')\n", e.what());
    return cxc::kExitUsage;
  }

  megcxc::setWorkerThreads(threads);
  for (const cxc::Command& command : commands) {
    if (command.app->parsed()) return runCommand(command.run);
  }
  return cxc::kExitUsage;
}
