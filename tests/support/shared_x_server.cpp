// One X desktop (Xvfb + openbox) for the X11 tests that need no server of
// their own, kept for one CTest run by a fixture:
//   shared_x_server start STATE   starts a keeper, which writes the display
//                                 to STATE once the desktop is ready
//   shared_x_server stop STATE    stops the keeper, which stops the desktop
// The keeper also ends by itself after an hour, so a run that was killed
// before its cleanup leaves nothing behind for long.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "host/desktop/private_server.h"

namespace {

constexpr auto kLongestRun = std::chrono::hours(1);

// The keeper: the desktop's children are tied to this (main) thread, so it
// waits here until it is told to stop.
int Keep(const std::string& state) {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  std::string error;
  const auto server = hostkit::PrivateXServer::Start({}, &error);
  if (!server) {
    std::cerr << "shared_x_server: " << error << '\n';
    return 1;
  }
  {
    std::ofstream out(state + ".new");
    out << server->display() << ' ' << getpid() << '\n';
  }
  std::rename((state + ".new").c_str(), state.c_str());
  const timespec limit{std::chrono::duration_cast<std::chrono::seconds>(kLongestRun).count(), 0};
  while (sigtimedwait(&stop, nullptr, &limit) < 0 && errno == EINTR) {
  }
  std::remove(state.c_str());
  return 0;
}

int Start(const std::string& state) {
  std::remove(state.c_str());
  const pid_t keeper = fork();
  if (keeper < 0) return 1;
  if (keeper == 0) {
    // Out of CTest's process group, and off its pipes (CTest waits for
    // whoever holds them): the keeper outlives this test.
    setsid();
    const int quiet = open("/dev/null", O_RDWR);
    const int log = open((state + ".log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(quiet, STDIN_FILENO);
    dup2(quiet, STDOUT_FILENO);
    dup2(log >= 0 ? log : quiet, STDERR_FILENO);
    _exit(Keep(state));
  }
  for (int waited = 0; waited < 300; ++waited) {
    if (std::ifstream(state)) return 0;
    int status = 0;
    if (waitpid(keeper, &status, WNOHANG) == keeper) {
      std::cerr << std::ifstream(state + ".log").rdbuf();  // why it failed
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::cerr << "shared_x_server: the desktop was not ready in 30 s\n";
  kill(keeper, SIGTERM);
  return 1;
}

int Stop(const std::string& state) {
  std::string display;
  pid_t keeper = 0;
  if (!(std::ifstream(state) >> display >> keeper) || keeper <= 0) return 0;  // nothing runs
  kill(keeper, SIGTERM);
  for (int waited = 0; waited < 100 && kill(keeper, 0) == 0; ++waited)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc == 3 ? argv[1] : "";
  if (command == "start") return Start(argv[2]);
  if (command == "stop") return Stop(argv[2]);
  std::cerr << "usage: shared_x_server start|stop STATE\n";
  return 2;
}
