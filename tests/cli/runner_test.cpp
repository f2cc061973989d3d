// A test runner's side: `wedgesim listen` stands in for the application, and
// `scan` and `devices` talk to its control channel as a runner outside the
// application does: the right device, files as runners write them, every
// wait bounded, and statuses that tell what happened.
#include <sys/socket.h>
#include <sys/un.h>

#include <thread>

#include "tests/cli/cli_fixture.h"

namespace {

using namespace clitest;

std::vector<std::vector<unsigned>> UnitsOf(const std::vector<Json>& events) {
  std::vector<std::vector<unsigned>> units;
  for (const Json& event : events) units.push_back(event["units"].get<std::vector<unsigned>>());
  return units;
}

std::vector<unsigned> Units(std::u16string_view text) { return {text.begin(), text.end()}; }

// Files as runners write them (a byte order mark, comments, blank lines,
// escapes, AI notation), several of them, mixed with arguments: every
// barcode in command-line order, exactly, each acknowledged; --dry-run shows
// the same characters and sends nothing.
TEST_F(Cli, ARunnerScansFilesAndArgumentsInCommandLineOrder) {
  auto listen = Listen();
  const std::string first = config_ + "/first.txt", second = config_ + "/second.txt";
  std::ofstream(first) << "\xEF\xBB\xBF"
                          "4600000000001\n"
                       << "# a comment, then a blank line with blanks\n   \n"
                       << "0104600000000008\\x1d"
                          "21ABC\n"
                       << "  # indented comment\n"
                       << "\\#7 starts with a hash\\tand a tab\n"
                       << "gs1:(01)04600000000008(21)XYZ(93)AbCd\n";
  std::ofstream(second) << "лат\\u{1F600}\r\n";
  const std::vector<std::string> arguments = {
      "scan",   "one",  "--file", first,   "--gs1", "(01)04600000000008(10)L1",
      "--file", second, "two",    "--json"};
  const Result dry = [&] {
    std::vector<std::string> dryRun = arguments;
    dryRun.push_back("--dry-run");
    return Run(dryRun);
  }();
  ASSERT_EQ(dry.status, 0) << dry.err;
  const std::vector<std::vector<unsigned>> expected = {
      Units(u"one"),
      Units(u"4600000000001"),
      Units(u"0104600000000008\x1d"
            u"21ABC"),
      Units(u"#7 starts with a hash\tand a tab"),
      Units(u"010460000000000821XYZ\x1d"
            u"93AbCd"),
      Units(u"01046000000000081"
            u"0L1"),
      Units(u"лат\U0001F600"),
      Units(u"two"),
  };
  const std::vector<Json> planned = OfType(JsonLines(dry.out), "barcode");
  EXPECT_EQ(UnitsOf(planned), expected);
  EXPECT_EQ(planned.at(2)["visible"], "0104600000000008<GS>21ABC");
  EXPECT_EQ(planned.at(2)["origin"], first + ":4");
  const Result dryText = Run({"scan", "--dry-run", "--file", first});
  EXPECT_NE(dryText.out.find("0104600000000008<GS>21ABC  (22 characters, from " + first + ":4)"),
            std::string::npos)
      << dryText.out;

  const Result scan = Run(arguments);
  EXPECT_EQ(scan.status, 0) << scan.err;
  const std::vector<Json> lines = JsonLines(scan.out);
  const std::vector<Json> acknowledged = OfType(lines, "scan");
  ASSERT_EQ(acknowledged.size(), expected.size()) << scan.out;
  for (const Json& ack : acknowledged) EXPECT_EQ(ack["ok"], true) << ack;
  EXPECT_EQ(OfType(lines, "summary").at(0)["sent"], expected.size());

  // With --base64 every barcode is raw bytes, one character each.
  EXPECT_EQ(Run({"scan", "--base64", "0JA=", "HQ=="}).status, 0);
  std::vector<std::vector<unsigned>> all = expected;
  all.push_back({0xD0, 0x90});
  all.push_back({0x1D});
  const std::vector<Json> events = Events(*listen);
  EXPECT_EQ(UnitsOf(events), all) << "one event a barcode, in order, exact";
  for (const Json& event : events) {
    EXPECT_EQ(event["origin"], "channel");
    EXPECT_EQ(event["time"].get<std::string>().size(), 24u) << event["time"];
  }
}

// Mistakes in a file name the file and the line, and nothing is sent.
TEST_F(Cli, AFileWithAMistakeIsRefusedBeforeAnythingIsSent) {
  auto listen = Listen();
  const std::string codes = config_ + "/codes.txt";
  const std::vector<std::pair<std::string, std::string>> files = {
      {"fine\nbad \\q escape\n", "codes.txt:2: column 5: unknown escape"},
      {"fine\n\\x1 short\n", "codes.txt:2: column 1: \\x takes two hex digits"},
      {"gs1:(01)04600000000009\n", "codes.txt:1: gs1: (01) GTIN: wrong check digit"},
      {"\\u{0}\n", "codes.txt:1: nul"},
      {"a\xff\n", "codes.txt:1: utf8"},
  };
  for (const auto& [content, message] : files) {
    SCOPED_TRACE(content);
    std::ofstream(codes) << content;
    const Result result = Run({"scan", "--file", codes});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
  }
  // GS1 rules can be broken on purpose, for negative tests.
  EXPECT_EQ(Run({"scan", "--no-check", "--gs1", "(01)04600000000009"}).status, 0);
  EXPECT_EQ(Events(*listen).size(), 1u);
}

// scan waits for the application to open its device, with --wait, and says
// there is nothing to scan into (status 5) when none comes.
TEST_F(Cli, ScanWaitsForTheDeviceToOpen) {
  const auto start = std::chrono::steady_clock::now();
  const Result none = Run({"scan", "--wait=1", "x"});
  EXPECT_EQ(none.status, 5);
  EXPECT_NE(none.err.find("no open device"), std::string::npos) << none.err;
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);

