// The subcommands of cxc. Each add*Command registers its CLI11 subcommand
// with its options and appends the function that runs it once parsing has
// succeeded; the function returns the exit status or throws cxc::Error.
#pragma once

#include <functional>
#include <vector>

namespace CLI {
class App;
}

namespace cxc {

struct Command {
  CLI::App* app;
  std::function<int()> run;
};
using CommandList = std::vector<Command>;

void addDemoCommand(CLI::App& app, CommandList& commands);
void addInfoCommand(CLI::App& app, CommandList& commands);
void addReportCommand(CLI::App& app, CommandList& commands);
void addProcessCommand(CLI::App& app, CommandList& commands);
void addExportCommand(CLI::App& app, CommandList& commands);
void addImportCommand(CLI::App& app, CommandList& commands);
void addUpgradeCommand(CLI::App& app, CommandList& commands);
void addComputeCommand(CLI::App& app, CommandList& commands);

}  // namespace cxc
