// The private X server: Xvfb and, when asked, openbox, started and stopped by pid.
#include "host/desktop/private_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "host/desktop/detail.h"
#include "host/desktop/process.h"
#include "host/kit/wait.h"

namespace hostkit {
namespace {

using namespace detail;  // the pieces the desktop's files share
using namespace process;
using std::chrono::milliseconds;

constexpr milliseconds kServerReadyTimeout{10000};
constexpr milliseconds kWindowManagerReadyTimeout{10000};
constexpr milliseconds kTerminateGrace{10000};

// Reads the display number Xvfb writes to the -displayfd pipe ("N\n").
// Clears *server when it finds the server dead (and reaped), so nobody signals a stale pid.
bool ReadDisplayNumber(int fd, pid_t* server, std::string* display, std::string* problem) {
  const auto deadline = Clock::now() + kServerReadyTimeout;
  std::string text;
  for (;;) {
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      *problem = "Xvfb did not report a display within " +
                 std::to_string(kServerReadyTimeout.count()) + " ms";
      return false;
    }
    pollfd pfd{fd, POLLIN, 0};
    int ready = poll(&pfd, 1, static_cast<int>(std::min<long long>(left, 100)));
    if (ready < 0 && errno != EINTR) {
      *problem = ErrnoText("poll on the Xvfb display pipe");
      return false;
    }
    if (ready > 0) {
      char buffer[32];
      ssize_t got = read(fd, buffer, sizeof buffer);
      if (got > 0) text.append(buffer, static_cast<size_t>(got));
      if (text.find('\n') != std::string::npos || got == 0) break;
      if (got < 0 && errno != EINTR && errno != EAGAIN) {
        *problem = ErrnoText("read from the Xvfb display pipe");
        return false;
      }
    }
    int status = 0;
    if (waitpid(*server, &status, WNOHANG) == *server) {
      *server = 0;
      *problem = "Xvfb " + DescribeStatus(status) + " before reporting a display";
      return false;
    }
  }
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (digits == 0) {
    *problem = "Xvfb closed the display pipe without reporting a display";
    return false;
  }
  *display = ":" + text.substr(0, digits);
  return true;
}

// Waits until the manager really manages windows. _NET_SUPPORTING_WM_CHECK alone is not enough:
// openbox sets it (and even _NET_CLIENT_LIST) a few tens of milliseconds before it handles
// MapRequests, and a window mapped in that gap is silently never managed. So a probe window is
// mapped, and mapped again while it stays unmanaged, until the manager lists it; then it is
// destroyed and we wait for the manager to drop it, leaving an empty client list behind.
// Clears *manager when it finds the manager dead (and reaped).
bool WaitForWindowManager(Display* display, pid_t* manager, std::string* problem) {
  const auto deadline = Clock::now() + kWindowManagerReadyTimeout;
  auto left = [&] { return Remaining(deadline); };
  int status = 0;
  bool died = false;
  auto ready = [&](const std::function<bool()>& condition, milliseconds timeout) {
    return WaitUntil(
               [&] {
                 if (condition()) return true;
                 died = waitpid(*manager, &status, WNOHANG) == *manager;
                 return died;
               },
               timeout) &&
           !died;
  };
  auto fail = [&](const std::string& what) {
    if (died) {
      *manager = 0;
      *problem = "openbox " + DescribeStatus(status) + " " + what;
    } else {
      *problem = "openbox did not get ready within " +
                 std::to_string(kWindowManagerReadyTimeout.count()) + " ms: " + what;
    }
    return false;
  };

  if (!ready([&] { return WindowManagerReady(display); }, left())) {
    return fail("before setting _NET_SUPPORTING_WM_CHECK");
  }
  const Window probe =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  bool managed = false;
  // The first map is usually lost, so the first retry comes soon; the interval grows so that a
  // manager slowed down by a busy machine is not interrupted over and over by our remapping.
  milliseconds interval{25};
  while (!managed && !died && left() > milliseconds(0)) {
    XUnmapWindow(display, probe);  // a no-op unless the manager mapped it late
    XMapWindow(display, probe);
    XSync(display, False);
    managed = ready([&] { return Listed(display, probe); }, std::min(interval, left()));
    interval = std::min(interval * 2, milliseconds(800));
  }
  XDestroyWindow(display, probe);
  XSync(display, False);
  if (!managed) return fail("before managing a first window");
  if (!ready([&] { return !Listed(display, probe); }, left())) {
    return fail("before forgetting a destroyed window");
  }
  return true;
}

}  // namespace

