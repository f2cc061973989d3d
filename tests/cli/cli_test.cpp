// The wedgesim command run as a person or a script runs it: one process per
// invocation, judged by its exit status and what it printed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "host/desktop/keys.h"
#include "host/desktop/private_server.h"
#include "host/kit/default_hotkeys.h"
#include "host/kit/wait.h"

namespace {

using namespace std::chrono_literals;

// A running wedgesim: its stdout and stderr are read as they come, so a test
// can wait for a line before it acts (a prompt, a "ready").
class Process {
 public:
  // `environment` changes the test's own: a value sets, nullopt removes. A
  // `directory` is the one it starts in; empty: the test's own.
  Process(const std::vector<std::string>& arguments,
          const std::map<std::string, std::optional<std::string>>& environment,
          const std::string& directory = {}) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      const std::size_t equals = text.find('=');
      if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : environment) {
      if (value) {
        variables[name] = *value;
      } else {
        variables.erase(name);
      }
    }
    std::vector<std::string> envStrings;
    envStrings.reserve(variables.size());
    for (const auto& [name, value] : variables)
      envStrings.emplace_back(name).append("=").append(value);

    // On a machine that starts this build's programs only through an
    // emulator, the build names it; the command then starts under it too.
    std::vector<std::string> argStrings;
    if (*WEDGESIM_TEST_EMULATOR != '\0') argStrings.emplace_back(WEDGESIM_TEST_EMULATOR);
    argStrings.emplace_back(WEDGESIM_CLI_PATH);
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv, envp;
    for (std::string& s : argStrings) argv.push_back(s.data());
    for (std::string& s : envStrings) envp.push_back(s.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
      ADD_FAILURE() << "pipe failed";
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    fds_[0] = outPipe[0];
    fds_[1] = errPipe[0];
    if (spawned != 0) {
      ADD_FAILURE() << "cannot start " << argv[0];
      pid_ = 0;
    }
  }

  ~Process() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    for (int fd : fds_)
      if (fd >= 0) close(fd);
  }

  // Reads output until `done` holds (checked after every read) or the time is
  // up; true if it held.
  bool WaitForOutput(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left <= 0ms || !Pump(left)) return done();
    }
    return true;
  }

  // Reads to the end and reaps the process. The exit status, or -signal when
  // it was killed by one (a crash, an abort, or our timeout).
  int Wait(std::chrono::milliseconds timeout = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (fds_[0] >= 0 || fds_[1] >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left <= 0ms) {
        ADD_FAILURE() << "wedgesim did not finish in time; stdout:\n"
                      << out << "\nstderr:\n"
                      << err;
        kill(pid_, SIGKILL);
        break;
      }
      Pump(left);
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }

  void Signal(int signal) { kill(pid_, signal); }
  pid_t pid() const { return pid_; }

  std::string out, err;

 private:
  // One poll and the reads it allows; false when both pipes are closed.
  bool Pump(std::chrono::milliseconds timeout) {
    pollfd polled[2];
    int count = 0;
    for (int fd : fds_)
      if (fd >= 0) polled[count++] = {fd, POLLIN, 0};
    if (count == 0) return false;
    if (poll(polled, static_cast<nfds_t>(count), static_cast<int>(timeout.count())) <= 0)
      return true;
    for (int i = 0; i < count; ++i) {
      if (polled[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(polled[i].fd, buffer, sizeof buffer);
      const int which = polled[i].fd == fds_[0] ? 0 : 1;
      if (got > 0) {
        (which == 0 ? out : err).append(buffer, static_cast<std::size_t>(got));
      } else {
        close(fds_[which]);
        fds_[which] = -1;
      }
    }
    return true;
  }

  pid_t pid_ = 0;
  int fds_[2] = {-1, -1};
};

struct Result {
  int status;
  std::string out, err;
};

// Every test gets its own config directory, so the user's profile (and other
// tests') never leaks in, and no display unless it asks for one.
class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/wedgesim-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    config_ = pattern;
    // Endpoints of this test's hosts only: tests run side by side.
    runtime_ = config_ + "/run";
    ASSERT_EQ(mkdir(runtime_.c_str(), 0700), 0);
  }
  void TearDown() override { std::filesystem::remove_all(config_); }

  using Variables = std::map<std::string, std::optional<std::string>>;

  Variables Environment(std::optional<std::string> display = std::nullopt) const {
    return {{"DISPLAY", display},
            {"XDG_CONFIG_HOME", config_},
            {"XDG_RUNTIME_DIR", runtime_},
            {"WEDGESIM_DEBUG", std::nullopt}};
  }

  // `more` adds to the environment; `directory` is where it starts.
  std::unique_ptr<Process> Start(std::vector<std::string> arguments,
                                 std::optional<std::string> display = std::nullopt,
                                 const Variables& more = {}, const std::string& directory = {}) {
    arguments.insert(arguments.begin(), {"--lib", WEDGESIM_LIBRARY_PATH});
    Variables environment = Environment(std::move(display));
    for (const auto& [name, value] : more) environment[name] = value;
    return std::make_unique<Process>(arguments, environment, directory);
  }

  Result Run(std::vector<std::string> arguments, std::optional<std::string> display = std::nullopt,
             const Variables& more = {}, const std::string& directory = {}) {
    auto process = Start(std::move(arguments), std::move(display), more, directory);
    const int status = process->Wait();
    return {status, process->out, process->err};
  }

  std::string config_, runtime_;
};

