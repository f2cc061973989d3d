// Clients of the control channel that do more than ask and read: ones that
// end their input, quit or go with lines still queued, one that never reads
// its replies, and one that arrives when the host has no descriptor left.
// Every whole line that arrived is served and answered as far as the client
// reads, what the library holds for a client stays bounded, and the device
// thread waits instead of spinning.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "host/kit/channel_client.h"
#include "host/kit/counting_connection.h"
#include "host/kit/wait.h"
#include "tests/contract/channel_fixture.h"

namespace {

using namespace std::chrono_literals;
using namespace channeltest;
using hostkit::ChannelClient;

// The CPU time of the whole process over `wall`: a device thread that spins
// takes about all of it, one that waits next to none. Spin detection, with a
// wide margin, not a speed test.
double CpuSecondsOver(std::chrono::milliseconds wall) {
  auto now = [] {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
  };
  const double start = now();
  std::this_thread::sleep_for(wall);
  return now() - start;
}
constexpr double kSpinningSeconds = 0.3;  // of one second

// The process's peak resident memory, in KiB, since the last ResetPeak.
long PeakKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}
bool ResetPeak() { return static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5"); }

using hostkit::CountingConnection;  // the host keeps nothing: its memory is the library's

// Whatever ends the session (end of input, QUIT, a client gone without
// reading, Close), every whole line that arrived before it is served in
// order and answered as far as the client reads; nothing after QUIT and no
// unfinished line is posted, and at Close what was not posted is answered
// "ERR closed", read before Close or not.
TEST_F(Channel, EveryWholeLineIsServedAndAnsweredBeforeTheClientIsLetGo) {
  OpenWithEndpoint();
  std::string scans;
  for (int i = 0; i < 200; ++i) scans += "SCAN " + std::to_string(i) + "\n";
  struct Ending {
    const char* what;
    std::string after;  // sent after the 200 scans, before the end of input
  };
  const Ending endings[] = {
      {"end of input", ""},
      {"QUIT, then lines never served", "QUIT\nSCAN late\nSCAN later\n"},
  };
  std::size_t posted = 0;
  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.what);
    {
      ChannelClient client(endpoint);
      ASSERT_TRUE(client.ReadLine());
      ASSERT_TRUE(client.Send(scans + ending.after));
      ASSERT_EQ(shutdown(client.fd(), SHUT_WR), 0);
      for (int i = 0; i < 200; ++i)
        ASSERT_EQ(client.ReadLine(), "OK " + std::to_string(std::to_string(i).size())) << i;
      EXPECT_TRUE(!client.ReadLine() && client.closed()) << "let go at the end";
    }
    ASSERT_TRUE(host->connection.WaitForEvents(posted + 200, 5s));
    const auto data = Data();
    for (int i = 0; i < 200; ++i)
      EXPECT_EQ(data[posted + static_cast<std::size_t>(i)], hostkit::Host(std::to_string(i)));
    posted += 200;
  }

  // A client that hangs up entirely while the host holds its first scan gave
  // up on the others (a runner that timed out): they are never posted.
  std::atomic<bool> holdFirst{true}, holding{false}, release{false};
  host->connection.OnEvent([&](const hostkit::ExternalEvent&) {
    if (!holdFirst.exchange(false)) return;
    holding = true;
    while (!release) std::this_thread::sleep_for(1ms);
  });
  {
    ChannelClient client(endpoint);
    ASSERT_TRUE(client.ReadLine());
    ASSERT_TRUE(client.Send(scans + "SCAN unfinished"));
    ASSERT_TRUE(hostkit::WaitUntil([&] { return holding.load(); }, 5s));
  }
  std::this_thread::sleep_for(50ms);  // the host holds the post a while after the hang-up
  release = true;
  ASSERT_TRUE(host->connection.WaitForEvents(posted + 1, 5s));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(host->connection.eventCount(), posted + 1) << "nothing after the hang-up";
  posted += 1;

  // Close while the host holds the first of 2,000 lines: more than one read
  // of the library's, so some are still in the socket.
  std::atomic<bool> holdNext{true}, held{false};
  host->connection.OnEvent([&](const hostkit::ExternalEvent&) {
    if (!holdNext.exchange(false)) return;
    held = true;
    std::this_thread::sleep_for(100ms);
  });
  ChannelClient client(endpoint);
  ASSERT_TRUE(client.ReadLine());
  std::string many;
  for (int i = 0; i < 2000; ++i) many += "SCAN x\n";
  ASSERT_TRUE(client.Send(many));
  ASSERT_EQ(shutdown(client.fd(), SHUT_WR), 0);
  ASSERT_TRUE(hostkit::WaitUntil([&] { return held.load(); }, 5s));
  ASSERT_TRUE(host->CloseDevice());
  EXPECT_EQ(client.ReadLine(), "OK 1");
  for (int i = 1; i < 2000; ++i) {
    const auto reply = client.ReadLine();
    ASSERT_TRUE(reply && reply->rfind("ERR closed ", 0) == 0)
        << i << ": " << reply.value_or("none");
  }
  EXPECT_TRUE(!client.ReadLine() && client.closed()) << "let go after the last reply";
  EXPECT_EQ(host->connection.eventCount(), posted + 1);
}