// ---- PrivateXServer ----------------------------------------------------------

std::unique_ptr<PrivateXServer> PrivateXServer::Start(const XServerOptions& options,
                                                      std::string* error) {
  std::string xvfb = FindInPath("Xvfb");
  if (xvfb.empty()) {
    SetError(error, "Xvfb was not found in PATH (it comes with the xvfb package)");
    return nullptr;
  }
  std::string openbox;
  if (options.windowManager) {
    openbox = FindInPath("openbox");
    if (openbox.empty()) {
      SetError(error, "openbox was not found in PATH (it comes with the openbox package)");
      return nullptr;
    }
  }

  UniqueFd devNull = Elevate(open("/dev/null", O_RDWR | O_CLOEXEC));
  int pipeFds[2];
  if (!devNull.valid() || pipe2(pipeFds, O_CLOEXEC) != 0) {
    SetError(error, ErrnoText("cannot prepare the Xvfb pipes"));
    return nullptr;
  }
  UniqueFd readEnd = Elevate(pipeFds[0]);
  UniqueFd writeEnd = Elevate(pipeFds[1]);
  UniqueFd serverLog = MakeLog("xvfb-stderr");

  // The destructor cleans up whatever part was started if a later step fails.
  std::unique_ptr<PrivateXServer> server(new PrivateXServer());
  const std::vector<std::string> env = Environment();
  std::string spawnError;
  server->serverPid_ = Spawn(
      xvfb,
      {"Xvfb", "-displayfd", "3", "-screen", "0", options.screen, "-nolisten", "tcp", "-noreset"},
      env, {devNull.get(), devNull.get(), serverLog.get(), writeEnd.get()}, &spawnError);
  if (server->serverPid_ < 0) {
    server->serverPid_ = 0;
    SetError(error, "cannot start Xvfb: " + spawnError);
    return nullptr;
  }
  writeEnd.Reset();  // so that a dying server shows up as end of file

  std::string problem;
  if (!ReadDisplayNumber(readEnd.get(), &server->serverPid_, &server->display_, &problem)) {
    SetError(error, problem + ReadTail(serverLog.get()));
    return nullptr;
  }

  UniqueDisplay connection = OpenDisplay(server->display_);
  if (!connection) {
    SetError(error, "Xvfb reported display " + server->display_ + " but it cannot be opened" +
                        ReadTail(serverLog.get()));
    return nullptr;
  }
  if (!options.windowManager) return server;

  UniqueFd managerLog = MakeLog("openbox-stderr");
  server->windowManagerPid_ =
      Spawn(openbox, {"openbox", "--sm-disable"}, Environment("DISPLAY", server->display_),
            {devNull.get(), devNull.get(), managerLog.get(), -1}, &spawnError);
  if (server->windowManagerPid_ < 0) {
    server->windowManagerPid_ = 0;
    SetError(error, "cannot start openbox: " + spawnError);
    return nullptr;
  }

  if (!WaitForWindowManager(connection.get(), &server->windowManagerPid_, &problem)) {
    SetError(error, problem + ReadTail(managerLog.get()));
    return nullptr;
  }
  return server;
}

PrivateXServer::~PrivateXServer() {
  // The manager first: it is a client of the server and would otherwise log its lost connection.
  Terminate(windowManagerPid_, kTerminateGrace);
  Terminate(serverPid_, kTerminateGrace);
}

void PrivateXServer::ExportDisplay() const { setenv("DISPLAY", display_.c_str(), 1); }

}  // namespace hostkit