// The number after "key": in a JSON document, or -1.
long JsonNumber(const std::string& json, const std::string& key) {
  std::smatch match;
  if (!std::regex_search(json, match, std::regex("\"" + key + "\": (-?[0-9]+)"))) return -1;
  return std::stol(match[1]);
}

std::optional<std::string> JsonString(const std::string& json, const std::string& key) {
  std::smatch match;
  if (!std::regex_search(json, match, std::regex("\"" + key + "\": \"([^\"]*)\"")))
    return std::nullopt;
  return match[1].str();
}

// ---- The command line --------------------------------------------------------

TEST_F(Cli, EveryCommandHasHelpNamingItsOwnOptions) {
  const std::map<std::string, std::vector<std::string>> commands = {
      {"info", {"--lang"}},
      {"send", {"--base64", "--activate", "barcode"}},
      {"listen", {"--code1", "--code2", "--base64-1", "--base64-2"}},
      {"set-hotkey", {"slot", "--key", "--mod", "--reset"}},
      {"hotkeys", {}},
      {"demo", {}},
      {"scan", {"--pid", "--base64", "--gs1", "--file", "--interval", "barcode"}},
      {"devices", {}},
  };
  for (const auto& [command, options] : commands) {
    SCOPED_TRACE(command);
    const Result help = Run({command, "--help"});
    EXPECT_EQ(help.status, 0);
    for (const std::string& option : options) EXPECT_NE(help.out.find(option), std::string::npos);
    // The global options work after the subcommand too, so its help lists them.
    for (const char* common : {"--json", "--lib", "--verbose"})
      EXPECT_NE(help.out.find(common), std::string::npos) << common;
  }
  const Result top = Run({"--help"});
  EXPECT_EQ(top.status, 0);
  for (const auto& [command, options] : commands)
    EXPECT_NE(top.out.find(command), std::string::npos) << command;
}

TEST_F(Cli, MistakesAreUsageErrorsWithAMessageNotCrashes) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
      {{"frobnicate"}, "frobnicate"},
      {{"info", "--frobnicate"}, "--frobnicate"},
      {{"set-hotkey", "3"}, "3"},
      {{"set-hotkey"}, "slot"},
      {{"send"}, "barcode"},
      {{"info", "--lang", "de"}, "de"},
      {{}, "subcommand"},
      // Refused before anything is loaded, display or not.
      {{"send", "--base64", "not base64!!"}, "'not base64!!' is not Base64"},
      {{"send", "--base64", "NDYw MA=="}, "'NDYw MA==' is not Base64"},
      {{"listen", "--code1", "N===", "--base64-1"}, "'N===' is not Base64"},
      {{"set-hotkey", "1", "--key", "NoSuchKeysym"}, "unknown keysym NoSuchKeysym"},
      {{"set-hotkey", "1", "--key", "F5", "--mod", "ctrl,hyper"}, "unknown modifier hyper"},
      {{"set-hotkey", "1", "--mod", "ctrl"}, "--key"},
      {{"set-hotkey", "1", "--key", "F5", "--reset"}, "--reset"},
  };
  for (const auto& [arguments, named] : mistakes) {
    SCOPED_TRACE(testing::PrintToString(arguments));
    const Result result = Run(arguments);
    EXPECT_EQ(result.status, 2);  // a signal would show as negative
    EXPECT_NE(result.err.find(named), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("terminate called"), std::string::npos);
  }
}

