// Hotkeys end to end: a press in the host's window delivers a barcode.
#include "tests/x11/x_fixture.h"

#include <sys/wait.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>

#include "host/kit/channel_client.h"
#include "tests/support/failing_new.h"
#include "tests/support/forked_child.h"

namespace {

using namespace xtest;

std::vector<std::string> DataOf(const testhost::TestHost& host) {
  std::vector<std::string> data;
  for (const auto& event : host.connection.events()) data.push_back(event.dataUtf8());
  return data;
}

class Listener : public XDesktop {
 protected:
  std::vector<std::string> Data() { return DataOf(*host); }
};

TEST_F(Listener, EachHotkeySendsItsBarcodeReadAtThePress) {
  StartHost();
  ASSERT_TRUE(host->SetText("TestCode", "4600000000001"));
  ASSERT_TRUE(host->SetText("TestCode2", "NDYwMDAwMDAwMDAwMg=="));
  ASSERT_TRUE(host->SetFlag("TestCode2DecodeBase64", true));
  ASSERT_TRUE(host->OpenDevice());
  EXPECT_FALSE(CanGrab(window->id(), kDefaultKeycode, 0)) << "hotkey 1 is grabbed by Open";
  EXPECT_FALSE(CanGrab(window->id(), kDefaultKeycode, ShiftMask)) << "and hotkey 2";

  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, 1));
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, ShiftMask, 2));
  // A change between two presses takes effect at the next one.
  ASSERT_TRUE(host->SetText("TestCode", "QUJD"));
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, 3));
  ASSERT_TRUE(host->SetFlag("TestCodeDecodeBase64", true));
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, 4));
  // Values of the wrong type change nothing: an integer barcode, a text flag.
  const std::u16string code2 = testhost::Host("TestCode2"),
                       flag2 = testhost::Host("TestCode2DecodeBase64");
  std::vector<HostVariant> integerBarcode{hostkit::String(code2), hostkit::Int(0x41)};
  std::vector<HostVariant> textFlag{hostkit::String(flag2), hostkit::String(code2)};
  HostVariant result = hostkit::Empty();
  ASSERT_TRUE(host->Function(testhost::SetParameter, &result, integerBarcode));
  ASSERT_TRUE(host->Function(testhost::SetParameter, &result, textFlag));
  // An empty barcode sends nothing.
  ASSERT_TRUE(host->SetText("TestCode", ""));
  keys->Tap(kDefaultKeycode);
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, ShiftMask, 5));
  Settle();

  EXPECT_EQ(Data(), (std::vector<std::string>{"4600000000001", "4600000000002", "QUJD", "ABC",
                                              "4600000000002"}));
  for (const auto& event : host->connection.events()) {
    EXPECT_EQ(event.source, "ZovedavUzuruvOriv");
    EXPECT_EQ(event.name, "Штрихкод");
  }
}

