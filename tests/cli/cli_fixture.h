// Running the wedgesim command as a person or a script runs it: one process
// per invocation, judged by its exit status and what it printed. Every JSON
// line any test gets is checked by jq, an independent JSON parser, for "ok"
// and "type", then read with nlohmann-json.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "host/desktop/keys.h"
#include "host/desktop/private_server.h"
#include "host/kit/default_hotkeys.h"
#include "host/kit/wait.h"

namespace clitest {

using namespace std::chrono_literals;
using Json = nlohmann::json;

// A running wedgesim: its stdout and stderr are read as they come, so a test
// can wait for a line before it acts (a prompt, a "ready").
class Process {
 public:
  // `environment` changes the test's own: a value sets, nullopt removes. A
  // `directory` is the one it starts in; empty: the test's own.
  // `input` is a file for its standard input (/dev/null when empty); with
  // `deafStderr` its standard error is a pipe whose reader has gone.
  Process(const std::vector<std::string>& arguments,
          const std::map<std::string, std::optional<std::string>>& environment,
          const std::string& directory = {}, const std::string& input = {},
          bool deafStderr = false) {
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
    posix_spawn_file_actions_addopen(&actions, 0, input.empty() ? "/dev/null" : input.c_str(),
                                     O_RDONLY, 0);
    if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    fds_[0] = outPipe[0];
    fds_[1] = errPipe[0];
    if (deafStderr) {
      close(fds_[1]);
      fds_[1] = -1;
    }
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

// The JSON lines of `out`, each checked by jq for "ok" and "type" first.
inline std::vector<Json> JsonLines(const std::string& out) {
  char pattern[] = "/tmp/wedgesim-json-XXXXXX";
  const int fd = mkstemp(pattern);
  EXPECT_GE(fd, 0);
  if (fd < 0) return {};
  close(fd);
  std::ofstream(pattern) << out;
  const std::string check =
      std::string("jq -e -s 'all(has(\"ok\") and has(\"type\"))' ") + pattern + " >/dev/null 2>&1";
  EXPECT_EQ(std::system(check.c_str()), 0) << "not JSON Lines with ok and type:\n" << out;
  std::remove(pattern);
  std::vector<Json> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(Json::parse(line, nullptr, false));
  return lines;
}

// The lines of one type.
inline std::vector<Json> OfType(const std::vector<Json>& lines, const std::string& type) {
  std::vector<Json> found;
  for (const Json& line : lines)
    if (line.value("type", "") == type) found.push_back(line);
  return found;
}

// Every test gets its own config and runtime directories, so the user's
// profile and devices (and other tests') never leak in, and no display
// unless it asks for one.
class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/wedgesim-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    config_ = pattern;
    runtime_ = config_ + "/run";
    ASSERT_EQ(mkdir(runtime_.c_str(), 0700), 0);
  }
  void TearDown() override { std::filesystem::remove_all(config_); }

  using Variables = std::map<std::string, std::optional<std::string>>;

  Variables Environment(std::optional<std::string> display = std::nullopt) const {
    return {{"DISPLAY", display},
            {"XDG_CONFIG_HOME", config_},
            {"XDG_RUNTIME_DIR", runtime_},
            {"XDG_SESSION_ID", std::nullopt},
            {"WEDGESIM_DEBUG", std::nullopt}};
  }

  // `more` adds to the environment; `directory` is where it starts.
  std::unique_ptr<Process> Start(std::vector<std::string> arguments,
                                 std::optional<std::string> display = std::nullopt,
                                 const Variables& more = {}, const std::string& directory = {},
                                 const std::string& input = {}) {
    arguments.insert(arguments.begin(), {"--lib", WEDGESIM_LIBRARY_PATH});
    Variables environment = Environment(std::move(display));
    for (const auto& [name, value] : more) environment[name] = value;
    return std::make_unique<Process>(arguments, environment, directory, input);
  }

  // Runs to the end; output with --json is checked as JSON Lines.
  Result Run(std::vector<std::string> arguments, std::optional<std::string> display = std::nullopt,
             const Variables& more = {}, const std::string& directory = {},
             const std::string& input = {}) {
    const bool json = std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    auto process = Start(std::move(arguments), std::move(display), more, directory, input);
    const int status = process->Wait();
    if (json) JsonLines(process->out);
    return {status, process->out, process->err};
  }

  // A `listen --json` (the application, here), once it is ready.
  std::unique_ptr<Process> Listen(std::vector<std::string> arguments = {},
                                  std::optional<std::string> display = std::nullopt,
                                  const Variables& more = {}) {
    arguments.insert(arguments.begin(), {"listen", "--json"});
    auto listen = Start(arguments, std::move(display), more);
    EXPECT_TRUE(listen->WaitForOutput(
        [&] { return listen->out.find("\"type\":\"ready\"") != std::string::npos; }, 20s))
        << listen->err;
    return listen;
  }

  // Stops a listen and gives its event lines.
  std::vector<Json> Events(Process& listen) {
    listen.Signal(SIGTERM);
    EXPECT_EQ(listen.Wait(), 0) << listen.err;
    return OfType(JsonLines(listen.out), "event");
  }

  std::string config_, runtime_;
};

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

}  // namespace clitest