// ---- info --------------------------------------------------------------------

TEST_F(Cli, InfoWithoutDisplayShowsIdentityMethodsAndNoHostWindow) {
  const Result info = Run({"info"});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("Version      1.0.1.4"), std::string::npos);
  EXPECT_NE(info.out.find("Classes      RizoDiverurAruVira"), std::string::npos);
  // The last method row: number, both names, two parameters, no result.
  EXPECT_TRUE(
      std::regex_search(info.out, std::regex("11  GenerateExternalEventActivateWindow +"
                                             "СгенерироватьВнешнееСобытиеСАктивациейОкна +2 +no")));
  EXPECT_NE(info.out.find("host window  none (no display)"), std::string::npos);
  // The description's last four fields, by plain names.
  EXPECT_TRUE(std::regex_search(info.out, std::regex("  interface revision +2004\n"
                                                     "  integration flag 1 +no\n"
                                                     "  integration flag 2 +yes\n"
                                                     "  integration text +\\(empty\\)\n")))
      << info.out;
  // The pid the add-in puts in its settings is this process's.
  std::smatch pid;
  ASSERT_TRUE(std::regex_search(
      info.out, pid, std::regex("process id   ([0-9]+) \\(the settings say ([0-9]+)\\)")));
  EXPECT_EQ(pid[1], pid[2]);
  // The one-line settings document comes out one tag a line, nested.
  EXPECT_NE(info.out.find("\n  <Settings>\n    <Page Caption = \"Parameters\">\n      <Group"),
            std::string::npos);
  EXPECT_NE(info.out.find("\n      </Group>\n"), std::string::npos);
}

TEST_F(Cli, InfoJsonCarriesTheSameAnswersForScripts) {
  const Result info = Run({"info", "--json"});
  ASSERT_EQ(info.status, 0) << info.err;
  ASSERT_FALSE(info.out.empty());
  EXPECT_EQ(info.out.front(), '{');
  EXPECT_EQ(JsonString(info.out, "version"), "1.0.1.4");
  EXPECT_EQ(JsonNumber(info.out, "revision"), 2004);
  EXPECT_EQ(JsonNumber(info.out, "queryInfo"), 2000);
  std::size_t methods = 0;
  for (std::size_t at = 0; (at = info.out.find("\"number\": ", at)) != std::string::npos; ++at)
    ++methods;
  EXPECT_EQ(methods, 12);
  EXPECT_NE(info.out.find("\"window\": null"), std::string::npos);
  EXPECT_EQ(JsonString(info.out, "windowNote"), "no display");
  // The XML documents are carried whole, with their quotes escaped.
  EXPECT_NE(info.out.find(R"(<Action Name = \"SetHotkey2\" Caption = \"Set hotkey 2\" />)"),
            std::string::npos);
}

TEST_F(Cli, InfoInRussianSwitchesTheAddInsTexts) {
  const Result info = Run({"info", "--lang", "ru"});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("Эмулятор сканера штрихкода"), std::string::npos);
  EXPECT_NE(info.out.find("Назначить горячую клавишу 1"), std::string::npos);
  EXPECT_EQ(info.out.find("Barcode scanner emulator"), std::string::npos);
}

// ---- send --------------------------------------------------------------------

