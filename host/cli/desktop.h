// The X desktop around the add-in: the display to use, the host's own
// top-level window (which must exist, listed by the window manager, before
// the library is loaded: the add-in looks for it once, at load time), and a
// private server for the demo when there is no display at all.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "host/desktop/private_server.h"
#include "host/desktop/window.h"

namespace cli {

// DISPLAY, or nothing when it is unset or empty.
std::optional<std::string> CurrentDisplay();

// Whether `display` can be opened now.
bool DisplayOpens(const std::string& display);

// "cannot open the X display NAME (...)": the one way every command says it.
std::string CannotOpen(const std::string& display);

// DISPLAY when it can be opened; otherwise CliError(kExitEnvironment) saying
// whether it is unset or cannot be opened, and that `command` needs one.
std::string RequireDisplay(const std::string& command);

// Creates and maps the host window on `display` and waits until the window
// manager lists it. Throws CliError(kExitEnvironment) when the display cannot
// be opened or no EWMH window manager lists the window.
std::unique_ptr<hostkit::HostTopLevelWindow> ShowHostWindow(const std::string& display);

// The same window, or nothing (with the reason in *reason) instead of an error:
// for commands that work without one.
std::unique_ptr<hostkit::HostTopLevelWindow> TryShowHostWindow(const std::string& display,
                                                               std::string* reason);

// Starts Xvfb with openbox for the demo. Throws CliError(kExitEnvironment)
// with the reason (naming the Debian package when a program is missing).
std::unique_ptr<hostkit::PrivateXServer> StartPrivateServer();

// "0x" and the window number in hex, or "none" for 0.
std::string WindowText(unsigned long window);

}  // namespace cli
