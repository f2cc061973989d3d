// Pieces the desktop's own files share (host/desktop/*.cpp); not for its users.
#pragma once

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>

#include "host/desktop/display.h"
#include "host/kit/wait.h"

namespace hostkit::detail {

using Clock = std::chrono::steady_clock;

using hostkit::kPollInterval;  // how often waits for the server or the manager look again

inline void SetError(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
}

// Whether a window manager has announced itself on the display's root window.
bool WindowManagerReady(Display* display);

// Whether the window manager lists `window` in _NET_CLIENT_LIST.
bool Listed(Display* display, unsigned long window);

// The time left until `deadline`, never negative.
inline std::chrono::milliseconds Remaining(Clock::time_point deadline) {
  return std::max(std::chrono::milliseconds(0),
                  std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
}

}  // namespace hostkit::detail