TEST_F(Cli, SendPrintsTheEventTheHostReceived) {
  const Result plain = Run({"send", "4600000000001"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.out.find("event Штрихкод from ZovedavUzuruvOriv: \"4600000000001\""),
            std::string::npos)
      << plain.out;

  const Result decoded = Run({"send", "--base64", "NDYwMDAwMDAwMDAwMg=="});
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  EXPECT_NE(decoded.out.find(": \"4600000000002\""), std::string::npos) << decoded.out;
}

TEST_F(Cli, SendShowsControlCharactersAsCodeUnits) {
  // "460<GS>12": a GS1 group separator, which plain text would hide.
  const Result text = Run({"send", "--base64", "NDYwHTEy"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("\"460\\x1D12\" (units 0034 0036 0030 001D 0031 0032)"),
            std::string::npos)
      << text.out;

  const Result json = Run({"send", "--base64", "NDYwHTEy", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(JsonString(json.out, "data"), "460\\u001d12");
  EXPECT_EQ(JsonString(json.out, "dataUnits"), "0034 0036 0030 001D 0031 0032");
  EXPECT_EQ(JsonString(json.out, "source"), "ZovedavUzuruvOriv");
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
  EXPECT_NE(broken.out.find("\"ok\": false"), std::string::npos) << broken.out;

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
    EXPECT_EQ(result.out.find("(existing)"), std::string::npos) << result.out;
  }

  // A bare file name is a file in the current directory first, then dlopen's search.
  const std::filesystem::path library = WEDGESIM_LIBRARY_PATH;
  const Result bare =
      Run({"info", "--lib", library.filename()}, std::nullopt, {}, library.parent_path());
  EXPECT_EQ(bare.status, 0) << bare.err;
  EXPECT_NE(bare.out.find("Library      " + library.string() + "\n"), std::string::npos);
  const Result nowhere = Run({"info", "--lib", "libwedgesim-nowhere.so"});
  EXPECT_EQ(nowhere.status, 4);
  EXPECT_NE(nowhere.err.find("cannot load the add-in library libwedgesim-nowhere.so: "),
            std::string::npos)
      << nowhere.err;

  // A log that cannot be opened costs one line on stderr, and nothing else.
  const Result unlogged = Run({"info"}, std::nullopt, {{"WEDGESIM_LOG", config_ + "/no/log"}});
  EXPECT_EQ(unlogged.status, 0);
  EXPECT_NE(unlogged.err.find("cannot open the log file " + config_ + "/no/log"), std::string::npos)
      << unlogged.err;
  EXPECT_EQ(std::count(unlogged.err.begin(), unlogged.err.end(), '\n'), 1) << unlogged.err;
}

// ---- the profile -----------------------------------------------------------------

TEST_F(Cli, HotkeysReadTheProfileUnderXdgConfigHome) {
  std::filesystem::create_directories(config_ + "/wedgesim");
  std::ofstream(config_ + "/wedgesim/profile") << "Hotkey1=10\nModifier1=4\n";
  const Result hotkeys = Run({"hotkeys", "--json"});
  ASSERT_EQ(hotkeys.status, 0) << hotkeys.err;
  EXPECT_NE(hotkeys.out.find("\"keycode\": 10,\n      \"modifiers\": 4,\n      \"default\": false"),
            std::string::npos)
      << hotkeys.out;
  EXPECT_NE(
      hotkeys.out.find("\"keycode\": null,\n      \"modifiers\": null,\n      \"default\": true"),
      std::string::npos);
  EXPECT_EQ(JsonString(hotkeys.out, "profile"), config_ + "/wedgesim/profile");
  // The add-in read the same values: its text names Ctrl.
  EXPECT_EQ(JsonString(hotkeys.out, "text"), "Ctrl + Undef");
  // info shows the hotkeys as the same objects.
  const Result info = Run({"info", "--json"});
  ASSERT_EQ(info.status, 0) << info.err;
  auto hotkeyList = [](const std::string& json) {
    const std::size_t start = json.find("\"hotkeys\": [");
    return start == std::string::npos ? "" : json.substr(start, json.find(']', start) - start);
  };
  EXPECT_NE(hotkeyList(hotkeys.out), "");
  EXPECT_EQ(hotkeyList(info.out), hotkeyList(hotkeys.out));
}

// ---- on an X desktop ---------------------------------------------------------------

TEST_F(Cli, DemoStartsItsOwnServerAndGetsAllFourEvents) {
  auto demo = Start({"demo"});  // no DISPLAY: it must start Xvfb with openbox itself
  const int status = demo->Wait(90s);
  EXPECT_EQ(status, 0) << demo->out << demo->err;
  for (const char* line :
       {"[1/4] hotkey 1 (grave): event Штрихкод from ZovedavUzuruvOriv: \"4600000000001\" in ",
        "[2/4] hotkey 2 (Shift + grave): event Штрихкод from ZovedavUzuruvOriv: \"4600000000002\"",
        "[3/4] GenerateExternalEvent: event Штрихкод from ZovedavUzuruvOriv: \"4600000000003\"",
        "[4/4] GenerateExternalEventActivateWindow (Base64): event Штрихкод from "
        "ZovedavUzuruvOriv: \"4600000000004\""})
    EXPECT_NE(demo->out.find(line), std::string::npos) << line << "\n" << demo->out;
  EXPECT_NE(demo->out.find("4 of 4 events arrived as expected"), std::string::npos);
  EXPECT_NE(demo->out.find("(private Xvfb with openbox)"), std::string::npos);
}

// ---- The control channel: a runner outside the host -----------------------

// `wedgesim listen` with no display stands in for the application on a
// headless runner: the hotkeys are off, the channel serves, and `scan` sends
// a file of barcodes, each once, in order, with exact bytes.
TEST_F(Cli, ARunnerScansAFileIntoAHeadlessListen) {
  auto listen = Start({"listen", "--json"});
  ASSERT_TRUE(listen->WaitForOutput(
      [&] { return listen->out.find("\"profile\"") != std::string::npos; }, 20s))
      << listen->err;
  EXPECT_NE(listen->out.find("\"channel\": \"" + runtime_ + "/wedgesim/"), std::string::npos)
      << listen->out;
  const Result devices = Run({"devices", "--json"});
  EXPECT_EQ(devices.status, 0);
  EXPECT_NE(devices.out.find("\"protocol\": 1,"), std::string::npos) << devices.out;
  EXPECT_NE(devices.out.find("\"open\": true"), std::string::npos) << devices.out;

  const std::string codes = config_ + "/codes.txt";
  std::ofstream(codes) << "4600000000001\n0104600000000008\x1d"
                          "21ABC\n\nлат\n";
  const Result file = Run({"scan", "--file", codes, "--json"});
  EXPECT_EQ(file.status, 0) << file.err;
  EXPECT_EQ(std::count(file.out.begin(), file.out.end(), '\n'), 3) << file.out;
  EXPECT_EQ(file.out.find("\"ok\": false"), std::string::npos) << file.out;
  const Result more = Run({"scan", "--gs1", "(01)04600000000008(21)ABC(93)AbCd", "--base64",
                           "0JA=", "--interval", "5"});
  EXPECT_EQ(more.status, 0) << more.err;
  EXPECT_NE(more.out.find("ok 0JA= (2 characters"), std::string::npos) << more.out;

  // Refused before anything is sent, and nothing reaches the host.
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"scan", "--gs1", "(01)04600000000009"}, "wrong check digit"},
      {{"scan", "--gs1", "(01)0460000000000"}, "takes 14 characters"},
      {{"scan", "--gs1", "(999)1"}, "unknown AI (999)"},
      {{"scan", "two\nlines"}, "line break"},
      {{"scan", "--base64", "not base64!!"}, "is not Base64"},
      {{"scan"}, "nothing to scan"},
  };
  for (const auto& [arguments, reason] : refused) {
    SCOPED_TRACE(testing::PrintToString(arguments));
    const Result result = Run(arguments);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
  }
  const Result nobody = Run({"scan", "--pid", "1", "x"});
  EXPECT_EQ(nobody.status, 3);
  EXPECT_NE(nobody.err.find("no open device in process 1"), std::string::npos) << nobody.err;

  listen->Signal(SIGTERM);
  EXPECT_EQ(listen->Wait(), 0) << listen->err;
  // One event a line, in order: a GS survives, so do the raw bytes.
  const std::vector<std::string> units = {
      "0034 0036 0030 0030 0030 0030 0030 0030 0030 0030 0030 0030 0031",
      "0030 0031 0030 0034 0036 0030 0030 0030 0030 0030 0030 0030 0030 0030 0030 0038 001D 0032 "
      "0031 0041 0042 0043",
      "043B 0430 0442",
      "00D0 0090",  // the barcodes come first, then --gs1, then --file
      "0030 0031 0030 0034 0036 0030 0030 0030 0030 0030 0030 0030 0030 0030 0030 0038 0032 0031 "
      "0041 0042 0043 001D 0039 0033 0041 0062 0043 0064"};
  std::size_t at = 0;
  for (const std::string& event : units) {
    at = listen->out.find("\"dataUnits\": \"" + event + "\"", at);
    EXPECT_NE(at, std::string::npos) << event << "\n" << listen->out;
  }
  EXPECT_NE(listen->out.find("{\"stopped\": \"SIGTERM\", \"events\": 5}"), std::string::npos)
      << listen->out;
  const Result after = Run({"devices"});
  EXPECT_EQ(after.out.find(runtime_), std::string::npos) << "the endpoint went too: " << after.out;
}