// Lock keys never change what a hotkey does, and one press is at most one
// scan; a press with other modifiers than a hotkey's (Ctrl, Alt) is the
// application's key, no scan. A lock variant another program holds is named
// in the log and taken once it is free; the others work.
TEST_F(Listener, LockKeysNeverChangeAHotkeyAndAPressScansOnce) {
  const std::string log = ::testing::TempDir() + "wedgesim-locks.log";
  std::remove(log.c_str());
  setenv("WEDGESIM_LOG", log.c_str(), 1);  // read when the library loads
  window = MakeWindow();
  ASSERT_TRUE(window && window->Activate());
  Client other;
  XGrabKey(other.display, static_cast<int>(kDefaultKeycode), Mod2Mask | LockMask, window->id(),
           False, GrabModeAsync, GrabModeAsync);
  XSync(other.display, False);
  host = std::make_unique<testhost::TestHost>();
  ASSERT_TRUE(host->SetText("TestCode", "one"));
  ASSERT_TRUE(host->SetText("TestCode2", "two"));
  ASSERT_TRUE(host->OpenDevice());
  EXPECT_FALSE(CanGrab(window->id(), kDefaultKeycode, Mod2Mask)) << "the NumLock variant is ours";

  keys->Tap(keys->KeycodeOf("Num_Lock"));
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, 1));
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, ShiftMask, 2));
  keys->Tap(kDefaultKeycode, ControlMask);
  keys->Tap(kDefaultKeycode, Mod1Mask);
  keys->Tap(keys->KeycodeOf("Caps_Lock"));
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, ShiftMask, 3));
  keys->Tap(kDefaultKeycode);  // NumLock and CapsLock: the other program's
  keys->Tap(keys->KeycodeOf("a"));
  Settle();
  EXPECT_EQ(host->connection.eventCount(), 3u);
  XUngrabKey(other.display, static_cast<int>(kDefaultKeycode), Mod2Mask | LockMask, window->id());
  XSync(other.display, False);
  ASSERT_TRUE(
      WaitUntil([&] { return !CanGrab(window->id(), kDefaultKeycode, Mod2Mask | LockMask); }, 5s));
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, 4));
  ASSERT_TRUE(host->SetText("TestCode", ""));
  keys->Tap(kDefaultKeycode);
  Settle();
  keys->Tap(keys->KeycodeOf("Caps_Lock"));
  keys->Tap(keys->KeycodeOf("Num_Lock"));
  ASSERT_TRUE(host->CloseDevice());

  EXPECT_EQ(Data(), (std::vector<std::string>{"one", "two", "two", "one"}));
  std::ifstream in(log);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("keycode 49 with modifiers 0x12 refused"), std::string::npos) << text;
  EXPECT_NE(text.find("modifiers 0x12 is free now and grabbed"), std::string::npos) << text;
  EXPECT_NE(text.find("scan posted: hotkey 2, 3 characters"), std::string::npos) << text;
  EXPECT_NE(text.find("hotkey 1 pressed: its barcode (TestCode) is empty"), std::string::npos)
      << text;
}

// Typing in the application's window is never a scan: a press scans only
// with exactly its hotkey's modifiers, whatever reaches the window.
TEST_F(Listener, TypingInTheWindowNeverScans) {
  StartHost();
  const unsigned a = keys->KeycodeOf("a"), b = keys->KeycodeOf("b"), f9 = keys->KeycodeOf("F9");
  const struct { unsigned key1, key2; } hotkeys[] = {{a, b}, {f9, f9}};
  ASSERT_TRUE(host->SetText("TestCode", "one"));
  ASSERT_TRUE(host->SetText("TestCode2", "two"));
  for (const auto& [key1, key2] : hotkeys) {
    // Ctrl+A and Ctrl+B; then Ctrl+F9 and Ctrl+Shift+F9.
    host->connection.SetSetting("Hotkey1", static_cast<std::int32_t>(key1));
    host->connection.SetSetting("Modifier1", ControlMask);
    host->connection.SetSetting("Hotkey2", static_cast<std::int32_t>(key2));
    host->connection.SetSetting("Modifier2", ControlMask | (key1 == key2 ? ShiftMask : 0));
    ASSERT_TRUE(host->OpenDevice());
    for (const char* letter : {"b", "a", "n", "a", "n", "a"}) keys->Tap(keys->KeycodeOf(letter));
    const unsigned others[] = {0, ShiftMask, Mod1Mask, Mod4Mask, ShiftMask | Mod1Mask};
    for (const unsigned modifiers : others) keys->Tap(key1, modifiers);
    Settle();
    EXPECT_EQ(host->connection.eventCount(), key1 == a ? 0u : 2u) << "typing scanned";
    ASSERT_TRUE(PressAndWait(key1, ControlMask, key1 == a ? 1 : 3));
    ASSERT_TRUE(
        PressAndWait(key2, ControlMask | (key1 == key2 ? ShiftMask : 0), key1 == a ? 2 : 4));
    ASSERT_TRUE(host->CloseDevice());
  }
  EXPECT_EQ(Data(), (std::vector<std::string>{"one", "two", "one", "two"}));
}

TEST_F(Listener, CloseStopsTheListenersAndReleasesTheirGrabs) {
  StartHost();
  ASSERT_TRUE(host->SetText("TestCode", "1"));
  ASSERT_TRUE(host->OpenDevice());
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, 1));
  ASSERT_TRUE(host->CloseDevice());
  // Released on the connections that held them, before Close returned.
  EXPECT_TRUE(CanGrab(window->id(), kDefaultKeycode, 0));
  EXPECT_TRUE(CanGrab(window->id(), kDefaultKeycode, ShiftMask));
  keys->Tap(kDefaultKeycode);
  Settle();
  EXPECT_EQ(host->connection.eventCount(), 1u);

  // Open again after Close works as the first time.
  ASSERT_TRUE(host->OpenDevice());
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, 2));
}

