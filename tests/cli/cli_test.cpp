// The wedgesim command's own habits, and the commands that load the add-in
// in their own process: info, send, hotkeys, set-hotkey, demo; the manual
// page and the completions generated from the command's own parser.
#include <regex>

#include "tests/cli/cli_fixture.h"

namespace {

using namespace clitest;

// ---- The command line --------------------------------------------------------

TEST_F(Cli, EveryCommandHasHelpNamingItsOwnOptions) {
  const std::map<std::string, std::vector<std::string>> commands = {
      {"info", {"--lang"}},
      {"send", {"--base64", "--activate", "barcode"}},
      {"listen", {"--code1", "--code2", "--base64-1", "--base64-2"}},
      {"set-hotkey", {"slot", "--key", "--keycode", "--mod", "--reset", "--timeout"}},
      {"hotkeys", {}},
      {"demo", {}},
      {"scan",
       {"--pid", "--display", "--name", "--socket", "--wait", "--timeout", "--base64", "--gs1",
        "--file", "--interval", "--dry-run", "barcode"}},
      {"devices", {"--prune"}},
      {"gs1", {"--parse"}},
      {"help", {"--man", "--completion"}},
  };
  for (const auto& [command, options] : commands) {
    SCOPED_TRACE(command);
    for (const Result& help : {Run({command, "--help"}), Run({"help", command})}) {
      EXPECT_EQ(help.status, 0);
      for (const std::string& option : options) EXPECT_NE(help.out.find(option), std::string::npos);
      // The global options work after the command too, so its help lists them.
      for (const char* common : {"--json", "--lib", "--verbose"})
        EXPECT_NE(help.out.find(common), std::string::npos) << common;
    }
  }
  const Result top = Run({"help"});
  EXPECT_EQ(top.status, 0);
  for (const auto& [command, options] : commands)
    EXPECT_NE(top.out.find(command), std::string::npos) << command;
  const Result version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "wedgesim 1.0.1.4\n");
  EXPECT_EQ(JsonLines(Run({"--version", "--json"}).out).at(0)["version"], "1.0.1.4");
}