// Two hosts with a device open each: `scan` without --pid names both and
// sends nothing; with --pid each gets its own.
TEST_F(Cli, TwoHostsAreScannedByPid) {
  auto first = Start({"listen", "--json"});
  auto second = Start({"listen", "--json"});
  for (auto* listen : {first.get(), second.get()})
    ASSERT_TRUE(listen->WaitForOutput(
        [&] { return listen->out.find("\"profile\"") != std::string::npos; }, 20s))
        << listen->err;
  const Result ambiguous = Run({"scan", "x"});
  EXPECT_EQ(ambiguous.status, 2);
  EXPECT_NE(ambiguous.err.find("several devices are open"), std::string::npos) << ambiguous.err;
  EXPECT_EQ(Run({"scan", "--pid", std::to_string(first->pid()), "one"}).status, 0);
  EXPECT_EQ(Run({"scan", "--pid", std::to_string(second->pid()), "two"}).status, 0);
  for (auto* listen : {first.get(), second.get()}) {
    listen->Signal(SIGTERM);
    EXPECT_EQ(listen->Wait(), 0);
    EXPECT_NE(listen->out.find("\"events\": 1}"), std::string::npos) << listen->out;
  }
  EXPECT_NE(first->out.find("\"data\": \"one\""), std::string::npos) << first->out;
  EXPECT_NE(second->out.find("\"data\": \"two\""), std::string::npos) << second->out;
}

