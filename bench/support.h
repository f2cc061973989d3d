// What the benchmark programs share: failing loudly, a private desktop,
// the library loaded and driven the way the platform does it, and sample
// statistics.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "abi/host_abi.h"
#include "host/driver.h"
#include "host/library.h"
#include "host/memory.h"
#include "host/xenv.h"

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

// The library under test loaded with dlopen, one component made, given
// `connection` and a memory manager.
class Host {
 public:
  explicit Host(IAddInDefBase* connection);
  ~Host();

  bool SetText(const std::string& name, const std::string& value);
  bool Open();
  bool Close();
  // GenerateExternalEvent with a text prepared by PrepareEvent.
  void PrepareEvent(const std::string& text);
  bool GenerateEvent();

 private:
  hostkit::HostMemory memory_;
  std::unique_ptr<hostkit::LoadedLibrary> library_;
  std::unique_ptr<hostkit::Component> component_;
  std::u16string eventText_;
  long generate_ = -1;  // looked up once: the micro benchmark times the call alone
};

// The library this build made.
inline std::string LibraryPath() { return WEDGESIM_LIBRARY_PATH; }

}  // namespace bench