// Mistakes are usage errors (status 2) said in one style, with the nearest
// name for a typo, and in JSON too when asked; never a crash.
TEST_F(Cli, MistakesAreUsageErrorsWithAMessageNotCrashes) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
      {{"frobnicate"}, "unknown command frobnicate"},
      {{"scna", "1"}, "unknown command scna (did you mean scan?)"},
      {{"scan", "--jsno", "1"}, "unknown option --jsno (did you mean --json?)"},
      {{"info", "--frobnicate"}, "--frobnicate"},
      {{"help", "lsiten"}, "no command lsiten (did you mean listen?)"},
      {{"set-hotkey", "3"}, "3"},
      {{"set-hotkey"}, "slot"},
      {{"send"}, "barcode"},
      {{"info", "--lang", "de"}, "de"},
      {{}, "a command is required"},
      {{"scan", "--interval", "-5", "1"},
       "--interval: -5 is not a whole number of milliseconds from 0 to 3600000"},
      {{"scan", "--timeout", "1e999", "1"}, "--timeout: 1e999 is not a number of seconds"},
      {{"scan", "--wait=soon", "1"}, "--wait: soon is not a number of seconds"},
      {{"scan", "--pid", "x", "1"}, "--pid"},
      {{"set-hotkey", "1", "--keycode", "300"}, "--keycode: 300 is not a whole number of keycode"},
      // Refused before anything is loaded, display or not.
      {{"send", "--base64", "not base64!!"}, "'not base64!!' is not Base64"},
      {{"send", "--base64", "NDYw MA=="}, "'NDYw MA==' is not Base64"},
      {{"listen", "--code1", "N===", "--base64-1"}, "'N===' is not Base64"},
      {{"set-hotkey", "1", "--key", "NoSuchKeysym"}, "unknown keysym NoSuchKeysym"},
      {{"set-hotkey", "1", "--keycode", "50", "--mod", "ctrl,hyper"}, "unknown modifier hyper"},
      {{"set-hotkey", "1", "--key", "F5", "--reset"}, "--reset"},
  };
  for (const auto& [arguments, named] : mistakes) {
    SCOPED_TRACE(testing::PrintToString(arguments));
    const Result result = Run(arguments);
    EXPECT_EQ(result.status, 2);  // a signal would show as negative
    EXPECT_EQ(result.err.rfind("wedgesim: error: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(named), std::string::npos) << result.err;
    std::vector<std::string> json = arguments;
    json.insert(json.begin(), "--json");
    const std::vector<Json> lines = JsonLines(Run(json).out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["type"], "error");
    EXPECT_EQ(lines[0]["error"], "usage");
    EXPECT_EQ(lines[0]["exitStatus"], 2);
  }
}

// ---- info --------------------------------------------------------------------

TEST_F(Cli, InfoShowsIdentityMethodsAndHostInTextJsonAndRussian) {
  const Result info = Run({"info"});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("Version      1.0.1.4"), std::string::npos);
  EXPECT_NE(info.out.find("Classes      RizoDiverurAruVira"), std::string::npos);
  // The last method row: number, both names, two parameters, no result.
  EXPECT_TRUE(
      std::regex_search(info.out, std::regex("11  GenerateExternalEventActivateWindow +"
                                             "СгенерироватьВнешнееСобытиеСАктивациейОкна +2 +no")));
  EXPECT_NE(info.out.find("host window  none (no display)"), std::string::npos);
  EXPECT_TRUE(std::regex_search(info.out, std::regex("  interface revision +2004\n"
                                                     "  integration flag 1 +no\n"
                                                     "  integration flag 2 +yes\n"
                                                     "  integration text +\\(empty\\)\n")))
      << info.out;
  std::smatch pid;
  ASSERT_TRUE(std::regex_search(
      info.out, pid, std::regex("process id   ([0-9]+) \\(the settings say ([0-9]+)\\)")));
  EXPECT_EQ(pid[1], pid[2]);
  // The one-line settings document comes out one element a line, nested.
  EXPECT_NE(info.out.find("\n  <Settings>\n    <Page Caption=\"Parameters\">\n      <Group"),
            std::string::npos)
      << info.out;

  const std::vector<Json> json = JsonLines(Run({"info", "--json"}).out);
  ASSERT_EQ(json.size(), 1u);
  const Json& report = json[0];
  EXPECT_EQ(report["type"], "info");
  EXPECT_EQ(report["version"], "1.0.1.4");
  EXPECT_EQ(report["description"]["revision"], 2004);
  EXPECT_EQ(report["queryInfo"], 2000);
  EXPECT_EQ(report["methods"].size(), 12u);
  EXPECT_TRUE(report["host"]["window"].is_null());
  EXPECT_EQ(report["host"]["windowNote"], "no display");
  EXPECT_NE(report["actionsXml"].get<std::string>().find(
                "<Action Name = \"SetHotkey2\" Caption = \"Set hotkey 2\" />"),
            std::string::npos);

  const Result russian = Run({"info", "--lang", "ru"});
  ASSERT_EQ(russian.status, 0) << russian.err;
  EXPECT_NE(russian.out.find("Эмулятор сканера штрихкода"), std::string::npos);
  EXPECT_NE(russian.out.find("Назначить горячую клавишу 1"), std::string::npos);
  EXPECT_EQ(russian.out.find("Barcode scanner emulator"), std::string::npos);
}

// ---- send --------------------------------------------------------------------