  auto scan = Start({"scan", "--wait", "--json", "waited"});
  std::this_thread::sleep_for(500ms);
  auto listen = Listen();
  EXPECT_EQ(scan->Wait(), 0) << scan->err;
  const std::vector<Json> events = Events(*listen);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["data"], "waited");
}

// An application stopped mid-run: scan ends within its time limit with
// "timed out" (7), and the scan it gave up on is not posted when the
// application resumes.
TEST_F(Cli, AStoppedApplicationTimesOutAndTheScanGivenUpIsNeverPosted) {
  auto listen = Listen();
  const std::string codes = config_ + "/codes.txt";
  {
    std::ofstream out(codes);
    for (int i = 0; i < 50; ++i) out << "code" << i << "\n";
  }
  auto scan = Start({"scan", "--json", "--timeout", "1", "--interval", "100", "--file", codes});
  ASSERT_TRUE(
      scan->WaitForOutput([&] { return scan->out.find("\"index\":3") != std::string::npos; }, 20s))
      << scan->out;
  listen->Signal(SIGSTOP);
  const auto stopped = std::chrono::steady_clock::now();
  const int status = scan->Wait(20s);
  const auto took = std::chrono::steady_clock::now() - stopped;
  EXPECT_EQ(status, 7) << scan->err;
  EXPECT_LT(took, 3s) << "the time limit holds";
  EXPECT_NE(scan->err.find("not answering"), std::string::npos) << scan->err;
  const std::vector<Json> lines = JsonLines(scan->out);
  const std::size_t acknowledged = OfType(lines, "summary").at(0)["sent"];
  listen->Signal(SIGCONT);
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Events(*listen).size(), acknowledged) << "what was given up on is not posted";
}

// A process that holds an endpoint but does not answer (its listening queue
// full, as when it is stopped) bounds every wait: connecting, the greeting.
TEST_F(Cli, AnEndpointThatDoesNotAnswerIsSaidToBeNotAnswering) {
  const std::string directory = runtime_ + "/wedgesim";
  ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
  const std::string path = directory + "/" + std::to_string(getpid()) + "-00000000000000aa.sock";
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  std::vector<int> queued;  // fill the queue: a connect that blocks would hang
  for (int i = 0; i < 4; ++i) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    queued.push_back(fd);
  }
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"scan", "--socket", path, "--timeout", "1", "x"},
        std::vector<std::string>{"scan", "--pid", std::to_string(getpid()), "--timeout", "1",
                                 "x"}}) {
    const auto start = std::chrono::steady_clock::now();
    const Result result = Run(arguments);
    EXPECT_EQ(result.status, 7) << result.err;
    EXPECT_NE(result.err.find("not answering"), std::string::npos) << result.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  }
  const std::vector<Json> devices =
      OfType(JsonLines(Run({"devices", "--json", "--timeout", "1"}).out), "device");
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0]["state"], "not answering");
  for (const int fd : queued) close(fd);
  close(listener);
}

// Ctrl-C in a long run ends it after the scan being answered, with the
// summary of what was sent ("partly sent", 8).
TEST_F(Cli, AnInterruptedRunSaysWhatWasSent) {
  auto listen = Listen();
  std::vector<std::string> arguments = {"scan", "--json", "--interval", "50"};
  for (int i = 0; i < 100; ++i) arguments.push_back("code" + std::to_string(i));
  auto scan = Start(arguments);
  ASSERT_TRUE(
      scan->WaitForOutput([&] { return scan->out.find("\"index\":2") != std::string::npos; }, 20s));
  scan->Signal(SIGINT);
  EXPECT_EQ(scan->Wait(), 8);
  const Json summary = OfType(JsonLines(scan->out), "summary").at(0);
  EXPECT_EQ(summary["stopped"], "interrupted");
  EXPECT_LT(summary["sent"].get<int>(), 100);
  EXPECT_EQ(Events(*listen).size(), summary["sent"].get<std::size_t>());
}