// A listener that is slow to let its key go (here the server is grabbed by
// another client, so its ungrab waits) is waited for: the key is free when
// Close returns, however busy the machine.
TEST_F(Listener, CloseWaitsForASlowListenerToReleaseItsKey) {
  StartHost();
  ASSERT_TRUE(host->OpenDevice());
  Client grabber;
  XGrabServer(grabber.display);
  XSync(grabber.display, False);
  std::atomic<bool> closed{false};
  std::thread closer([&] {
    EXPECT_TRUE(host->CloseDevice());
    closed = true;
  });
  std::this_thread::sleep_for(2500ms);
  EXPECT_FALSE(closed) << "Close returned while a listener still held its key";
  XUngrabServer(grabber.display);
  XSync(grabber.display, False);
  closer.join();
  EXPECT_TRUE(CanGrab(window->id(), kDefaultKeycode, 0));
  EXPECT_TRUE(CanGrab(window->id(), kDefaultKeycode, ShiftMask));
}

TEST_F(Listener, OpenWhileOpenReplacesThePair) {
  StartHost();
  ASSERT_TRUE(host->SetText("TestCode", "1"));
  ASSERT_TRUE(host->OpenDevice());
  ASSERT_TRUE(host->OpenDevice());
  ASSERT_TRUE(host->OpenDevice());
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, 1));
  Settle();
  EXPECT_EQ(host->connection.eventCount(), 1u)
      << "exactly one event: never more than two listeners";
}

TEST_F(Listener, DestroyingTheComponentWhileOpenStopsEverything) {
  StartHost();
  ASSERT_TRUE(host->SetText("TestCode", "1"));
  ASSERT_TRUE(host->OpenDevice());
  ASSERT_TRUE(host->component->Destroy());
  EXPECT_TRUE(CanGrab(window->id(), kDefaultKeycode, 0));
  keys->Tap(kDefaultKeycode);
  Settle();
  EXPECT_EQ(host->connection.eventCount(), 0u);
}

// The host may unload the library without closing the device: the code
// stays mapped, so the running listeners cannot crash the process, and a
// new load still works.
TEST_F(Listener, UnloadingWhileOpenDoesNotCrash) {
  StartHost();
  ASSERT_TRUE(host->SetText("TestCode", "1"));
  ASSERT_TRUE(host->OpenDevice());
  testhost::Abandon(host->component);  // never destroyed: the host just drops it
  host->library.reset();
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, 1));
  hostkit::LoadedLibrary again(testhost::LibraryPath());
  ASSERT_TRUE(again.ok());
  hostkit::Component component(again);
  ASSERT_TRUE(component.ok());
  ASSERT_TRUE(component.Destroy());  // stops the listeners of the earlier load
  keys->Tap(kDefaultKeycode);
  Settle();
  EXPECT_EQ(host->connection.eventCount(), 1u);
}

TEST_F(Listener, AHotkeyStoredInTheProfileIsGrabbedAtOpen) {
  StartHost();
  // (Ctrl+Alt+F-keys switch terminals in the server itself: a letter is safer.)
  const unsigned ctrlAltB = keys->KeycodeOf("b");
  host->connection.SetSetting("Hotkey1", static_cast<std::int32_t>(ctrlAltB));
  host->connection.SetSetting("Modifier1", ControlMask | Mod1Mask);
  ASSERT_TRUE(host->SetText("TestCode", "ctrl-alt-b"));
  ASSERT_TRUE(host->OpenDevice());
  EXPECT_FALSE(CanGrab(window->id(), ctrlAltB, ControlMask | Mod1Mask));
  EXPECT_TRUE(CanGrab(window->id(), kDefaultKeycode, 0)) << "the default is no longer grabbed";
  ASSERT_TRUE(PressAndWait(ctrlAltB, ControlMask | Mod1Mask, 1));
  EXPECT_EQ(Data()[0], "ctrl-alt-b");
}

}  // namespace