// The event the host received, with control characters shown by name and,
// in JSON, every code unit; input any command refuses is refused here too
// (the add-in itself would cut at a U+0000 or replace what is not UTF-8).
TEST_F(Cli, SendPrintsTheEventAndRefusesWhatEveryCommandRefuses) {
  const Result plain = Run({"send", "4600000000001"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.out.find("event Штрихкод from ZovedavUzuruvOriv: \"4600000000001\""),
            std::string::npos)
      << plain.out;
  const Result text = Run({"send", "--base64", "NDYwHTEy"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find(": \"460<GS>12\" (6 characters)"), std::string::npos) << text.out;
  const std::vector<Json> json = JsonLines(Run({"send", "--base64", "NDYwHTEy", "--json"}).out);
  ASSERT_EQ(json.size(), 1u);
  EXPECT_EQ(json[0]["type"], "event");
  EXPECT_EQ(json[0]["origin"], "script method");
  EXPECT_EQ(json[0]["data"],
            "460\x1d"
            "12");
  EXPECT_EQ(json[0]["units"], Json({0x34, 0x36, 0x30, 0x1D, 0x31, 0x32}));
  EXPECT_EQ(json[0]["source"], "ZovedavUzuruvOriv");

  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"send", "YWIAY2Q=", "--base64"}, "nul: a barcode cannot hold U+0000"},
      {{"send",
        "a\xff"
        "b"},
       "utf8: the barcode is not valid UTF-8 (byte 2"},
      {{"scan", "--dry-run", "YWIAY2Q=", "--base64"}, "nul: a barcode cannot hold U+0000"},
      {{"scan", "--dry-run",
        "a\xff"
        "b"},
       "utf8: the barcode is not valid UTF-8 (byte 2"},
  };
  for (const auto& [arguments, reason] : refused) {
    SCOPED_TRACE(testing::PrintToString(arguments));
    const Result result = Run(arguments);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
    std::vector<std::string> withJson = arguments;
    withJson.push_back("--json");
    EXPECT_EQ(JsonLines(Run(withJson).out).at(0)["error"], "usage");
  }
}

// Diagnostics written to a standard error whose reader has gone never kill
// the command (it was: status 141, SIGPIPE).
TEST_F(Cli, DiagnosticsToAGoneReaderDoNotKillTheHost) {
  Variables environment = Environment();
  environment["WEDGESIM_DEBUG"] = "1";
  std::vector<std::string> arguments = {"--lib", WEDGESIM_LIBRARY_PATH, "send", "abc"};
  Process send(arguments, environment, {}, {}, true);
  EXPECT_EQ(send.Wait(), 0);
}

// ---- what goes wrong ----------------------------------------------------------

TEST_F(Cli, AnUnusableLibraryOrMissingDisplayIsExplained) {
  const Result missing = Run({"--lib", "/nonexistent/libwedgesim64.so", "info"});
  EXPECT_EQ(missing.status, 4);
  EXPECT_NE(missing.err.find("/nonexistent/libwedgesim64.so does not exist"), std::string::npos)
      << missing.err;

  // Not a shared object: dlopen's own reason is passed on.
  const std::string bogus = config_ + "/libbogus.so";
  std::ofstream(bogus) << "not a library\n";
  const Result broken = Run({"info", "--json", "--lib", bogus});
  EXPECT_EQ(broken.status, 4);
  EXPECT_NE(broken.err.find("cannot load the add-in library"), std::string::npos);
  EXPECT_NE(broken.err.find(bogus + ": "), std::string::npos) << broken.err;
  EXPECT_EQ(JsonLines(broken.out).at(0)["error"], "library");

  const Result unset = Run({"set-hotkey", "1"});
  EXPECT_EQ(unset.status, 3);
  EXPECT_NE(unset.err.find("DISPLAY is not set"), std::string::npos) << unset.err;
  // A display that is set but answers nothing is as missing, said the same way.
  const std::vector<std::vector<std::string>> needDisplay = {
      {"send", "1", "--activate"}, {"demo"}, {"listen"}, {"set-hotkey", "1", "--key", "F5"}};
  for (const std::vector<std::string>& arguments : needDisplay) {
    SCOPED_TRACE(testing::PrintToString(arguments));
    const Result result = Run(arguments, ":65000");
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find("cannot open the X display :65000"), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }

  // A bare file name is a file in the current directory first, then dlopen's search.
  const std::filesystem::path library = WEDGESIM_LIBRARY_PATH;
  const Result bare =
      Run({"info", "--lib", library.filename()}, std::nullopt, {}, library.parent_path());
  EXPECT_EQ(bare.status, 0) << bare.err;
  EXPECT_NE(bare.out.find("Library      " + library.string() + "\n"), std::string::npos);
  const Result nowhere = Run({"info", "--lib", "libwedgesim-nowhere.so"});
  EXPECT_EQ(nowhere.status, 4);

  // A log that cannot be opened costs one line on stderr, and nothing else.
  const Result unlogged = Run({"info"}, std::nullopt, {{"WEDGESIM_LOG", config_ + "/no/log"}});
  EXPECT_EQ(unlogged.status, 0);
  EXPECT_NE(unlogged.err.find("cannot open the log file " + config_ + "/no/log"), std::string::npos)
      << unlogged.err;
  EXPECT_EQ(std::count(unlogged.err.begin(), unlogged.err.end(), '\n'), 1) << unlogged.err;
}

