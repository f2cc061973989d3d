// The load-time host window search with many other clients' windows listed
// before the host's: round trips and wall time of FindHostWindow, and the
// dlopen time of the real library (whose load runs that search).
//
//   bench_window_search N...     for each N, a fresh private desktop with N
//                                windows of another pid, then the
//                                measurements; one row per N
//   bench_window_search --load   child: its own host window, then one timed
//                                dlopen; prints the microseconds
//
// The other windows are made on one Xlib connection rather than one
// HostTopLevelWindow each: every HostTopLevelWindow is a client connection
// of its own, and the server accepts only a few hundred clients.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/support.h"
#include "delivery/host_window.h"
#include "host/desktop/display.h"
#include "host/kit/wait.h"
#include "x11/connection.h"

// Last: Xlib's macros (None, Bool, Status) would clash with names above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using namespace wedgesim;

using namespace std::chrono_literals;
using bench::Clock;
using bench::Fail;

constexpr long kOtherPid = 99999999;  // above any pid_max: never one of ours
constexpr int kSearchRepeats = 50;
constexpr int kLoads = 7;  // child processes, one dlopen each
constexpr auto kListingTimeout = 300s;

// N small normal windows claiming kOtherPid, mapped on one connection.
class OtherWindows {
 public:
  OtherWindows(const std::string& display, int count) : connection_(hostkit::OpenDisplay(display)) {
    if (connection_ == nullptr) Fail("cannot open a connection for the other windows");
    Display* dpy = connection_.get();
    const Window root = DefaultRootWindow(dpy);
    const Atom pid = XInternAtom(dpy, "_NET_WM_PID", False);
    const Atom type = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False);
    const long normal = static_cast<long>(XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_NORMAL", False));
    for (int i = 0; i < count; ++i) {
      // A user-chosen position spares the window manager its placement search.
      const int x = (i % 50) * 24, y = (i / 50) * 24 % 1000;
      const Window window = XCreateSimpleWindow(dpy, root, x, y, 16, 16, 0, 0, 0);
      XSizeHints size{};
      size.flags = USPosition | USSize;
      size.x = x, size.y = y, size.width = size.height = 16;
      XSetWMNormalHints(dpy, window, &size);
      XChangeProperty(dpy, window, pid, XA_CARDINAL, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&kOtherPid), 1);
      XChangeProperty(dpy, window, type, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&normal), 1);
      XMapWindow(dpy, window);
      last_ = window;
    }
    XSync(dpy, False);
  }
  std::vector<unsigned long> ClientList() const {
    Display* display = connection_.get();
    return hostkit::ReadListProperty(display, DefaultRootWindow(display), "_NET_CLIENT_LIST");
  }

  // Waits until the last window is listed; false after kListingTimeout.
  bool WaitListed() const {
    return hostkit::WaitUntil(
        [&] {
          const auto clients = ClientList();
          return last_ == 0 || (!clients.empty() && clients.back() == last_);
        },
        std::chrono::duration_cast<std::chrono::milliseconds>(kListingTimeout));
  }

 private:
  hostkit::UniqueDisplay connection_;
  Window last_ = 0;
};

// Child: the host window of this process, then the library loaded once.
int LoadOnce() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr) Fail("--load needs DISPLAY");
  auto window = bench::MakeHostWindow(display, false);
  const Clock::time_point start = Clock::now();
  hostkit::LoadedLibrary library(bench::LibraryPath());
  const double micros = bench::Micros(Clock::now() - start);
  if (!library.ok()) Fail("cannot load the library: " + library.error());
  // The load searched the same list: check the window was there to be found.
  x11::Connection connection;
  if (FindHostWindow(connection, static_cast<std::uint32_t>(getpid())) != window->id())
    Fail("the child's host window is not found by the search");
  std::printf("%.1f\n", micros);
  return 0;
}

// Runs this program with --load and returns the microseconds it printed.
double TimedLoadInChild() {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) Fail("cannot find this program's path");
  self[length] = '\0';
  FILE* child = popen(("'" + std::string(self) + "' --load").c_str(), "r");
  if (child == nullptr) Fail("cannot start a loading child");
  double micros = -1;
  const bool read = std::fscanf(child, "%lf", &micros) == 1;
  if (pclose(child) != 0 || !read) Fail("the loading child failed");
  return micros;
}

// One row: a fresh desktop with `count` other windows listed before the host's.
void Measure(int count) {
  auto server = bench::StartDesktop();
  const Clock::time_point listingStart = Clock::now();
  OtherWindows others(server->display(), count);
  if (!others.WaitListed())
    Fail("the window manager listed only " + std::to_string(others.ClientList().size()) + " of " +
         std::to_string(count) + " windows in " + std::to_string(kListingTimeout.count()) + " s");
  const double listingSeconds = bench::Micros(Clock::now() - listingStart) / 1e6;

  x11::Connection connection;
  if (!connection.ok()) Fail("no X connection for the search");
  std::vector<double> searches;
  unsigned long roundTrips = 0;
  {
    auto window = bench::MakeHostWindow(server->display(), false);
    const auto self = static_cast<std::uint32_t>(getpid());
    for (int i = 0; i < kSearchRepeats; ++i) {
      const unsigned long tripsBefore = x11::RoundTrips.load();
      const Clock::time_point start = Clock::now();
      const std::uint32_t found = FindHostWindow(connection, self);
      searches.push_back(bench::Micros(Clock::now() - start));
      roundTrips = x11::RoundTrips.load() - tripsBefore;
      if (found != window->id()) Fail("FindHostWindow did not find the host window");
    }
  }
  // Once our window is unlisted, each child's window is listed after exactly N others.
  if (!hostkit::WaitUntil(
          [&] { return others.ClientList().size() == static_cast<std::size_t>(count); }, 5000ms))
    Fail("the host window stayed listed after it was destroyed");

  std::vector<double> loads;
  for (int i = 0; i < kLoads; ++i) loads.push_back(TimedLoadInChild());

  const bench::Summary search = bench::Summarize(searches), load = bench::Summarize(loads);
  std::printf("  %7d %9.1f %12lu %13.1f %10.1f %13.1f %10.1f\n", count, listingSeconds, roundTrips,
              search.median, search.p99, load.median, load.max);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--load") return LoadOnce();
  if (argc < 2) Fail("usage: bench_window_search N... | --load");
  std::printf(
      "host window search, %d searches and %d loads (child processes) per row, "
      "microseconds\n",
      kSearchRepeats, kLoads);
  std::printf("  %7s %9s %12s %13s %10s %13s %10s\n", "windows", "listed s", "round trips",
              "search median", "search p99", "dlopen median", "dlopen max");
  for (int i = 1; i < argc; ++i) {
    const int count = std::atoi(argv[i]);
    if (count < 0) Fail("a window count must not be negative");
    Measure(count);
  }
  return 0;
}
