// X errors caused by the library's own requests stay with the library: the
// host's error handler is neither called, replaced nor disturbed, and losing
// the server does not end the host through our connections.
#include <signal.h>

#include "tests/x11/x_fixture.h"

namespace {

using namespace xtest;

std::atomic<int> hostErrors{0};
std::atomic<int> hostIoErrors{0};

int RecordError(Display*, XErrorEvent*) {
  ++hostErrors;
  return 0;
}
int RecordIoError(Display*) {
  ++hostIoErrors;
  return 0;
}

class XErrors : public XDesktop {
 protected:
  void InstallHostHandlers() {
    XSetErrorHandler(RecordError);
    XSetIOErrorHandler(RecordIoError);
  }
  // The host's own mistake still reaches the host's handler.
  void ProvokeHostError() {
    Client client;
    XMapWindow(client.display, 0x7FFFFFF);
    XSync(client.display, False);
  }
};

TEST_F(XErrors, RequestsOnAGoneWindowOrAHeldKeyNeverReachTheHost) {
  InstallHostHandlers();
  window = MakeWindow();
  ASSERT_TRUE(window && window->Activate());
  // Another program holds hotkey 1 before the device is opened.
  Client other;
  XGrabKey(other.display, static_cast<int>(kDefaultKeycode), 0, window->id(), False, GrabModeAsync,
           GrabModeAsync);
  XSync(other.display, False);
  host = std::make_unique<testhost::TestHost>();
  ASSERT_TRUE(host->SetText("TestCode", "1"));
  ASSERT_TRUE(host->SetText("TestCode2", "2"));
  ASSERT_TRUE(host->OpenDevice());
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, ShiftMask, 1)) << "hotkey 2 works all the same";
  // Once the other program lets go, the listener takes the key.
  XUngrabKey(other.display, static_cast<int>(kDefaultKeycode), 0, window->id());
  XSync(other.display, False);
  ASSERT_TRUE(WaitUntil([&] { return !CanGrab(window->id(), kDefaultKeycode, 0); }, 5s));
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, 2));
  ASSERT_TRUE(host->CloseDevice());

  // The host window disappears after load: select, grab, activation and the
  // capture window all meet a window that is gone.
  window.reset();
  ASSERT_TRUE(host->OpenDevice());
  EXPECT_TRUE(host->Generate("3", false, true));
  HostVariant result;
  EXPECT_TRUE(host->Action("SetHotkey1", &result));
  EXPECT_FALSE(result.boolValue);
  EXPECT_NE(host->Parameters().find("grave"), std::string::npos);
  ASSERT_TRUE(host->CloseDevice());
  EXPECT_EQ(host->connection.eventCount(), 3u);

  EXPECT_EQ(hostErrors.load(), 0);
  ProvokeHostError();
  EXPECT_EQ(hostErrors.load(), 1) << "the host's handler is still in place";
  EXPECT_EQ(hostIoErrors.load(), 0);
}

TEST_F(XErrors, LosingTheServerLeavesTheHostRunning) {
  InstallHostHandlers();
  StartHost();
  ASSERT_TRUE(host->SetText("TestCode", "1"));
  ASSERT_TRUE(host->OpenDevice());
  // The host's own connections would die with the server; keep them out of it.
  testhost::Abandon(window);
  testhost::Abandon(keys);
  kill(server->serverPid(), SIGKILL);
  // The listeners notice the lost server and end; Close joins them.
  EXPECT_TRUE(host->CloseDevice());
  EXPECT_FALSE(host->Generate("2", false, true)) << "no display any more";
  EXPECT_TRUE(host->OpenDevice());
  EXPECT_TRUE(host->CloseDevice());
  EXPECT_EQ(hostIoErrors.load(), 0);
  EXPECT_EQ(hostErrors.load(), 0);
}

}  // namespace