// ---- the profile -----------------------------------------------------------------

// Hotkeys are read from the profile under XDG_CONFIG_HOME, and stored there
// by keycode without a display (a headless set-up).
TEST_F(Cli, HotkeysLiveInTheProfileAndAreSetWithoutADisplay) {
  const Result stored = Run({"set-hotkey", "1", "--keycode", "10", "--mod", "ctrl", "--json"});
  ASSERT_EQ(stored.status, 0) << stored.err;
  const Json hotkey = JsonLines(stored.out).at(0)["hotkey"];
  EXPECT_EQ(hotkey["keycode"], 10);
  EXPECT_EQ(hotkey["modifiers"], 4);
  std::ifstream profile(config_ + "/wedgesim/profile");
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(profile)), {}),
            "Hotkey1=10\nModifier1=4\n");

  const std::vector<Json> lines = JsonLines(Run({"hotkeys", "--json"}).out);
  ASSERT_EQ(lines.size(), 1u);
  const Json& hotkeys = lines[0]["hotkeys"];
  EXPECT_EQ(hotkeys[0]["keycode"], 10);
  EXPECT_EQ(hotkeys[0]["default"], false);
  EXPECT_TRUE(hotkeys[1]["keycode"].is_null());
  EXPECT_EQ(hotkeys[1]["default"], true);
  EXPECT_EQ(lines[0]["profile"], config_ + "/wedgesim/profile");
  // The add-in read the same values: its text names Ctrl (no display, no key name).
  EXPECT_EQ(hotkeys[0]["text"], "Ctrl + Undef");
  EXPECT_EQ(JsonLines(Run({"info", "--json"}).out).at(0)["hotkeys"], hotkeys);
}

// ---- the manual and the completions ------------------------------------------------

