// The control channel through the loaded library, with no X display at all:
// a runner outside the application scans any barcode, exactly once, in
// order, and is answered once the host has the event.
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "host/kit/channel_client.h"
#include "host/kit/wait.h"
#include "tests/contract/channel_fixture.h"
#include "tests/support/forked_child.h"
#include "tests/support/test_host.h"

namespace {

using namespace std::chrono_literals;
using namespace testhost;
using namespace channeltest;
using hostkit::ChannelClient;

TEST_F(Channel, ScansAnyBarcodeExactlyOnceInOrderAndAnswersAfterTheHost) {
  EXPECT_TRUE(Endpoints().empty()) << "no endpoint while the device is closed";
  std::atomic<bool> inHost{false};
  host->connection.OnEvent([&](const hostkit::ExternalEvent&) {
    inHost = true;
    std::this_thread::sleep_for(20ms);
    inHost = false;
  });
  OpenWithEndpoint();
  EXPECT_EQ(Mode(runtime + "/wedgesim") & 0777, 0700u);
  EXPECT_TRUE(S_ISSOCK(Mode(endpoint)));
  EXPECT_EQ(Mode(endpoint) & 0777, 0600u);

  ChannelClient client(endpoint);
  ASSERT_TRUE(client.ok());
  // Who serves: the process, its program, its display and session (none here).
  EXPECT_EQ(client.ReadLine(), "WEDGESIM 1 pid=" + std::to_string(getpid()) +
                                   " device=open program=contract_tests display=- session=-");
  // A GS1 element string keeps its GS (0x1D); UTF-8 becomes UTF-16, beyond
  // U+FFFF as a surrogate pair; raw bytes are one character each.
  EXPECT_EQ(client.Ask("SCAN 0104600000000008\x1d"
                       "21ABC"),
            "OK 22");
  EXPECT_FALSE(inHost) << "the reply came before the host's call returned";
  EXPECT_EQ(client.Ask("SCAN Штрих \xF0\x9F\x98\x80"), "OK 8");
  EXPECT_EQ(client.Ask("SCAN64 0JA="), "OK 2");
  EXPECT_EQ(client.Ask("SCAN"), "OK 0");
  // Nothing is posted for a line that is not a scan.
  for (const char* bad : {"HELLO", "scan 1", "SCAN \xFF", "SCAN \xC0\xAF", "SCAN64 not base64!!",
                          "SCAN64 NDYw MA==", "SCAN64 AA=="}) {
    const auto reply = client.Ask(bad);
    ASSERT_TRUE(reply) << bad;
    EXPECT_EQ(reply->rfind("ERR ", 0), 0u) << bad << " -> " << *reply;
  }
  std::string many;
  for (int i = 0; i < 50; ++i) many += "SCAN " + std::to_string(i) + "\r\n";
  ASSERT_TRUE(client.Send(many));
  for (int i = 0; i < 50; ++i) EXPECT_EQ(client.ReadLine(), "OK " + std::to_string(i < 10 ? 1 : 2));
  EXPECT_TRUE(client.Send("QUIT\n"));
  EXPECT_FALSE(client.ReadLine());
  EXPECT_TRUE(client.closed());

  const auto data = Data();
  ASSERT_EQ(data.size(), 54u);
  EXPECT_EQ(data[0],
            u"0104600000000008\x1d"
            u"21ABC");
  EXPECT_EQ(data[1], u"Штрих \U0001F600");
  EXPECT_EQ(data[2], (std::u16string{0xD0, 0x90}));
  EXPECT_EQ(data[3], u"");
  for (int i = 0; i < 50; ++i) EXPECT_EQ(data[4 + i], Host(std::to_string(i)));
  for (const auto& event : host->connection.events()) {
    EXPECT_EQ(event.source, "ZovedavUzuruvOriv");
    EXPECT_EQ(event.name, "Штрихкод");
  }
  EXPECT_NE(Log().find("scan posted: channel, 22 characters"), std::string::npos) << Log();
  ASSERT_TRUE(host->CloseDevice());
  EXPECT_FALSE(Exists(endpoint)) << "gone after Close";
  EXPECT_TRUE(Endpoints().empty());
}

// A client that sends nothing, one that stops mid-line, and one that sends a
// line of 100 MB cost the others nothing; none of them posts anything, and
// Close does not wait for them.
TEST_F(Channel, QuietSlowAndOversizedClientsCostTheOthersNothing) {
  OpenWithEndpoint();
  ChannelClient quiet(endpoint), slow(endpoint), huge(endpoint), other(endpoint);
  for (ChannelClient* client : {&quiet, &slow, &huge, &other}) ASSERT_TRUE(client->ReadLine());
  ASSERT_TRUE(slow.Send("SCAN 12"));
  std::thread flood([&] {
    const std::string block(1 << 20, 'x');
    EXPECT_TRUE(huge.Send("SCAN "));
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(huge.Send(block));
    EXPECT_TRUE(huge.Send("\nSCAN after\n"));
  });
  EXPECT_EQ(other.Ask("SCAN meanwhile"), "OK 9");
  flood.join();
  EXPECT_EQ(huge.ReadLine(10s).value_or("").rfind("ERR too-long", 0), 0u);
  EXPECT_EQ(huge.ReadLine(), "OK 5");
  {
    ChannelClient gone(endpoint);
    ASSERT_TRUE(gone.ReadLine());
    ASSERT_TRUE(gone.Send("SCAN never"));  // disconnects before the line ends
  }
  EXPECT_EQ(other.Ask("SCAN last"), "OK 4");
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(host->CloseDevice());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_FALSE(slow.ReadLine(1s)) << "a line never finished is never answered";
  EXPECT_TRUE(slow.closed());
  EXPECT_EQ(Data(), (std::vector<std::u16string>{u"meanwhile", u"after", u"last"}));
}

// Close while a scan is inside a slow host: the scan was posted and is
// answered; one still waiting is not posted, then or later.
TEST_F(Channel, CloseDuringASlowHostCallPostsNothingAfterIt) {
  std::atomic<int> entered{0};
  host->connection.OnEvent([&](const hostkit::ExternalEvent&) {
    ++entered;
    std::this_thread::sleep_for(300ms);
  });
  OpenWithEndpoint();
  ChannelClient client(endpoint);
  ASSERT_TRUE(client.ReadLine());
  ASSERT_TRUE(client.Send("SCAN first\nSCAN second\n"));
  ASSERT_TRUE(hostkit::WaitUntil([&] { return entered > 0; }, 5s));
  ASSERT_TRUE(host->CloseDevice());
  EXPECT_EQ(client.ReadLine(), "OK 5");
  const auto second = client.ReadLine();
  EXPECT_TRUE(!second || second->rfind("ERR closed", 0) == 0) << *second;
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(Data(), (std::vector<std::u16string>{u"first"}));
}

TEST_F(Channel, TheEndpointComesWithOpenAndGoesWithCloseDestructionOrExit) {
  // Turned off: no endpoint, and the log says so.
  setenv("WEDGESIM_CHANNEL", "0", 1);
  ASSERT_TRUE(host->OpenDevice());
  EXPECT_TRUE(Endpoints().empty());
  EXPECT_NE(Log().find("channel: off (WEDGESIM_CHANNEL=0)"), std::string::npos);
  unsetenv("WEDGESIM_CHANNEL");
  // Files of this pid that it did not make (a dead process's, or another
  // copy's) are left alone: the endpoint takes a name of its own, and
  // opening twice keeps one endpoint.
  ASSERT_TRUE(host->CloseDevice());
  ASSERT_EQ(mkdir((runtime + "/wedgesim").c_str(), 0700), 0);
  const std::string pid = std::to_string(getpid());
  const std::vector<std::string> stale = {runtime + "/wedgesim/" + pid + "-0123abcd.sock",
                                          runtime + "/wedgesim/" + pid + ".sock"};
  for (const std::string& path : stale) std::ofstream(path) << "stale";
  ASSERT_TRUE(host->OpenDevice());
  ASSERT_TRUE(host->OpenDevice());
  std::vector<std::string> found = Endpoints();
  ASSERT_EQ(found.size(), 3u);
  std::erase_if(found, [](const std::string& path) { return !S_ISSOCK(Mode(path)); });
  ASSERT_EQ(found.size(), 1u);
  endpoint = found.front();
  {
    ChannelClient client(endpoint);
    ASSERT_TRUE(client.ReadLine());
    EXPECT_EQ(client.Ask("SCAN 1"), "OK 1");
  }
  ASSERT_TRUE(host->component->Destroy());
  EXPECT_FALSE(Exists(endpoint)) << "gone with the component";
  EXPECT_EQ(Endpoints(), stale) << "what it did not make stays";

  // A runtime directory open to others is refused: the endpoint moves to
  // the user's directory in /tmp, and a process that exits with the device
  // open leaves no file behind.
  chmod(runtime.c_str(), 0755);
  const std::string fallback = "/tmp/wedgesim-" + std::to_string(getuid());
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    hostkit::Component component(*host->library);
    component.Initialize(&host->connection);
    component.AttachMemoryManager(&host->memory);
    std::vector<HostVariant> parameters{hostkit::Empty()};
    HostVariant result = hostkit::Empty();
    component.CallFunction(Open, &result, parameters.data(), 1);
    const bool moved =
        hostkit::EndpointPaths(fallback, getpid()).size() == 1 && Endpoints(getpid()).empty();
    ExitForkedChild(moved ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(hostkit::EndpointPaths(fallback, child).empty());
  EXPECT_NE(Log().find(runtime + " is open to other users"), std::string::npos) << Log();
}

// A child forked after Open neither serves nor removes its parent's
// endpoint, whether it destroys its copy of the component or only exits.
// (Two processes with a device each are the command tests' two hosts.)
TEST_F(Channel, AForkedChildLeavesTheParentsEndpointAlone) {
  OpenWithEndpoint();
  for (const bool destroys : {true, false}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const bool fine = !destroys || host->component->Destroy();
      ExitForkedChild(fine ? 0 : 1);  // exit handlers run too
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << destroys;
    ChannelClient client(endpoint);
    ASSERT_TRUE(client.ReadLine()) << "the parent's endpoint still serves";
    EXPECT_EQ(client.Ask("SCAN parent"), "OK 6");
  }
  EXPECT_EQ(Data(), (std::vector<std::u16string>{u"parent", u"parent"}));
}

// Only this user is served: a peer whose effective uid is another's (here a
// child that reaches the socket with root's file access and nobody's uid) is
// refused before the greeting, and the log says so.
TEST_F(Channel, APeerOfAnotherUserIsRefused) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
  OpenWithEndpoint();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Real and saved uid stay root, so file access can stay root's too.
    if (setresuid(0, 65534, 0) != 0) _exit(2);
    setfsuid(0);
    ChannelClient stranger(endpoint);
    if (!stranger.ok()) _exit(3);
    const bool refused = !stranger.ReadLine() && stranger.closed();
    _exit(refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << WEXITSTATUS(status);
  EXPECT_NE(Log().find("refused a peer of uid 65534"), std::string::npos) << Log();
  EXPECT_EQ(host->connection.eventCount(), 0u);
}

}  // namespace
