// The reference host command: wires the subcommands together, parses the
// command line once, runs the one asked for, and turns every failure into a
// message and an exit status. No exception leaves main.
#include <iostream>
#include <vector>

#include "host/cli/app.h"
#include "host/cli/errors.h"
#include "host/cli/output.h"
#include "host/kit/library.h"

namespace {

using namespace cli;

// Whether --json was given anywhere, as far as the parser got.
bool JsonAsked(const CLI::App& app) {
  if (app.count("--json") > 0) return true;
  for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
    if (command->count("--json") > 0) return true;
  return false;
}

int Report(bool json, int status, const std::string& message) {
  std::cerr << "wedgesim: error: " << message << std::endl;
  if (json) {
    Json line = Record("error", false);
    line["error"] = ExitWord(status);
    line["message"] = message;
    line["exitStatus"] = status;
    EmitJson(line);
  }
  return status;
}

std::vector<std::string> Names(const std::vector<Subcommand>& commands) {
  std::vector<std::string> names;
  for (const Subcommand& command : commands)
    if (!command.parser->get_group().empty()) names.push_back(command.parser->get_name());
  return names;
}

std::string CommandList(const std::vector<Subcommand>& commands) {
  std::string list;
  for (const std::string& name : Names(commands)) list += (list.empty() ? "" : ", ") + name;
  return list;
}

// What the parser left over: an unknown command, or an option the command
// does not have. Said with the nearest name when it is a typo.
std::string Leftover(const CLI::App& app, const std::vector<Subcommand>& commands,
                     const CLI::App* parsed) {
  if (parsed == nullptr) {
    const std::vector<std::string> rest = app.remaining();
    if (rest.empty()) return "a command is required (" + CommandList(commands) + "; see --help)";
    const std::string nearest = Closest(rest.front(), Names(commands));
    return "unknown command " + rest.front() +
           (nearest.empty() ? "" : " (did you mean " + nearest + "?)") +
           " (commands: " + CommandList(commands) + ")";
  }
  const std::vector<std::string> rest = parsed->remaining();
  if (rest.empty()) return "";
  std::vector<std::string> options;
  for (const CLI::Option* option : parsed->get_options())
    for (const std::string& name : option->get_lnames()) options.push_back("--" + name);
  const std::string nearest = Closest(rest.front(), options);
  return parsed->get_name() + ": unknown " +
         (rest.front().rfind('-', 0) == 0 ? "option " : "argument ") + rest.front() +
         (nearest.empty() ? "" : " (did you mean " + nearest + "?)") + "; see wedgesim help " +
         parsed->get_name();
}

int Run(int argc, char** argv) {
  CommonOptions common;
  common.library = hostkit::DefaultLibraryPath();
  CLI::App app{"wedgesim: a reference host and test runner for the barcode scanner emulator",
               "wedgesim"};
  app.require_subcommand(0, 1);
  app.allow_extras();
  AddCommonOptions(app, common);
  bool version = false;
  app.add_flag("--version", version, "print the version and exit");

  const std::vector<Subcommand> commands = {
      AddScan(app, common),    AddListen(app, common), AddDevices(app, common),
      AddSend(app, common),    AddInfo(app, common),   AddSetHotkey(app, common),
      AddHotkeys(app, common), AddGs1(app, common),    AddLabel(app, common),
      AddDemo(app, common),    AddHelp(app, common),   AddPress(app, common),
  };
  for (const Subcommand& command : commands) {
    AddCommonOptions(*command.parser, common);
    command.parser->allow_extras();
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return kExitOk;
  } catch (const CLI::ParseError& error) {
    return Report(JsonAsked(app), kExitUsage, error.what());
  }
  if (version) {
    Json line = Record("version");
    line["version"] = WEDGESIM_VERSION;
    Emit(common.json, line, std::string("wedgesim ") + WEDGESIM_VERSION);
    return kExitOk;
  }
  const Subcommand* chosen = nullptr;
  for (const Subcommand& command : commands)
    if (command.parser->parsed()) chosen = &command;
  if (const std::string leftover = Leftover(app, commands, chosen ? chosen->parser : nullptr);
      !leftover.empty())
    return Report(common.json, kExitUsage, leftover);
  try {
    return chosen->run();
  } catch (const CliError& error) {
    return Report(common.json, error.status(), error.what());
  } catch (const std::exception& error) {
    return Report(common.json, kExitFailed, std::string("unexpected failure: ") + error.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (...) {
    // Only reachable if writing the report itself failed.
    return kExitFailed;
  }
}