std::string Read(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// What the tree holds is what the command generates, so neither can drift:
// docs/wedgesim.1 renders with man, and bash completes commands, options
// and their values.
TEST_F(Cli, TheManualAndCompletionsAreTheCommandsOwnAndWork) {
  const std::string tree = WEDGESIM_SOURCE_DIR;
  const std::vector<std::pair<std::vector<std::string>, std::string>> generated = {
      {{"help", "--man"}, tree + "/docs/wedgesim.1"},
      {{"help", "--completion", "bash"}, tree + "/completions/wedgesim.bash"},
      {{"help", "--completion", "zsh"}, tree + "/completions/_wedgesim"},
      {{"help", "--completion", "fish"}, tree + "/completions/wedgesim.fish"},
  };
  for (const auto& [arguments, file] : generated) {
    const Result result = Run(arguments);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, Read(file)) << file << " is not what the command generates now: run "
                                      << "scripts/generate-docs.sh";
  }
  const std::string page = config_ + "/page.txt";
  ASSERT_EQ(
      std::system(
          ("MANWIDTH=100 man -l " + tree + "/docs/wedgesim.1 > " + page + " 2>/dev/null").c_str()),
      0);
  const std::string rendered = Read(page);
  for (const char* part : {"NAME", "SYNOPSIS", "EXIT STATUS", "--wait", "timed-out"})
    EXPECT_NE(rendered.find(part), std::string::npos) << part;

  // The candidates bash offers for the last word, as it fills COMP_WORDS
  // after "wedgesim" and the words before it.
  auto complete = [&](const std::vector<std::string>& words) {
    const std::string script = config_ + "/complete.sh";
    std::ofstream out(script);
    out << "source " << tree << "/completions/wedgesim.bash\nCOMP_WORDS=(wedgesim";
    for (const std::string& word : words) out << " '" << word << "'";
    out << ")\nCOMP_CWORD=" << words.size() << "\n_wedgesim\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
    out.close();
    const std::string candidates = config_ + "/complete.out";
    EXPECT_EQ(std::system(("bash " + script + " > " + candidates).c_str()), 0);
    return Read(candidates);
  };
  EXPECT_EQ(complete({"sc"}), "scan\n");
  EXPECT_EQ(complete({"de"}), "devices\ndemo\n");
  EXPECT_EQ(complete({"--json", "li"}), "listen\n");
  EXPECT_EQ(complete({"scan", "--ti"}), "--timeout\n");
  EXPECT_EQ(complete({"scan", "4600", "--dr"}), "--dry-run\n");
  EXPECT_EQ(complete({"devices", "--pr"}), "--prune\n");
  EXPECT_EQ(complete({"info", "--lang", ""}), "en\nru\n");
  EXPECT_EQ(complete({"info", "--js"}), "--json\n");
  EXPECT_EQ(complete({"--ver"}), "--verbose\n--version\n");

  // fish offers the same, with each one's description.
  auto fish = [&](const std::string& line) {
    const std::string out = config_ + "/fish.out";
    EXPECT_EQ(
        std::system(("fish -c \"source " + tree + "/completions/wedgesim.fish; complete -C '" +
                     line + "'\" | cut -f1 > " + out)
                        .c_str()),
        0);
    return Read(out);
  };
  EXPECT_EQ(fish("wedgesim sc"), "scan\n");
  EXPECT_EQ(fish("wedgesim scan --ti"), "--timeout\n");
  EXPECT_EQ(fish("wedgesim info --lang "), "en\nru\n");
  // zsh reads its file, which names every command and option the others do.
  EXPECT_EQ(std::system(("zsh -n " + tree + "/completions/_wedgesim").c_str()), 0);
  const std::string zsh = Read(tree + "/completions/_wedgesim");
  for (const char* word : {"'scan:", "'devices:", "--prune[", "--timeout[", "--lang[", "(en ru)"})
    EXPECT_NE(zsh.find(word), std::string::npos) << word;
}

// ---- on an X desktop ---------------------------------------------------------------

TEST_F(Cli, DemoStartsItsOwnServerAndGetsAllFourEvents) {
  auto demo = Start({"demo"});  // no DISPLAY: it must start Xvfb with openbox itself
  const int status = demo->Wait(90s);
  EXPECT_EQ(status, 0) << demo->out << demo->err;
  for (const char* line :
       {"[1/4] hotkey 1 (grave): event Штрихкод from ZovedavUzuruvOriv: \"4600000000001\" ",
        "[2/4] hotkey 2 (Shift + grave): event Штрихкод from ZovedavUzuruvOriv: \"4600000000002\"",
        "[3/4] GenerateExternalEvent: event Штрихкод from ZovedavUzuruvOriv: \"4600000000003\"",
        "[4/4] GenerateExternalEventActivateWindow (Base64): event Штрихкод from "
        "ZovedavUzuruvOriv: \"4600000000004\""})
    EXPECT_NE(demo->out.find(line), std::string::npos) << line << "\n" << demo->out;
  EXPECT_NE(demo->out.find("4 of 4 events arrived as expected"), std::string::npos);
  EXPECT_NE(demo->out.find("(private Xvfb with openbox)"), std::string::npos);
}

