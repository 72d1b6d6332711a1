// cxc: the command-line tool of megcxc. main() only wires the subcommands to
// the parser and turns failures into one line on stderr and an exit status:
// 0 success, 1 refused operation or unreadable file, 2 bad usage.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <new>

#include "platform/cexception.h"
#include "platform/parallel.h"
#include "platform/refused.h"
#include "tools/cxc/commands.h"
#include "tools/cxc/common.h"

int main(int argc, char** argv) {
  CLI::App app{
      "cxc: time-frequency cross-spectra between every pair of MEG sensors.\n"
      "Start with 'cxc demo', then 'cxc info demo.cxc'.",
      "cxc"};
  app.require_subcommand(1, 1);
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

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::fprintf(stderr, "cxc: %s (see 'cxc --help' or 'cxc <command> --help')\n", e.what());
    return cxc::kExitUsage;
  }

  megcxc::setWorkerThreads(threads);
  for (const cxc::Command& command : commands) {
    if (!command.app->parsed()) continue;
    try {
      return command.run();
    } catch (const cxc::Error& e) {
      std::fprintf(stderr, "cxc: %s\n", e.what());
      return e.exitCode();
    } catch (const megcxc::Refused& e) {
      std::fprintf(stderr, "cxc: %s\n", e.what());
      return cxc::kExitRefused;
    } catch (const CException& e) {
      std::fprintf(stderr, "cxc: %s\n", e.what());
      return cxc::kExitRefused;
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "cxc: not enough memory\n");
      return cxc::kExitRefused;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "cxc: %s\n", e.what());
      return cxc::kExitRefused;
    }
  }
  return cxc::kExitUsage;
}
