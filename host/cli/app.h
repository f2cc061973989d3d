// The command's subcommands, each in a file of its own: the file adds its
// parser (options, positionals, help) to the application and returns what
// runs it. main.cpp only wires them together.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>

namespace cli {

// Options every subcommand takes, before or after its name.
struct CommonOptions {
  std::string library;  // --lib; the default is the library beside the program
  bool verbose = false;
  bool json = false;
};

struct Subcommand {
  CLI::App* parser;
  std::function<int()> run;  // the exit status; throws CliError for failures
};

Subcommand AddInfo(CLI::App& app, const CommonOptions& common);
Subcommand AddSend(CLI::App& app, const CommonOptions& common);
Subcommand AddListen(CLI::App& app, const CommonOptions& common);
Subcommand AddScan(CLI::App& app, const CommonOptions& common);
Subcommand AddDevices(CLI::App& app, const CommonOptions& common);
Subcommand AddSetHotkey(CLI::App& app, const CommonOptions& common);
Subcommand AddHotkeys(CLI::App& app, const CommonOptions& common);
Subcommand AddDemo(CLI::App& app, const CommonOptions& common);
Subcommand AddHelp(CLI::App& app, const CommonOptions& common);
Subcommand AddPress(CLI::App& app, const CommonOptions& common);
Subcommand AddGs1(CLI::App& app, const CommonOptions& common);
Subcommand AddLabel(CLI::App& app, const CommonOptions& common);

// --lib, --verbose and --json on `parser`, bound to `common`.
void AddCommonOptions(CLI::App& parser, CommonOptions& common);

// A whole number given to `option`, between `least` and `most`; throws
// CliError(kExitUsage) saying what it must be otherwise.
long ParseWhole(const std::string& text, const std::string& option, long least, long most,
                const std::string& unit);
// Seconds, with a fraction if wanted (0.5), between `least` and `most`.
double ParseSeconds(const std::string& text, const std::string& option, double least, double most);

// "ctrl,shift" (or "ctrl+shift") as an X modifier mask: shift (1), ctrl (4),
// alt (8), super (64). Throws CliError(kExitUsage) naming an unknown one.
unsigned ModifierMask(const std::string& names);

// The word among `choices` closest to `word` (a typo of it), or "".
std::string Closest(const std::string& word, const std::vector<std::string>& choices);

}  // namespace cli