TEST_F(CliOnDesktop, SetHotkeyKeepsTheCapturedKeyAndEndsACaptureThatGetsNone) {
  const unsigned f5 = keys_->KeycodeOf("F5");
  ASSERT_NE(f5, 0u);
  auto capture = Start({"set-hotkey", "2", "--json"}, server_->display());
  ASSERT_TRUE(capture->WaitForOutput(
      [&] { return capture->err.find("capture window") != std::string::npos; }, 20s))
      << capture->err;
  // The prompt comes just before the capture window takes the focus; taps
  // that land earlier go to the host window, which ignores them.
  ASSERT_TRUE(hostkit::WaitUntil(
      [&] {
        keys_->Tap(f5);
        return capture->WaitForOutput([&] { return !capture->out.empty(); }, 200ms);
      },
      10s))
      << capture->err;
  EXPECT_EQ(capture->Wait(), 0) << capture->err;
  const Json hotkey = JsonLines(capture->out).at(0)["hotkey"];
  EXPECT_EQ(hotkey["text"], "F5");
  EXPECT_EQ(hotkey["keycode"], f5);
  auto hotkeys = Start({"hotkeys"}, server_->display());
  EXPECT_EQ(hotkeys->Wait(), 0);
  EXPECT_NE(hotkeys->out.find("hotkey 2: F5"), std::string::npos) << hotkeys->out;

  // Named, a key is stored at once with the keycode this display gives it;
  // --reset brings a default back.
  const unsigned f6 = keys_->KeycodeOf("F6");
  const Result named =
      Run({"set-hotkey", "1", "--key", "F6", "--mod", "ctrl,shift,alt,super", "--json"},
          server_->display());
  ASSERT_EQ(named.status, 0) << named.err;
  EXPECT_EQ(JsonLines(named.out).at(0)["hotkey"]["text"], "Shift + Ctrl + Alt + F6");
  EXPECT_EQ(JsonLines(named.out).at(0)["hotkey"]["keycode"], f6);
  const Result reset = Run({"set-hotkey", "2", "--reset"}, server_->display());
  ASSERT_EQ(reset.status, 0) << reset.err;
  EXPECT_NE(reset.out.find("hotkey 2: Shift + grave (default, saved in "), std::string::npos)
      << reset.out;
  const Result keyless = Run({"set-hotkey", "1", "--key", "Thai_khokhai"}, server_->display());
  EXPECT_EQ(keyless.status, 2);
  EXPECT_NE(keyless.err.find("no key of display " + server_->display()), std::string::npos);

  // A capture nobody answers ends at its time limit, and Escape is a cancel:
  // neither stores anything, and both say so in their status.
  const Result unanswered =
      Run({"set-hotkey", "1", "--timeout", "1", "--json"}, server_->display());
  EXPECT_EQ(unanswered.status, 7) << unanswered.err;
  EXPECT_EQ(JsonLines(unanswered.out).at(0)["error"], "timed-out");
  auto cancelled = Start({"set-hotkey", "1"}, server_->display());
  ASSERT_TRUE(cancelled->WaitForOutput(
      [&] { return cancelled->err.find("capture window") != std::string::npos; }, 20s));
  const unsigned escape = keys_->KeycodeOf("Escape");
  ASSERT_TRUE(hostkit::WaitUntil(
      [&] {
        keys_->Tap(escape);
        return cancelled->WaitForOutput(
            [&] { return cancelled->err.find("cancelled") != std::string::npos; }, 200ms);
      },
      10s));
  EXPECT_EQ(cancelled->Wait(), 1);
  EXPECT_NE(Read(config_ + "/wedgesim/profile").find("Hotkey1=" + std::to_string(f6)),
            std::string::npos)
      << "the hotkey stored before is kept";
}

}  // namespace