class CliOnDesktop : public Cli {
 protected:
  void SetUp() override {
    Cli::SetUp();
    std::string error;
    server_ = hostkit::PrivateXServer::Start({}, &error);
    ASSERT_NE(server_, nullptr) << error;
    keys_ = std::make_unique<hostkit::KeyInjector>(server_->display());
    ASSERT_TRUE(keys_->ok());
  }
  void TearDown() override {
    keys_.reset();
    server_.reset();
    Cli::TearDown();
  }

  std::unique_ptr<hostkit::PrivateXServer> server_;
  std::unique_ptr<hostkit::KeyInjector> keys_;
};

TEST_F(CliOnDesktop, ListenPrintsHotkeyEventsAndStopsCleanlyOnSigterm) {
  auto listen =
      Start({"listen", "--json", "--code1", "4600000000001", "--code2", "NDI=", "--base64-2"},
            server_->display());
  ASSERT_TRUE(listen->WaitForOutput(
      // "profile" ends the ready line.
      [&] { return listen->out.find("\"profile\"") != std::string::npos; }, 20s))
      << listen->err;
  ASSERT_NE(listen->out.find("\"focused\": true"), std::string::npos) << listen->out;
  keys_->Tap(hostkit::kDefaultHotkey1.keycode, hostkit::kDefaultHotkey1.modifiers);
  keys_->Tap(hostkit::kDefaultHotkey2.keycode, hostkit::kDefaultHotkey2.modifiers);
  EXPECT_TRUE(listen->WaitForOutput(
      [&] { return listen->out.find("\"number\": 2") != std::string::npos; }, 10s))
      << listen->out;
  listen->Signal(SIGTERM);
  EXPECT_EQ(listen->Wait(), 0) << listen->err;
  EXPECT_NE(listen->out.find("\"data\": \"4600000000001\""), std::string::npos) << listen->out;
  EXPECT_NE(listen->out.find("\"data\": \"42\""), std::string::npos) << listen->out;
  EXPECT_NE(listen->out.find("{\"stopped\": \"SIGTERM\", \"events\": 2}"), std::string::npos)
      << listen->out;
}