// Two hosts of one display: scan names both and sends nothing; --pid picks
// one. devices says which program each is; --prune removes only what dead
// processes left.
TEST_F(Cli, DevicesAreChosenByPidAndDeadOnesArePruned) {
  auto first = Listen();
  auto second = Listen();
  const Result ambiguous = Run({"scan", "x"});
  EXPECT_EQ(ambiguous.status, 2);
  EXPECT_NE(ambiguous.err.find("several devices match"), std::string::npos) << ambiguous.err;
  EXPECT_NE(ambiguous.err.find("pid " + std::to_string(first->pid()) + " (wedgesim)"),
            std::string::npos)
      << ambiguous.err;
  EXPECT_EQ(Run({"scan", "--pid", std::to_string(first->pid()), "one"}).status, 0);
  EXPECT_EQ(Run({"scan", "--pid", std::to_string(second->pid()), "two"}).status, 0);

  // A file a dead process left behind beside the live ones.
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  const std::string stale =
      runtime_ + "/wedgesim/" + std::to_string(dead) + "-00000000000000bb.sock";
  {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, stale.c_str(), stale.size() + 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    close(fd);
  }
  std::vector<Json> devices = OfType(JsonLines(Run({"devices", "--json"}).out), "device");
  ASSERT_EQ(devices.size(), 3u);
  std::size_t open = 0;
  for (const Json& device : devices) {
    open += device["state"] == "open" ? 1 : 0;
    if (device["state"] == "open") {
      EXPECT_EQ(device["program"], "wedgesim");
    }
  }
  EXPECT_EQ(open, 2u);
  const Result pruned = Run({"devices", "--prune", "--json"});
  EXPECT_EQ(OfType(JsonLines(pruned.out), "summary").at(0)["pruned"], 1);
  EXPECT_FALSE(std::filesystem::exists(stale));
  EXPECT_EQ(OfType(JsonLines(Run({"devices", "--json"}).out), "device").size(), 2u);

  const std::vector<Json> firstEvents = Events(*first), secondEvents = Events(*second);
  ASSERT_EQ(firstEvents.size(), 1u);
  ASSERT_EQ(secondEvents.size(), 1u);
  EXPECT_EQ(firstEvents[0]["data"], "one");
  EXPECT_EQ(secondEvents[0]["data"], "two");
}

// Two applications on two displays: each is scanned by the display of the
// runner (or --display), without --pid; the greeting says which is which.
TEST_F(CliOnDesktop, TwoApplicationsOnTwoDisplaysAreScannedByDisplay) {
  std::string error;
  auto other = hostkit::PrivateXServer::Start({}, &error);
  ASSERT_NE(other, nullptr) << error;
  auto first = Listen({}, server_->display());
  auto second = Listen({}, other->display());
  EXPECT_EQ(Run({"scan", "to-first"}, server_->display()).status, 0);
  EXPECT_EQ(Run({"scan", "to-second"}, other->display()).status, 0);
  EXPECT_EQ(Run({"scan", "--display", other->display() + ".0", "again"}).status, 0);
  const Result headless = Run({"scan", "x"});  // no display of its own: both match
  EXPECT_EQ(headless.status, 2);
  EXPECT_NE(headless.err.find("on " + other->display()), std::string::npos) << headless.err;
  const std::vector<Json> firstEvents = Events(*first), secondEvents = Events(*second);
  ASSERT_EQ(firstEvents.size(), 1u);
  ASSERT_EQ(secondEvents.size(), 2u);
  EXPECT_EQ(firstEvents[0]["data"], "to-first");
  EXPECT_EQ(secondEvents[1]["data"], "again");
}

// The hotkeys of a listen on a desktop, each event saying which hotkey made it.
TEST_F(CliOnDesktop, ListenSaysWhichHotkeyMadeEachEvent) {
  auto listen =
      Listen({"--code1", "4600000000001", "--code2", "NDI=", "--base64-2"}, server_->display());
  ASSERT_NE(listen->out.find("\"focused\":true"), std::string::npos) << listen->out;
  keys_->Tap(hostkit::kDefaultHotkey1.keycode, hostkit::kDefaultHotkey1.modifiers);
  keys_->Tap(hostkit::kDefaultHotkey2.keycode, hostkit::kDefaultHotkey2.modifiers);
  EXPECT_TRUE(listen->WaitForOutput(
      [&] { return listen->out.find("\"number\":2") != std::string::npos; }, 10s))
      << listen->out;
  const std::vector<Json> events = Events(*listen);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0]["data"], "4600000000001");
  EXPECT_EQ(events[0]["origin"], "hotkey 1");
  EXPECT_EQ(events[1]["data"], "42");
  EXPECT_EQ(events[1]["origin"], "hotkey 2");
  EXPECT_NE(
      listen->out.find("{\"ok\":true,\"type\":\"stopped\",\"signal\":\"SIGTERM\",\"events\":2}"),
      std::string::npos)
      << listen->out;
}

}  // namespace
