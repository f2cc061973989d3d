// What the benchmark programs share: failing loudly, a private desktop,
// the library loaded and driven the way the platform does it, and sample
// statistics.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "abi/host_abi.h"
#include "host/desktop/private_server.h"
#include "host/desktop/window.h"
#include "host/kit/counting_connection.h"
#include "host/kit/session.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// Prints "bench: <message>" to stderr and exits with status 1.
[[noreturn]] void Fail(const std::string& message);

// Microseconds between two instants, as a double.
inline double Micros(Clock::duration elapsed) {
  return std::chrono::duration<double, std::micro>(elapsed).count();
}

// Nearest-rank statistics: the p-quantile is the ceil(p * n)-th smallest sample.
struct Summary {
  std::size_t count = 0;
  double min = 0, median = 0, p99 = 0, max = 0;
};
Summary Summarize(std::vector<double> samples);

// A private Xvfb with openbox; DISPLAY now names it.
std::unique_ptr<hostkit::PrivateXServer> StartDesktop();

// This process's normal top-level window, listed by the window manager and,
// when asked, holding the focus. Made before the library is loaded: the
// library looks for it once, at load time.
std::unique_ptr<hostkit::HostTopLevelWindow> MakeHostWindow(const std::string& display,
                                                            bool activate);

using hostkit::CountingConnection;

// The library under test in a session of its own: loaded with dlopen, one
// component made and given `connection` (nullptr: the session's own) and a
// memory manager. Fails the program when any of that does not work.
class Host : public hostkit::AddInSession {
 public:
  explicit Host(IAddInDefBase* connection = nullptr);

  // GenerateExternalEvent with a text prepared by PrepareEvent.
  void PrepareEvent(const std::string& text);
  bool GenerateEvent();

 private:
  std::u16string eventText_;
  long generate_ = -1;  // looked up once: the micro benchmark times the call alone
};

// The library this build made, or WEDGESIM_TEST_LIBRARY (as the tests take it).
inline std::string LibraryPath() {
  const char* chosen = std::getenv("WEDGESIM_TEST_LIBRARY");
  return chosen != nullptr && *chosen != '\0' ? chosen : WEDGESIM_LIBRARY_PATH;
}

}  // namespace bench