TEST_F(CliOnDesktop, SetHotkeyKeepsTheCapturedKeyForLaterRuns) {
  const unsigned f5 = keys_->KeycodeOf("F5");
  ASSERT_NE(f5, 0u);
  auto capture = Start({"set-hotkey", "2", "--json"}, server_->display());
  ASSERT_TRUE(capture->WaitForOutput(
      [&] { return capture->err.find("capture window") != std::string::npos; }, 20s))
      << capture->err;
  // The prompt comes just before the capture window takes the focus; taps
  // that land earlier go to the host window, which ignores them.
  int status = 1;
  const bool ended = hostkit::WaitUntil(
      [&] {
        keys_->Tap(f5);
        return capture->WaitForOutput([&] { return !capture->out.empty(); }, 200ms);
      },
      10s);
  ASSERT_TRUE(ended) << capture->err;
  status = capture->Wait();
  EXPECT_EQ(status, 0) << capture->err;
  EXPECT_EQ(JsonString(capture->out, "text"), "F5");
  EXPECT_EQ(JsonNumber(capture->out, "keycode"), static_cast<long>(f5));

  std::ifstream profile(config_ + "/wedgesim/profile");
  const std::string saved((std::istreambuf_iterator<char>(profile)), {});
  EXPECT_NE(saved.find("Hotkey2=" + std::to_string(f5) + "\n"), std::string::npos) << saved;

  // A later run of another command sees it through the same profile.
  auto hotkeys = Start({"hotkeys"}, server_->display());
  EXPECT_EQ(hotkeys->Wait(), 0);
  EXPECT_NE(hotkeys->out.find("hotkey 2: F5"), std::string::npos) << hotkeys->out;

  // Named, a key is stored at once (no capture window waits for it), with
  // the keycode this display gives it; --reset brings a default back.
  const unsigned f6 = keys_->KeycodeOf("F6");
  const Result named =
      Run({"set-hotkey", "1", "--key", "F6", "--mod", "ctrl,shift,alt,super", "--json"},
          server_->display());
  ASSERT_EQ(named.status, 0) << named.err;
  EXPECT_EQ(JsonNumber(named.out, "keycode"), static_cast<long>(f6));
  EXPECT_EQ(JsonNumber(named.out, "modifiers"), 1 + 4 + 8 + 64);
  EXPECT_EQ(JsonString(named.out, "text"), "Shift + Ctrl + Alt + F6");
  const Result reset = Run({"set-hotkey", "2", "--reset"}, server_->display());
  ASSERT_EQ(reset.status, 0) << reset.err;
  EXPECT_NE(reset.out.find("hotkey 2: Shift + grave (default, saved in "), std::string::npos)
      << reset.out;
  std::ifstream after(config_ + "/wedgesim/profile");
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}),
            "Hotkey1=" + std::to_string(f6) + "\nModifier1=77\n");
  // A keysym X knows that no key of this keyboard produces.
  const Result keyless = Run({"set-hotkey", "1", "--key", "Thai_khokhai"}, server_->display());
  EXPECT_EQ(keyless.status, 2);
  EXPECT_NE(keyless.err.find("no key of display " + server_->display()), std::string::npos)
      << keyless.err;
}

}  // namespace
