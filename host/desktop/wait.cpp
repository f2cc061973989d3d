#include "host/desktop/wait.h"

#include <thread>

#include "host/desktop/detail.h"

namespace hostkit {

bool WaitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
  const auto deadline = detail::Clock::now() + timeout;
  for (;;) {
    // The time is taken before the evaluation, so the last evaluation starts after the deadline.
    const auto now = detail::Clock::now();
    if (predicate()) return true;
    if (now >= deadline) return false;
    std::this_thread::sleep_for(detail::kPollInterval);
  }
}

}  // namespace hostkit
