#include "host/cli/desktop.h"

#include <cstdio>
#include <cstdlib>

#include "host/cli/errors.h"
#include "host/desktop/display.h"

namespace cli {

std::optional<std::string> CurrentDisplay() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return std::nullopt;
  return std::string(display);
}

bool DisplayOpens(const std::string& display) { return hostkit::OpenDisplay(display) != nullptr; }

std::string CannotOpen(const std::string& display) {
  return "cannot open the X display " + display + " (no X server accepts a connection there)";
}

std::string RequireDisplay(const std::string& command) {
  const std::string need = command +
                           " needs one with an EWMH window manager (try `wedgesim demo`, which "
                           "starts a private one)";
  const auto display = CurrentDisplay();
  if (!display) throw CliError(kExitEnvironment, "no X display: DISPLAY is not set, and " + need);
  // Found out here, once: past this point a dead display would only show as
  // the add-in refusing a call or a window that never appears.
  if (!DisplayOpens(*display))
    throw CliError(kExitEnvironment, CannotOpen(*display) + ", and " + need);
  return *display;
}

std::unique_ptr<hostkit::HostTopLevelWindow> TryShowHostWindow(const std::string& display,
                                                               std::string* reason) {
  std::string error;
  auto window = hostkit::HostTopLevelWindow::Create(display, {}, &error);
  if (window == nullptr) {
    *reason = DisplayOpens(display) ? "cannot create the host window on " + display + ": " + error
                                    : CannotOpen(display);
    return nullptr;
  }
  if (!window->WaitListed(std::chrono::seconds(10))) {
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

std::unique_ptr<hostkit::PrivateXServer> StartPrivateServer() {
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