namespace {

using namespace xtest;

// The threads this process has now: a listener released inside the host's
// event handler is detached, so its end shows only here.
std::ptrdiff_t ThreadCount() {
  const std::filesystem::directory_iterator tasks("/proc/self/task");
  return std::distance(begin(tasks), end(tasks));
}

// Hosts that run their event handling on the thread that posted the event.
// What a handler touches lives in the fixture, and the host is destroyed in
// TearDown, so no handler outlives it even when a test stops early.
class ReentrantHost : public XDesktop {
 protected:
  void SetUp() override {
    XDesktop::SetUp();
    StartHost();
    ASSERT_TRUE(host->SetText("TestCode", "1"));
    ASSERT_TRUE(host->SetText("TestCode2", "2"));
    ASSERT_TRUE(host->OpenDevice());
  }
  void TearDown() override {
    {
      // A test that stopped early may leave a handler waiting for this.
      std::lock_guard lock(mutex);
      released = true;
    }
    changed.notify_all();
    host.reset();
  }

  bool CallFromHandler(long method) {
    std::vector<HostVariant> parameters{hostkit::Empty()};
    HostVariant result = hostkit::Empty();
    return host->Function(method, &result, parameters) && result.boolValue;
  }

  // Runs `handler` with the number of the call (0 first) for each event.
  void HandleEvents(std::function<void(std::size_t)> handler) {
    host->connection.OnEvent([this, handler](const hostkit::ExternalEvent&) {
      std::size_t call = 0;
      {
        std::lock_guard lock(mutex);
        call = started++;
      }
      changed.notify_all();
      handler(call);
      {
        std::lock_guard lock(mutex);
        ++returned;
      }
      changed.notify_all();
    });
  }
  bool WaitStarted(std::size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 5s, [&] { return started >= count; });
  }
  // Waiting here also orders everything the handlers did before what follows.
  bool WaitReturned(std::size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 5s, [&] { return returned >= count; });
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::size_t started = 0;
  std::size_t returned = 0;
  bool released = false;  // lets a handler that waits for it return
};

TEST_F(ReentrantHost, ClosingFromInsideTheEventHandlerDoesNotHang) {
  HandleEvents([this](std::size_t call) {
    if (call == 0) {
      EXPECT_TRUE(CallFromHandler(testhost::Close));
    }
  });
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, 1));
  ASSERT_TRUE(WaitReturned(1));
  // The listener that closed the device ends once its handler returns, and
  // releases its grab on its way out.
  EXPECT_TRUE(WaitUntil([&] { return CanGrab(window->id(), kDefaultKeycode, 0); }, 5s));
  EXPECT_TRUE(CanGrab(window->id(), kDefaultKeycode, ShiftMask));
  keys->Tap(kDefaultKeycode);
  keys->Tap(kDefaultKeycode, ShiftMask);
  Settle();
  EXPECT_EQ(host->connection.eventCount(), 1u);
}

TEST_F(ReentrantHost, OpeningAgainFromInsideTheEventHandlerKeepsOnePair) {
  const std::ptrdiff_t threadsOfOnePair = ThreadCount();
  HandleEvents([this](std::size_t call) {
    if (call == 0) {
      EXPECT_TRUE(CallFromHandler(testhost::Open));
    }
  });
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, ShiftMask, 1));
  ASSERT_TRUE(WaitReturned(1));
  // The listener that reopened the device holds hotkey 2 until its handler
  // has returned and it has ended; a press before that is its own, and it
  // posts nothing more. Then the new listener 2 takes the key.
  ASSERT_TRUE(WaitUntil([&] { return ThreadCount() == threadsOfOnePair; }, 5s));
  ASSERT_TRUE(WaitUntil([&] { return !CanGrab(window->id(), kDefaultKeycode, ShiftMask); }, 5s));
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, ShiftMask, 2));
  ASSERT_TRUE(WaitReturned(2));
  Settle();
  EXPECT_EQ(DataOf(*host), (std::vector<std::string>{"2", "2"})) << "one pair, one event a press";
}

