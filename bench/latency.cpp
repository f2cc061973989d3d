// Hotkey latency, Open/Close cost, idle wake-ups of the device thread and the
// control channel's scans, measured on a private X desktop through the real
// library loaded with dlopen.
//
//   press -> event  the instant just before KeyInjector::Tap (whose XTest
//                   requests stay in Xlib's buffer until Tap's closing XSync
//                   sends them) to the `received` stamp the host's
//                   SendExternalEvent puts on the event.
//   X round trip    one XSync on a separate Xlib connection, taken after each
//                   press's event arrived, so both rows share the same run.
//   Open, Close     one call each, Close also in X round trips (its median
//                   over the round trip's).
//   hand-over       a host that reopens the device from inside its event
//                   handler: from the handler's return until hotkey 2
//                   answers again. Presses follow each other kHandOverStep
//                   apart, which bounds the resolution.
//   channel scan    one client sends kScans barcodes, one at a time: from the
//                   write of a line to the read of its reply, which the
//                   library sends once the host's SendExternalEvent has
//                   returned; and scans a second over the whole run.
//   socket echo     the floor of a channel scan: the same client and lines,
//                   answered at once by a thread that polls, reads and
//                   writes a Unix socket as the device thread does.
#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench/support.h"
#include "host/desktop/display.h"
#include "host/desktop/keys.h"
#include "host/kit/channel_client.h"
#include "host/kit/default_hotkeys.h"

// Last: Xlib's macros (None, Bool, Status) would clash with names above.
#include <X11/Xlib.h>

namespace {

using namespace std::chrono_literals;
using bench::Clock;
using bench::Fail;

constexpr int kPresses = 200;
constexpr int kOpenCloseCycles = 50;
constexpr int kHandOvers = 20;
constexpr int kScans = 10000;
constexpr auto kHandOverStep = 2ms;
constexpr const char* kCode2 = "4600000000002";
// The profile stays empty, so the default hotkeys apply.
constexpr hostkit::Chord kHotkey1 = hostkit::kDefaultHotkey1, kHotkey2 = hostkit::kDefaultHotkey2;
constexpr auto kIdle = 2s;

std::set<int> Threads() {
  std::set<int> ids;
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) Fail("cannot list /proc/self/task");
  while (dirent* entry = readdir(tasks))
    if (entry->d_name[0] != '.') ids.insert(std::stoi(entry->d_name));
  closedir(tasks);
  return ids;
}

// voluntary_ctxt_switches + nonvoluntary_ctxt_switches of one of our threads.
long ContextSwitches(int tid) {
  std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
  if (!status) Fail("thread " + std::to_string(tid) + " is gone");
  long total = 0;
  bool seen = false;
  for (std::string line; std::getline(status, line);) {
    if (line.find("ctxt_switches:") == std::string::npos) continue;
    total += std::stol(line.substr(line.find(':') + 1));
    seen = true;
  }
  if (!seen) Fail("no context switch counts for thread " + std::to_string(tid));
  return total;
}

// The socket echo: kScans round trips of the channel client with a thread
// that answers every line "OK 13" at once; their rate through *perSecond.
std::vector<double> EchoRoundTrips(double* perSecond) {
  char pattern[] = "/tmp/wedgesim-echo-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Fail("cannot make the echo's directory");
  const std::string path = std::string(pattern) + "/echo.sock";
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (listener < 0 ||
      bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0)
    Fail("cannot listen for the echo");
  std::thread echo([listener] {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    char chunk[4096];
    for (pollfd wait{fd, POLLIN, 0}; fd >= 0 && poll(&wait, 1, -1) == 1;) {
      const ssize_t got = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
      if (got <= 0) break;
      for (ssize_t i = 0; i < got; ++i)
        if (chunk[i] == '\n' && send(fd, "OK 13\n", 6, MSG_NOSIGNAL | MSG_DONTWAIT) != 6)
          Fail("the echo could not answer");
    }
    close(fd);
  });
  std::vector<double> trips;
  trips.reserve(kScans);
  {
    hostkit::ChannelClient client(path);
    if (!client.ok()) Fail("cannot connect to the echo");
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kScans; ++i) {
      const Clock::time_point sent = Clock::now();
      if (client.Ask("SCAN 46000000" + std::to_string(10000 + i)) != "OK 13")
        Fail("the echo did not answer");
      trips.push_back(bench::Micros(Clock::now() - sent));
    }
    *perSecond = kScans / std::chrono::duration<double>(Clock::now() - start).count();
  }  // the client closes: the echo ends
  echo.join();
  close(listener);
  std::filesystem::remove_all(pattern);
  return trips;
}

