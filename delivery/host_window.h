// The host's own top-level window, found once at load time through the
// window manager's EWMH properties, and its activation.
#pragma once

#include <cstdint>
#include <string>

namespace wedgesim {

namespace x11 {
class Connection;
}

// Fixed at load time, read-only afterwards.
extern unsigned long CurrentProcessId;
extern std::uint32_t HostWindow;  // 0 when none was found
const std::u16string& CurrentPidText();

// getpid, the window search and the pid text. Called once by the load-time initialiser.
void InitializeHostWindow();

// The first window in _NET_CLIENT_LIST whose _NET_WM_PID is `pid` and whose
// first _NET_WM_WINDOW_TYPE atom is NORMAL; 0 when none (or no display).
std::uint32_t FindHostWindow(std::uint32_t pid);
std::uint32_t FindHostWindow(x11::Connection& display, std::uint32_t pid);

// Asks the window manager to activate `window`, raises it and waits for the
// server. Does nothing for window 0.
void ActivateWindow(x11::Connection& display, std::uint32_t window);

// The first half of GenerateExternalEventActivateWindow: false when no
// display can be opened; otherwise activates HostWindow, when there is one,
// and returns true once the server has handled the request.
bool ActivateHostWindow();

}  // namespace wedgesim