// A host whose event slot waits for the thread that is closing the device
// would deadlock a Close that waits for listeners without end. However many devices the host holds
// in its event slot, one Close waits for them about two seconds in all, never two seconds each.
TEST_F(ReentrantHost, CloseWhileTheHostHoldsAListenerInItsEventSlotEnds) {
  HandleEvents([this](std::size_t) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return released; });
  });
  std::vector<double> closeSeconds;
  std::vector<std::unique_ptr<hostkit::ChannelClient>> clients;
  for (std::size_t held = 1; held <= 3; ++held) {
    if (held == 1) {
      keys->Tap(kDefaultKeycode);
    } else {
      // A held device keeps its keys until the host lets it go: the next
      // devices are held through their control channel.
      ASSERT_TRUE(host->OpenDevice());
      std::string endpoint;
      for (const auto& found : hostkit::FindEndpoints())
        if (found.pid == getpid() && found.live()) endpoint = found.path;
      clients.push_back(std::make_unique<hostkit::ChannelClient>(endpoint));
      ASSERT_TRUE(clients.back()->ReadLine());
      ASSERT_TRUE(clients.back()->Send("SCAN held\n"));
    }
    ASSERT_TRUE(WaitStarted(held));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(host->CloseDevice());
    closeSeconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  {
    std::lock_guard lock(mutex);
    released = true;
  }
  changed.notify_all();
  ASSERT_TRUE(WaitReturned(3));
  for (const double seconds : closeSeconds) EXPECT_LT(seconds, 3.5) << "one bound per Close";
  keys->Tap(kDefaultKeycode);
  Settle();
  EXPECT_EQ(host->connection.eventCount(), 3u) << "the held listeners post nothing more";
  EXPECT_TRUE(WaitUntil([&] { return CanGrab(window->id(), kDefaultKeycode, 0); }, 5s));
}

}  // namespace

namespace {

using namespace xtest;

class HostFaults : public XDesktop {};

// A profile value that is no keycode (0 would grab every key of the
// application) is refused: the default hotkey applies, and the
// application's window still gets its own keys.
TEST_F(HostFaults, AProfileValueThatIsNoKeycodeIsRefused) {
  StartHost();
  XSelectInput(window->display(), window->id(), KeyPressMask);
  XSync(window->display(), False);
  ASSERT_TRUE(host->SetText("TestCode", "1"));
  const unsigned a = keys->KeycodeOf("a");
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    if (variant < 2) host->connection.SetSetting("Hotkey1", variant == 0 ? 0 : 256);
    host->connection.SetAnswerEmptyRecords(variant == 2);  // every value reads as 0
    ASSERT_TRUE(host->OpenDevice());
    keys->Tap(a);
    EXPECT_TRUE(WaitUntil(
        [&] {
          XEvent event;
          while (XCheckTypedWindowEvent(window->display(), window->id(), KeyPress, &event))
            if (event.xkey.keycode == a) return true;
          return false;
        },
        5s))
        << "the application's own key was swallowed";
    if (variant < 2) {
      EXPECT_TRUE(PressAndWait(kDefaultKeycode, 0, variant + 1u)) << "the default is grabbed";
    }
    ASSERT_TRUE(host->CloseDevice());
  }
}

// One allocation refused while a hotkey is handled loses that press at most;
// the next press works.
TEST_F(HostFaults, AFailedAllocationLosesOnePressNotTheHotkey) {
  StartHost();
  if (!AllocationsReach(host->library->handle())) GTEST_SKIP() << kOwnAllocator;
  ASSERT_TRUE(host->SetText("TestCode", "4600000000001"));  // too long for a string's own buffer
  ASSERT_TRUE(host->OpenDevice());
  FailNextAllocationsElsewhere(1);
  keys->Tap(kDefaultKeycode);
  ASSERT_TRUE(WaitUntil([] { return AllocationFailuresPending() == 0; }, 5s));
  const std::size_t before = host->connection.eventCount();
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, before + 1));
  EXPECT_FALSE(CanGrab(window->id(), kDefaultKeycode, 0)) << "still held";
}

// A child forked after Open shares the parent's X connections and has none of
// its threads: destroying its copy of the component (and exiting) leaves the
// parent's device untouched, at once.
TEST_F(HostFaults, AForkedChildLeavesTheParentsDeviceAlone) {
  StartHost();
  ASSERT_TRUE(host->SetText("TestCode", "1"));
  ASSERT_TRUE(host->OpenDevice());
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const auto start = std::chrono::steady_clock::now();
    const bool destroyed = host->component->Destroy();
    const bool quick = std::chrono::steady_clock::now() - start < 1s;
    ExitForkedChild(destroyed && quick ? 0 : 1);  // runs the exit-time destructors too
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(CanGrab(window->id(), kDefaultKeycode, 0)) << "the parent still holds its key";
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, 1));
}

}  // namespace
