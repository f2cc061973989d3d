// The reference host command: parses the command line and runs one
// subcommand. Every failure ends here as a message and an exit status; no
// exception leaves main.
#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>
#include <string>

#include "host/cli/commands.h"
#include "host/cli/errors.h"
#include "host/cli/image_dev.h"
#include "host/cli/json.h"
#include "host/kit/library.h"

namespace {

// --lib, --verbose and --json are accepted before the subcommand and after
// it, and each subcommand's --help lists them. Both copies write the same
// variables; a --lib given twice takes the last, as a wrapper script adding
// its own expects.
void AddCommonOptions(CLI::App& app, cli::CommonOptions& common) {
  app.add_option("--lib", common.library, "the add-in library to load")
      ->type_name("PATH")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
      ->default_str(common.library);
  app.add_flag("--verbose", common.verbose,
               "let the add-in write its diagnostics to stderr (sets WEDGESIM_DEBUG=1)");
  app.add_flag("--json", common.json, "write the result as JSON, for scripts");
}

// CLI11 answers a mistyped command with "A subcommand is required"; this finds
// the word it did not know, so the message can name it.
std::optional<std::string> UnknownCommand(int argc, char** argv, const CLI::App& app) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--lib") {
      ++i;  // its value
      continue;
    }
    if (argument.starts_with("-")) continue;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
      if (command->get_name() == argument) return std::nullopt;
    return argument;
  }
  return std::nullopt;
}

void ReportError(const cli::CommonOptions& common, int status, const std::string& message) {
  std::cerr << "wedgesim: error: " << message << std::endl;
  if (common.json) {
    cli::json::Value document;
    document.Add("ok", false).Add("error", message).Add("exitStatus", status);
    std::cout << document.Dump(2) << std::endl;
  }
}