void PrintRow(const char* what, const bench::Summary& s) {
  std::printf("  %-28s %6zu %9.1f %9.1f %9.1f %9.1f\n", what, s.count, s.min, s.median, s.p99,
              s.max);
}

}  // namespace

int main() {
  auto server = bench::StartDesktop();
  auto window = bench::MakeHostWindow(server->display(), true);
  hostkit::KeyInjector keys(server->display());
  if (!keys.ok()) Fail("cannot open the key injector's connection");
  const hostkit::UniqueDisplay probe = hostkit::OpenDisplay(server->display());
  if (probe == nullptr) Fail("cannot open the round-trip probe connection");

  bench::Host host;
  hostkit::HostConnection& connection = host.connection;
  if (!host.SetText("TestCode", "4600000000001")) Fail("SetParameter TestCode failed");
  if (!host.OpenDevice()) Fail("Open failed");

  // 1. Press to event, one press at a time.
  std::vector<double> latency, roundTrip;
  for (int i = 0; i < kPresses; ++i) {
    const Clock::time_point pressed = Clock::now();
    keys.Tap(kHotkey1.keycode, kHotkey1.modifiers);
    if (!connection.WaitForEvents(static_cast<std::size_t>(i) + 1, 5s))
      Fail("no event for press " + std::to_string(i + 1));
    latency.push_back(bench::Micros(connection.events().back().received - pressed));
    const Clock::time_point before = Clock::now();
    XSync(probe.get(), False);
    roundTrip.push_back(bench::Micros(Clock::now() - before));
  }

  // 2. Open and Close of a running pair (Open replaces nothing: each follows a Close).
  std::vector<double> opens, closes;
  for (int i = 0; i < kOpenCloseCycles; ++i) {
    Clock::time_point start = Clock::now();
    if (!host.CloseDevice()) Fail("Close failed");
    closes.push_back(bench::Micros(Clock::now() - start));
    start = Clock::now();
    if (!host.OpenDevice()) Fail("Open failed");
    opens.push_back(bench::Micros(Clock::now() - start));
  }

  // 3. Wake-ups of idle listeners: the threads Open adds, counted over kIdle.
  if (!host.CloseDevice()) Fail("Close failed");
  const std::set<int> before = Threads();
  if (!host.OpenDevice()) Fail("Open failed");
  std::vector<int> listeners;
  for (int tid : Threads())
    if (!before.count(tid)) listeners.push_back(tid);
  if (listeners.empty()) Fail("Open started no device thread");
  std::this_thread::sleep_for(100ms);  // each listener reaches its blocking poll()
  std::vector<long> first;
  for (int tid : listeners) first.push_back(ContextSwitches(tid));
  std::this_thread::sleep_for(kIdle);
  std::vector<double> wakeups;
  for (std::size_t i = 0; i < listeners.size(); ++i)
    wakeups.push_back(static_cast<double>(ContextSwitches(listeners[i]) - first[i]) /
                      std::chrono::duration<double>(kIdle).count());
  // 4. Hand-over of hotkey 2 after a reopen from inside the event handler.
  if (!host.SetText("TestCode2", kCode2)) Fail("SetParameter TestCode2 failed");
  if (!host.OpenDevice()) Fail("Open failed");
  std::atomic<bool> reopen{false};
  std::atomic<Clock::rep> handlerReturned{0};
  connection.OnEvent([&](const hostkit::ExternalEvent&) {
    if (!reopen.exchange(false)) return;
    if (!host.OpenDevice()) Fail("Open from the event handler failed");
    handlerReturned = Clock::now().time_since_epoch().count();
  });
  std::vector<double> handOvers;
  for (int i = 0; i < kHandOvers; ++i) {
    handlerReturned = 0;
    reopen = true;
    std::size_t seen = connection.eventCount();
    keys.Tap(kHotkey2.keycode, kHotkey2.modifiers);
    if (!connection.WaitForEvents(seen + 1, 5s)) Fail("no event before the reopen");
    // Spun rather than polled: the first press should follow the return at once.
    for (const Clock::time_point limit = Clock::now() + 5s; handlerReturned.load() == 0;) {
      if (Clock::now() > limit) Fail("the event handler did not return from Open");
      std::this_thread::yield();
    }
    const Clock::time_point returned{Clock::duration(handlerReturned.load())};
    for (const Clock::time_point deadline = Clock::now() + 5s;;) {
      if (Clock::now() > deadline) Fail("hotkey 2 was not grabbed again after the reopen");
      seen = connection.eventCount();
      const Clock::time_point pressed = Clock::now();
      keys.Tap(kHotkey2.keycode, kHotkey2.modifiers);
      connection.WaitForEvents(seen + 2, kHandOverStep);
      const std::vector<hostkit::ExternalEvent> events = connection.events();
      if (events.size() == seen + 1 && events.back().dataUtf8() == kCode2) {
        handOvers.push_back(bench::Micros(pressed - returned));
        break;
      }
    }
  }
  connection.OnEvent(nullptr);

  // 5. Scans through the control channel, one client, one line at a time.
  std::string endpoint;
  for (const auto& found : hostkit::FindEndpoints())
    if (found.pid == static_cast<long>(getpid()) && found.live()) endpoint = found.path;
  std::vector<double> scans;
  scans.reserve(kScans);
  hostkit::ChannelClient channel(endpoint);  // a library without a channel: no scans
  if (!endpoint.empty() && !channel.ReadLine()) Fail("the channel did not greet");
  const Clock::time_point scanning = Clock::now();
  for (int i = 0; i < kScans && !endpoint.empty(); ++i) {
    const Clock::time_point sent = Clock::now();
    const auto reply = channel.Ask("SCAN 46000000" + std::to_string(10000 + i));
    if (!reply || *reply != "OK 13") Fail("scan " + std::to_string(i) + " was not acknowledged");
    scans.push_back(bench::Micros(Clock::now() - sent));
  }
  const double scanSeconds = std::chrono::duration<double>(Clock::now() - scanning).count();
  if (!host.CloseDevice()) Fail("Close failed");
  double echoesPerSecond = 0;
  const std::vector<double> echoes = EchoRoundTrips(&echoesPerSecond);

  std::printf("latency and lifecycle (private display %s), microseconds\n",
              server->display().c_str());
  std::printf("  %-28s %6s %9s %9s %9s %9s\n", "", "count", "min", "median", "p99", "max");
  PrintRow("press -> event (hotkey 1)", bench::Summarize(latency));
  PrintRow("X round trip (XSync, Xlib)", bench::Summarize(roundTrip));
  PrintRow("Open", bench::Summarize(opens));
  PrintRow("Close", bench::Summarize(closes));
  PrintRow("hand-over after reopen", bench::Summarize(handOvers));
  if (!scans.empty()) PrintRow("channel scan, write -> reply", bench::Summarize(scans));
  PrintRow("socket echo (its floor)", bench::Summarize(echoes));
  const double trip = bench::Summarize(roundTrip).median;
  std::printf("Close takes %.1f X round trips (medians)", bench::Summarize(closes).median / trip);
  if (!scans.empty())
    std::printf("; the channel served %.0f scans/s", static_cast<double>(kScans) / scanSeconds);
  std::printf(" (socket echo: %.0f/s)", echoesPerSecond);
  std::printf("\n");
  std::printf("idle wake-ups of the %zu device threads over %.0f s (context switches/s):",
              listeners.size(), std::chrono::duration<double>(kIdle).count());
  for (std::size_t i = 0; i < listeners.size(); ++i)
    std::printf("%s tid %d %.1f", i == 0 ? "" : ",", listeners[i], wakeups[i]);
  std::printf("\n");
  return 0;
}