// QUIT read while replies wait unsent (the client reads none and its socket
// is full) and more lines follow it: the device thread waits for the client
// to read; it answers what came before QUIT, serves nothing after it, then
// lets the client go.
TEST_F(Channel, AClientThatQuitsWithRepliesUnreadAndLinesBehindIsNotSpunOn) {
  OpenWithEndpoint();
  ChannelClient client(endpoint);
  ASSERT_TRUE(client.ReadLine());
  auto unread = [&] {
    int bytes = 0;
    return ioctl(client.fd(), FIONREAD, &bytes) == 0 ? bytes : -1;
  };
  // One line at a time, so each reply is a write of its own, until 50
  // replies in a row did not reach the client: its socket takes no more.
  std::size_t lines = 0;
  for (int last = -1; lines < 10000; ++lines) {
    if (lines % 50 == 0) {
      if (unread() == last) break;
      last = unread();
    }
    ASSERT_TRUE(client.Send("SCAN 1\n"));
    ASSERT_TRUE(host->connection.WaitForEvents(lines + 1, 5s));
  }
  ASSERT_LT(lines, 10000u) << "the client's socket never filled";
  ASSERT_TRUE(client.Send("QUIT\nSCAN 2\nSCAN 3\n"));
  const double cpu = CpuSecondsOver(1s);
  EXPECT_LT(cpu, kSpinningSeconds) << "the device thread spun";
  for (std::size_t i = 0; i < lines; ++i) ASSERT_EQ(client.ReadLine(), "OK 1") << i;
  EXPECT_TRUE(!client.ReadLine() && client.closed()) << "let go after the last reply";
  EXPECT_EQ(host->connection.eventCount(), lines);
}

// A connection that arrives while the host is at its descriptor limit stays
// queued: the device thread leaves it for a while instead of polling a
// listener that is ready again at once, says so once, and greets the client
// once descriptors are free.
TEST_F(Channel, AConnectionAtTheDescriptorLimitWaitsWithoutSpinning) {
  OpenWithEndpoint();
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, endpoint.c_str(), sizeof address.sun_path - 1);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int lowest = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(lowest, 0);
  close(lowest);
  rlimit full = saved;
  full.rlim_cur = static_cast<rlim_t>(lowest);  // no descriptor left for the accept
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &full), 0);
  const bool connected =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  const double cpu = connected ? CpuSecondsOver(1s) : 0;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  ASSERT_TRUE(connected) << std::strerror(errno);
  EXPECT_LT(cpu, kSpinningSeconds) << "the device thread spun";
  pollfd greeting{fd, POLLIN, 0};
  char line[64] = {};
  EXPECT_EQ(poll(&greeting, 1, 5000), 1);
  EXPECT_GT(recv(fd, line, sizeof line - 1, MSG_DONTWAIT), 0);
  EXPECT_EQ(std::string(line).rfind("WEDGESIM 1 ", 0), 0u) << line;
  close(fd);
  const std::string diagnostics = Log();
  const std::size_t said = diagnostics.find("channel: cannot accept a connection");
  EXPECT_NE(said, std::string::npos) << diagnostics;
  EXPECT_EQ(diagnostics.find("channel: cannot accept", said + 1), std::string::npos) << "once";
}

// A client that sends megabytes and never reads a reply: the library reads
// only what it can answer, and the host's memory barely moves.
TEST_F(Channel, AClientThatNeverReadsCannotGrowTheHostsMemory) {
  CountingConnection counting;
  hostkit::AddInSession quiet(testhost::LibraryPath(), {.connection = &counting});
  ASSERT_TRUE(quiet.ok()) << quiet.error();
  ASSERT_TRUE(quiet.OpenDevice());
  ASSERT_EQ(Endpoints().size(), 1u);
  ChannelClient client(Endpoints().front());
  ASSERT_TRUE(client.ReadLine());
  ASSERT_EQ(fcntl(client.fd(), F_SETFL, O_NONBLOCK), 0);
  std::string block;
  while (block.size() < 64 * 1024) block += "SCAN 4600000000001\n";
  constexpr std::size_t kFlood = std::size_t{32} << 20;
  ASSERT_TRUE(ResetPeak());
  const long idle = PeakKiB();
  // Until it is all sent, or the library has taken nothing for a second.
  std::size_t sent = 0;
  for (pollfd wait{client.fd(), POLLOUT, 0}; sent < kFlood && poll(&wait, 1, 1000) == 1;) {
    const std::size_t at = sent % block.size();
    const ssize_t written =
        send(client.fd(), block.data() + at, block.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (written < 0 && errno != EAGAIN) break;
    if (written > 0) sent += static_cast<std::size_t>(written);
  }
  const long grown = PeakKiB() - idle;
  EXPECT_LT(grown, 4 * 1024) << "KiB, after " << sent << " bytes sent";
  EXPECT_LT(sent, kFlood) << "the library read what it could not answer";
  EXPECT_GT(counting.events.load(), 0);
}

}  // namespace
