// Waiting for what another process does (a server, a window manager, the
// add-in's threads): always with a deadline, never a bare sleep.
#pragma once

#include <chrono>
#include <functional>

namespace hostkit {

// How often a wait looks again.
inline constexpr std::chrono::milliseconds kPollInterval{2};

// Evaluates predicate every ~2 ms until it is true or the timeout has passed;
// returns the last result. The predicate is evaluated at least once, and once
// more after the deadline.
bool WaitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout);

}  // namespace hostkit
