// A flood through the control channel: one client sends 100 MB of scans as
// fast as its socket takes them, on one thread, and reads every reply on
// another, into a host that keeps no events. What the library holds for the
// client must stay bounded, whatever the client sends, so the host's peak
// resident memory (VmHWM) at the end of the flood is printed beside its value
// with the device open and the client connected (the floor), and the rate.
// Headless: the channel needs no X server.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "bench/support.h"
#include "host/kit/channel_client.h"

namespace {

using namespace std::chrono_literals;
using bench::Clock;
using bench::Fail;

constexpr std::size_t kFloodBytes = 100'000'000;
constexpr const char* kLine = "SCAN 4600000000001\n";
constexpr const char* kReply = "OK 13\n";
// The flood must end by then; a library that buffers without bound and
// compacts by moving it all may never catch up, and is reported so.
constexpr auto kDeadline = 120s;

long HighWaterKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  Fail("no VmHWM in /proc/self/status");
}

}  // namespace

int main() {
  unsetenv("DISPLAY");
  char pattern[] = "/tmp/wedgesim-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Fail("cannot make a runtime directory");
  const std::string runtime = pattern;
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

  bench::CountingConnection counting;
  bench::Host host(&counting);
  if (!host.OpenDevice()) Fail("Open failed");
  const auto endpoints = hostkit::EndpointPaths(runtime + "/wedgesim", getpid());
  if (endpoints.size() != 1) Fail("the device has no endpoint in " + runtime);
  hostkit::ChannelClient client(endpoints.front());
  if (!client.ok() || !client.ReadLine()) Fail("the channel did not greet");
  for (int i = 0; i < 1000; ++i)  // the library's and the client's buffers at their working size
    if (client.Ask("SCAN 4600000000001") != "OK 13") Fail("a warm-up scan was not acknowledged");

  // The peak from here on: what the flood adds to the open, connected device.
  if (!(std::ofstream("/proc/self/clear_refs") << "5")) Fail("cannot reset VmHWM");
  const long idle = HighWaterKiB();

  std::string block;
  while (block.size() < 64 * 1024) block += kLine;
  const std::size_t lineBytes = std::char_traits<char>::length(kLine);
  const std::size_t blocks = kFloodBytes / block.size() + 1;
  const std::size_t lines = blocks * (block.size() / lineBytes);
  const std::size_t replyLength = std::char_traits<char>::length(kReply);
  const std::size_t replyBytes = lines * replyLength;
  const int fd = client.fd();
  const Clock::time_point start = Clock::now();
  std::thread writer([&] {
    for (std::size_t i = 0; i < blocks; ++i)
      for (std::size_t sent = 0; sent < block.size();) {
        const ssize_t n = send(fd, block.data() + sent, block.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;  // the reader gave up
        sent += static_cast<std::size_t>(n);
      }
  });
  std::size_t received = 0;
  std::string tail;
  bool wrong = false;
  char chunk[64 * 1024];
  for (const Clock::time_point limit = start + kDeadline; received < replyBytes;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - Clock::now());
    pollfd wait{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) != 1) break;
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    // Every reply is "OK 13": anything else is a failed scan.
    for (ssize_t i = 0; i < n; ++i)
      wrong |= chunk[i] != kReply[(received + static_cast<std::size_t>(i)) % replyLength];
    received += static_cast<std::size_t>(n);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const long peak = HighWaterKiB();
  shutdown(fd, SHUT_RDWR);  // a writer still blocked in send() returns
  writer.join();
  if (!host.CloseDevice()) Fail("Close failed");
  std::filesystem::remove_all(runtime);

  const double megabytes = static_cast<double>(blocks * block.size()) / 1e6;
  std::printf("channel flood: one client sends %.0f MB of scans and reads the replies\n",
              megabytes);
  if (received == replyBytes && !wrong) {
    std::printf("  done in %.1f s: %.0f scans/s, %.1f MB/s\n", seconds,
                static_cast<double>(lines) / seconds, megabytes / seconds);
  } else {
    std::printf("  NOT DONE after %.0f s: %zu of %zu replies%s\n", seconds, received / replyLength,
                lines, wrong ? ", some not OK" : "");
  }
  std::printf(
      "  host VmHWM: idle %ld KiB (device open, client connected), peak %ld KiB, "
      "+%ld KiB\n",
      idle, peak, peak - idle);
  return received == replyBytes && !wrong ? 0 : 1;
}
