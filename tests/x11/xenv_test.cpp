// Scenario tests of the private X desktop the other X11 tests stand on. Each checks what the server
// and the window manager actually see, through a connection of the test's own.
#include "host/desktop/display.h"
#include "host/desktop/keys.h"
#include "host/desktop/private_server.h"
#include "host/desktop/window.h"
#include "host/kit/wait.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

// GoogleTest before Xlib: Xlib's None and Bool macros break GoogleTest's headers.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace hostkit {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::unique_ptr<PrivateXServer> StartOrFail(const XServerOptions& options = {}) {
  std::string error;
  auto server = PrivateXServer::Start(options, &error);
  EXPECT_TRUE(server) << error;
  return server;
}

std::unique_ptr<HostTopLevelWindow> CreateOrFail(const PrivateXServer& server,
                                                 const WindowOptions& options = {}) {
  std::string error;
  auto window = HostTopLevelWindow::Create(server.display(), options, &error);
  EXPECT_TRUE(window) << error;
  return window;
}

bool ProcessGone(pid_t pid) { return kill(pid, 0) == -1 && errno == ESRCH; }

bool Contains(const std::vector<unsigned long>& list, unsigned long value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

std::string StringProperty(Display* display, Window window, Atom property) {
  XTextProperty text{};
  if (XGetTextProperty(display, window, &text, property) == 0) return {};
  std::string value(reinterpret_cast<const char*>(text.value), text.nitems);
  XFree(text.value);
  return value;
}

// The next key event on display, waiting on the connection's socket until the deadline.
std::optional<XKeyEvent> NextKeyEvent(Display* display, Clock::time_point deadline) {
  for (;;) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == KeyPress || event.type == KeyRelease) return event.xkey;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left <= 0ms) return std::nullopt;
    pollfd pfd{ConnectionNumber(display), POLLIN, 0};
    poll(&pfd, 1, static_cast<int>(left.count()));
  }
}

TEST(XEnvServer, StartsWithAWindowManagerThatIsReady) {
  const auto started = Clock::now();
  auto server = StartOrFail();
  ASSERT_TRUE(server);
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
  RecordProperty("start_ms", static_cast<int>(elapsed.count()));
  EXPECT_LT(elapsed, 10s);

  EXPECT_EQ(server->display().rfind(':', 0), 0u) << server->display();
  EXPECT_GT(server->serverPid(), 0);
  EXPECT_GT(server->windowManagerPid(), 0);

  // ExportDisplay makes the default connection reach the private server.
  server->ExportDisplay();
  UniqueDisplay display = OpenDisplay();
  ASSERT_TRUE(display);
  EXPECT_EQ(std::string(DisplayString(display.get())), server->display());

  // A live manager's check window names itself in the same property; a leftover value would not.
  std::vector<unsigned long> check =
      ReadListProperty(display.get(), DefaultRootWindow(display.get()), "_NET_SUPPORTING_WM_CHECK");
  ASSERT_EQ(check.size(), 1u);
  EXPECT_EQ(ReadListProperty(display.get(), check[0], "_NET_SUPPORTING_WM_CHECK"), check);
}

TEST(XEnvServer, ParallelServersGetOwnDisplaysAndStopCleanly) {
  auto first = StartOrFail();
  auto second = StartOrFail({.windowManager = false});
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->display(), second->display());
  EXPECT_EQ(second->windowManagerPid(), 0);

  // Each server's socket file, identified by inode and change time, since tests running in
  // parallel may already have taken the display number again once our server is gone.
  auto socketOf = [](const std::string& display) {
    struct stat st {};
    std::string path = "/tmp/.X11-unix/X" + display.substr(1);
    bool exists = stat(path.c_str(), &st) == 0;
    return std::make_tuple(exists, st.st_ino, st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
  };
  const std::vector sockets{socketOf(first->display()), socketOf(second->display())};
  const pid_t pids[] = {first->serverPid(), first->windowManagerPid(), second->serverPid()};
  const std::string displays[] = {first->display(), second->display()};
  first.reset();
  second.reset();

  for (pid_t pid : pids) EXPECT_TRUE(ProcessGone(pid)) << "pid " << pid << " survived";
  // A server stopped with SIGTERM removes its socket; a killed one would leave it behind.
  auto socket = sockets.begin();
  for (const std::string& display : displays) {
    ASSERT_TRUE(std::get<0>(*socket)) << "no socket file for " << display;
    EXPECT_NE(socketOf(display), *socket++) << "socket of " << display << " left behind";
  }
}

