#include "host/kit/wait.h"

#include <thread>

namespace hostkit {

bool WaitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    // The time is taken before the evaluation, so the last evaluation starts after the deadline.
    const auto now = std::chrono::steady_clock::now();
    if (predicate()) return true;
    if (now >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

}  // namespace hostkit
