#include "host/cli/desktop.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "host/cli/errors.h"

namespace cli {

std::optional<std::string> CurrentDisplay() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return std::nullopt;
  return std::string(display);
}

std::string RequireDisplay(const std::string& command) {
  if (auto display = CurrentDisplay()) return *display;
  throw CliError(kExitEnvironment,
                 "no X display: DISPLAY is not set, and " + command +
                     " needs one with an EWMH window manager (try `wedgesim demo`, which starts "
                     "a private one)");
}

std::unique_ptr<hostkit::HostTopLevelWindow> TryShowHostWindow(const std::string& display,
                                                               std::string* reason) {
  std::string error;
  auto window = hostkit::HostTopLevelWindow::Create(display, {}, &error);
  if (window == nullptr) {
    *reason = "cannot open the X display " + display + (error.empty() ? "" : ": " + error);
    return nullptr;
  }
  if (!window->WaitListed(std::chrono::seconds(3))) {
    *reason = "no window manager listed the host window on " + display +
              "; an EWMH window manager (for example openbox) is needed";
    return nullptr;
  }
  return window;
}

std::unique_ptr<hostkit::HostTopLevelWindow> ShowHostWindow(const std::string& display) {
  std::string reason;
  auto window = TryShowHostWindow(display, &reason);
  if (window == nullptr) throw CliError(kExitEnvironment, reason);
  return window;
}

namespace {

// Windows in the client list may be destroyed by their owners while we read
// them; Xlib's default handler would end the process for that BadWindow.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

}  // namespace

unsigned long FindOwnTopLevelWindow(Display* display) {
  const unsigned long normal = XInternAtom(display, "_NET_WM_WINDOW_TYPE_NORMAL", False);
  const unsigned long pid = static_cast<unsigned long>(getpid());
  XSync(display, False);
  auto* previous = XSetErrorHandler(IgnoreXError);
  unsigned long found = 0;
  for (unsigned long window :
       hostkit::ReadListProperty(display, DefaultRootWindow(display), "_NET_CLIENT_LIST")) {
    const auto pids = hostkit::ReadListProperty(display, window, "_NET_WM_PID");
    const auto types = hostkit::ReadListProperty(display, window, "_NET_WM_WINDOW_TYPE");
    if (!pids.empty() && pids[0] == pid && !types.empty() && types[0] == normal) {
      found = window;
      break;
    }
  }
  XSync(display, False);
  XSetErrorHandler(previous);
  return found;
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string directories = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t at = 0;
  while (at <= directories.size()) {
    const std::size_t colon = directories.find(':', at);
    std::string directory =
        directories.substr(at, colon == std::string::npos ? std::string::npos : colon - at);
    if (directory.empty()) directory = ".";
    directory += '/';
    directory += program;
    if (access(directory.c_str(), X_OK) == 0) return true;
    if (colon == std::string::npos) break;
    at = colon + 1;
  }
  return false;
}

std::unique_ptr<hostkit::PrivateXServer> StartPrivateServer() {
  // Said before trying, so a missing program gets the package name rather
  // than an exec failure from deep inside the start.
  if (!OnPath("Xvfb"))
    throw CliError(kExitEnvironment,
                   "Xvfb is not installed; the demo starts its own X server when DISPLAY is unset "
                   "(install the Debian package xvfb)");
  if (!OnPath("openbox"))
    throw CliError(kExitEnvironment,
                   "openbox is not installed; the demo needs it as the window manager of its own "
                   "X server (install the Debian package openbox)");
  std::string error;
  auto server = hostkit::PrivateXServer::Start({.windowManager = true}, &error);
  if (server == nullptr)
    throw CliError(kExitEnvironment, "cannot start a private X server: " + error);
  return server;
}

std::string WindowText(unsigned long window) {
  if (window == 0) return "none";
  char text[24];
  std::snprintf(text, sizeof text, "0x%lx", window);
  return text;
}

}  // namespace cli