TEST(XEnvServer, ReportsMissingProgramsAndUnreachableDisplays) {
  const char* path = std::getenv("PATH");
  const std::string savedPath = path != nullptr ? path : "";
  setenv("PATH", "/nonexistent-wedgesim-dir", 1);
  std::string error;
  auto server = PrivateXServer::Start({}, &error);
  setenv("PATH", savedPath.c_str(), 1);
  EXPECT_FALSE(server);
  EXPECT_NE(error.find("Xvfb"), std::string::npos) << error;

  error.clear();
  EXPECT_FALSE(HostTopLevelWindow::Create(":65534", {}, &error));
  EXPECT_NE(error.find(":65534"), std::string::npos) << error;
  EXPECT_FALSE(KeyInjector(":65534").ok());
}

TEST(XEnvServer, WithoutWindowManagerFocusStillWorks) {
  auto server = StartOrFail({.windowManager = false});
  ASSERT_TRUE(server);
  auto window = CreateOrFail(*server);
  ASSERT_TRUE(window);
  Display* display = window->display();
  EXPECT_TRUE(
      ReadListProperty(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK").empty());
  EXPECT_FALSE(window->WaitListed(200ms));
  // Nobody answers _NET_ACTIVE_WINDOW here, so this exercises the direct XSetInputFocus path.
  EXPECT_TRUE(window->Activate(5s));
  EXPECT_TRUE(window->HasFocus());
}

TEST(XEnvWindow, IsManagedWithTheApplicationProperties) {
  auto server = StartOrFail();
  ASSERT_TRUE(server);
  auto host = CreateOrFail(*server, {.title = "host window"});
  auto foreign = CreateOrFail(*server, {.pid = 4242, .title = "foreign"});
  auto bare = CreateOrFail(*server, {.types = {}, .pid = 0, .title = "bare"});
  auto hidden = CreateOrFail(*server, {.map = false});
  ASSERT_TRUE(host && foreign && bare && hidden);
  ASSERT_TRUE(host->WaitListed());
  ASSERT_TRUE(foreign->WaitListed());
  ASSERT_TRUE(bare->WaitListed());

  // Everything is read back through an unrelated connection, as another client would see it.
  UniqueDisplay observer = OpenDisplay(server->display());
  ASSERT_TRUE(observer);
  Display* dpy = observer.get();
  const Window root = DefaultRootWindow(dpy);
  std::vector<unsigned long> clients = ReadListProperty(dpy, root, "_NET_CLIENT_LIST");
  EXPECT_TRUE(Contains(clients, host->id()));
  EXPECT_FALSE(Contains(clients, hidden->id())) << "a never-mapped window is not managed";

  EXPECT_EQ(ReadListProperty(dpy, host->id(), "_NET_WM_PID"),
            std::vector<unsigned long>{static_cast<unsigned long>(getpid())});
  EXPECT_EQ(ReadListProperty(dpy, foreign->id(), "_NET_WM_PID"), std::vector<unsigned long>{4242});
  EXPECT_TRUE(ReadListProperty(dpy, bare->id(), "_NET_WM_PID").empty());
  const unsigned long normal = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_NORMAL", False);
  EXPECT_EQ(ReadListProperty(dpy, host->id(), "_NET_WM_WINDOW_TYPE"),
            std::vector<unsigned long>{normal});
  EXPECT_TRUE(ReadListProperty(dpy, bare->id(), "_NET_WM_WINDOW_TYPE").empty());

  char hostname[256] = {};
  gethostname(hostname, sizeof hostname - 1);
  EXPECT_EQ(StringProperty(dpy, host->id(), XA_WM_CLIENT_MACHINE), hostname);
  EXPECT_EQ(StringProperty(dpy, host->id(), XA_WM_NAME), "host window");
  XClassHint classHint{};
  ASSERT_NE(XGetClassHint(dpy, host->id(), &classHint), 0);
  EXPECT_STRNE(classHint.res_class, "");
  XFree(classHint.res_name);
  XFree(classHint.res_class);

  // Withdrawing the window takes it out of the manager's list again.
  host->Unmap();
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(dpy, host->id(), &attributes), 0);
  EXPECT_NE(attributes.map_state, IsViewable);
  EXPECT_TRUE(WaitUntil(
      [&] { return !Contains(ReadListProperty(dpy, root, "_NET_CLIENT_LIST"), host->id()); }, 5s));
}

TEST(XEnvWindow, ActivateMovesTheFocusBetweenWindows) {
  auto server = StartOrFail();
  ASSERT_TRUE(server);
  auto first = CreateOrFail(*server, {.title = "first"});
  auto second = CreateOrFail(*server, {.title = "second"});
  ASSERT_TRUE(first && second);
  ASSERT_TRUE(first->WaitListed());
  ASSERT_TRUE(second->WaitListed());

  ASSERT_TRUE(first->Activate());
  EXPECT_FALSE(second->HasFocus());
  ASSERT_TRUE(second->Activate());
  EXPECT_FALSE(first->HasFocus());
  ASSERT_TRUE(first->Activate());
  EXPECT_TRUE(first->HasFocus());

  // The manager also reports the activation, which only happens through its own path.
  UniqueDisplay observer = OpenDisplay(server->display());
  ASSERT_TRUE(observer);
  EXPECT_TRUE(WaitUntil(
      [&] {
        return ReadListProperty(observer.get(), DefaultRootWindow(observer.get()),
                                "_NET_ACTIVE_WINDOW") == std::vector<unsigned long>{first->id()};
      },
      5s));

  // A child window holding the focus still counts as focus on the top-level window.
  Display* dpy = first->display();
  Window child = XCreateSimpleWindow(dpy, first->id(), 10, 10, 50, 50, 0, 0, 0);
  XMapWindow(dpy, child);
  XSync(dpy, False);
  XSetInputFocus(dpy, child, RevertToParent, CurrentTime);
  XSync(dpy, False);
  EXPECT_TRUE(first->HasFocus());
  EXPECT_FALSE(second->HasFocus());
}

TEST(XEnvKeys, TapArrivesOnTheFocusedWindowWithItsModifiers) {
  auto server = StartOrFail();
  ASSERT_TRUE(server);
  auto window = CreateOrFail(*server);
  ASSERT_TRUE(window);
  ASSERT_TRUE(window->WaitListed());
  ASSERT_TRUE(window->Activate());
  Display* dpy = window->display();
  XSelectInput(dpy, window->id(), KeyPressMask | KeyReleaseMask);
  XSync(dpy, False);

  KeyInjector keys(server->display());
  ASSERT_TRUE(keys.ok());
  const unsigned a = keys.KeycodeOf("a");
  const unsigned shift = keys.KeycodeOf("Shift_L");
  ASSERT_NE(a, 0u);
  ASSERT_NE(shift, 0u);
  EXPECT_EQ(keys.KeycodeOf("NoSuchKeysymName"), 0u);
  keys.Press(0);  // ignored rather than a fatal BadValue

  keys.Tap(a, ShiftMask);
  keys.Tap(a);

  // Expected: Shift down, A down and up with Shift held, Shift up, then a plain a.
  struct Expected {
    int type;
    unsigned keycode;
    bool shifted;
    const char* text;
  };
  const Expected expected[] = {
      {KeyPress, shift, false, nullptr}, {KeyPress, a, true, "A"},
      {KeyRelease, a, true, nullptr},    {KeyRelease, shift, true, nullptr},
      {KeyPress, a, false, "a"},         {KeyRelease, a, false, nullptr}};
  const auto deadline = Clock::now() + 5s;
  for (const Expected& want : expected) {
    std::optional<XKeyEvent> event = NextKeyEvent(dpy, deadline);
    ASSERT_TRUE(event) << "missing event for keycode " << want.keycode;
    EXPECT_EQ(event->type, want.type);
    EXPECT_EQ(event->keycode, want.keycode);
    EXPECT_EQ(event->window, window->id());
    EXPECT_EQ((event->state & ShiftMask) != 0, want.shifted);
    if (want.text != nullptr) {
      char text[8] = {};
      XLookupString(&*event, text, sizeof text - 1, nullptr, nullptr);
      EXPECT_STREQ(text, want.text);
    }
  }
  EXPECT_FALSE(NextKeyEvent(dpy, Clock::now() + 100ms)) << "unexpected extra key event";
}

}  // namespace
}  // namespace hostkit