int Run(int argc, char** argv) {
  cli::CommonOptions common;
  common.library = hostkit::DefaultLibraryPath();
  cli::InfoOptions info;
  cli::SendOptions send;
  cli::ListenOptions listen;
  cli::SetHotkeyOptions setHotkey;
  cli::PressOptions press;
  cli::ScanOptions scan;

  CLI::App app{"wedgesim: a reference host for the barcode scanner emulator add-in", "wedgesim"};
  app.require_subcommand(1);
  AddCommonOptions(app, common);

  CLI::App* infoCommand =
      app.add_subcommand("info", "show the add-in's identity, methods, settings and host window");
  infoCommand->add_option("--lang", info.lang, "interface language of the add-in's texts")
      ->check(CLI::IsMember({"en", "ru"}))
      ->default_str("en");

  CLI::App* sendCommand =
      app.add_subcommand("send", "open the device, send one barcode and print the event");
  sendCommand->add_option("barcode", send.barcode, "the barcode text")->required();
  sendCommand->add_flag("--base64", send.base64,
                        "the barcode is Base64; the event carries it decoded");
  sendCommand->add_flag("--activate", send.activate,
                        "use GenerateExternalEventActivateWindow (needs a display)");

  CLI::App* listenCommand = app.add_subcommand(
      "listen", "show a host window and print barcode events from the hotkeys until Ctrl+C");
  listenCommand->add_option("--code1", listen.code1, "test barcode sent by hotkey 1");
  listenCommand->add_option("--code2", listen.code2, "test barcode sent by hotkey 2");
  listenCommand->add_flag("--base64-1", listen.base64First, "the --code1 text is Base64");
  listenCommand->add_flag("--base64-2", listen.base64Second, "the --code2 text is Base64");

  CLI::App* setHotkeyCommand = app.add_subcommand(
      "set-hotkey",
      "capture a new hotkey in the add-in's window (or take --key) and keep it in the profile");
  setHotkeyCommand->add_option("slot", setHotkey.slot, "which hotkey: 1 or 2")
      ->required()
      ->check(CLI::IsMember({1, 2}));
  CLI::Option* keyOption = setHotkeyCommand->add_option(
      "--key", setHotkey.keysym, "store this key (a keysym name, e.g. F5) without a capture");
  setHotkeyCommand
      ->add_option("--mod", setHotkey.modifiers, "modifiers held with --key: ctrl,shift,alt,super")
      ->needs(keyOption);
  setHotkeyCommand
      ->add_flag("--reset", setHotkey.reset, "remove the stored hotkey, so the default applies")
      ->excludes(keyOption);

  CLI::App* hotkeysCommand =
      app.add_subcommand("hotkeys", "show both hotkeys, as text and as kept in the profile");

  CLI::App* demoCommand = app.add_subcommand(
      "demo", "run the whole round trip on a private X server (or DISPLAY): hotkeys and events");

  CLI::App* scanCommand = app.add_subcommand(
      "scan",
      "send barcodes into an open device (the application's, or `listen`'s) through its "
      "control channel, each answered once the host has it");
  scanCommand->add_option("barcode", scan.codes, "barcodes, in UTF-8 (a GS is kept as it is)");
  scanCommand->add_option("--pid", scan.pid,
                          "the process whose device to use (default: the one open)");
  scanCommand->add_flag(
      "--base64", scan.base64,
      "each barcode (and --file line) is Base64 of raw bytes, one character each");
  scanCommand
      ->add_option("--gs1", scan.gs1,
                   "a GS1 code in AI notation, e.g. '(01)04600000000008(21)ABC'; built "
                   "into its element string, GS after each field of open length")
      ->allow_extra_args(false);
  scanCommand->add_option("--file", scan.file, "one barcode a line; - reads standard input")
      ->type_name("FILE");
  scanCommand->add_option("--interval", scan.intervalMs, "milliseconds between two scans")
      ->type_name("MS")
      ->check(CLI::NonNegativeNumber);

  CLI::App* devicesCommand =
      app.add_subcommand("devices", "list this user's open devices (pid, protocol, endpoint)");

  // For scripts that drive the capture window; not part of the advertised interface.
  CLI::App* pressCommand = app.add_subcommand("_press", "tap keys through XTest");
  pressCommand->group("");
  pressCommand->add_option("keysym", press.keysyms, "keysym names, e.g. Escape")->required();
  pressCommand->add_option("--modifiers", press.modifiers,
                           "held while tapping: shift+ctrl+alt+super");

  // Developer commands over the image engine, until scan --image/--screen and label use it.
  const cli::ImageDevCommands imageDev(app);

  for (CLI::App* command :
       {infoCommand, sendCommand, listenCommand, setHotkeyCommand, hotkeysCommand, demoCommand,
        scanCommand, devicesCommand, pressCommand, imageDev.read, imageDev.label})
    AddCommonOptions(*command, common);

  if (auto unknown = UnknownCommand(argc, argv, app)) {
    std::cerr << "wedgesim: error: unknown command " << *unknown
              << " (commands: info, send, listen, scan, devices, set-hotkey, hotkeys, demo; see "
                 "--help)\n";
    return cli::kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help and --version are "errors" with status 0; the rest are usage errors.
    const int status = app.exit(error);
    return status == 0 ? cli::kExitOk : cli::kExitUsage;
  }
  listen.code1Set = listenCommand->count("--code1") > 0;
  listen.code2Set = listenCommand->count("--code2") > 0;

  try {
    if (infoCommand->parsed()) return cli::RunInfo(common, info);
    if (sendCommand->parsed()) return cli::RunSend(common, send);
    if (listenCommand->parsed()) return cli::RunListen(common, listen);
    if (setHotkeyCommand->parsed()) return cli::RunSetHotkey(common, setHotkey);
    if (hotkeysCommand->parsed()) return cli::RunHotkeys(common);
    if (demoCommand->parsed()) return cli::RunDemo(common);
    if (pressCommand->parsed()) return cli::RunPress(common, press);
    if (scanCommand->parsed()) return cli::RunScan(common, scan);
    if (devicesCommand->parsed()) return cli::RunDevices(common);
    if (imageDev.read->parsed()) return imageDev.RunRead(common);
    if (imageDev.label->parsed()) return imageDev.RunLabel(common);
  } catch (const cli::CliError& error) {
    ReportError(common, error.status(), error.what());
    return error.status();
  } catch (const std::exception& error) {
    ReportError(common, cli::kExitFailed, std::string("unexpected failure: ") + error.what());
    return cli::kExitFailed;
  }
  return cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (...) {
    // Only reachable if writing the report itself failed.
    return cli::kExitFailed;
  }
}
