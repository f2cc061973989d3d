// Assigning a hotkey: the capture window, its keys, and what it stores.
#include "tests/support/x_proxy.h"
#include "tests/x11/x_fixture.h"

#include <X11/Xutil.h>

#include <atomic>
#include <functional>
#include <utility>

namespace {

using namespace xtest;

struct ChildWindow {
  Window id = 0;
  XWindowAttributes attributes{};
};

// The capture window: a mapped child of the host window.
ChildWindow FindCaptureWindow(Display* display, Window host) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  ChildWindow found;
  if (!XQueryTree(display, host, &root, &parent, &children, &count)) return found;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, children[i], &attributes) &&
        attributes.map_state == IsViewable)
      found = {children[i], attributes};
  }
  if (children != nullptr) XFree(children);
  return found;
}

class Capture : public XDesktop {
 protected:
  // Runs the action on this thread (it is modal) while another thread waits
  // for the capture window and then plays `keys` into it. `whenShown` runs
  // once, as soon as the window is seen.
  HostVariant Run(const std::string& action, const std::function<void(ChildWindow)>& play,
                  std::function<void()> whenShown = nullptr) {
    // Connected before the capture starts: libXau is not safe for two
    // threads connecting at the same moment.
    auto client = std::make_unique<Client>();
    std::atomic<bool> returned{false};
    std::thread player([&] {
      ChildWindow shown;
      // Keys are played once the capture holds the keyboard: a grab of our
      // own is then refused. An action that has already returned ends the wait.
      bool ready = false;
      WaitUntil(
          [&] {
            if (returned) return true;
            shown = FindCaptureWindow(client->display, window->id());
            if (shown.id == 0) return false;
            if (whenShown) std::exchange(whenShown, nullptr)();
            const int status = XGrabKeyboard(client->display, DefaultRootWindow(client->display),
                                             False, GrabModeAsync, GrabModeAsync, CurrentTime);
            if (status == GrabSuccess) XUngrabKeyboard(client->display, CurrentTime);
            XSync(client->display, False);
            return ready = status == AlreadyGrabbed;
          },
          20s);
      EXPECT_TRUE(ready) << "the capture window never took the keyboard";
      if (ready) play(shown);
      // The capture ends once its window is gone: a capture that has not
      // ended 20 s after its keys (or that showed too late for them) is
      // ended that way, so the test fails instead of waiting for ever.
      const auto giveUp = std::chrono::steady_clock::now() + (ready ? 20s : 0s);
      while (!returned) {
        if (std::chrono::steady_clock::now() >= giveUp) {
          const ChildWindow stuck = FindCaptureWindow(client->display, window->id());
          if (stuck.id != 0) XDestroyWindow(client->display, stuck.id);
          XSync(client->display, False);
        }
        std::this_thread::sleep_for(20ms);
      }
    });
    HostVariant result;
    EXPECT_TRUE(host->Action(action, &result));
    returned = true;
    player.join();
    return result;
  }
};

// Ctrl pressed, then A; A released first: A's keycode with ControlMask.
// Modifiers released first, or alone, are never the hotkey.
TEST_F(Capture, CtrlAIsStoredAndGrabbedAtTheNextOpen) {
  StartHost();
  const unsigned a = keys->KeycodeOf("a"), ctrl = keys->KeycodeOf("Control_L");
  ChildWindow seen;
  long blackPixels = 0;
  const HostVariant result = Run("SetHotkey1", [&](ChildWindow shown) {
    seen = shown;
    Client client;
    // The prompt is drawn on exposure: black text on white.
    WaitUntil(
        [&] {
          XImage* image = XGetImage(client.display, shown.id, 0, 0, 400, 50, AllPlanes, ZPixmap);
          if (image == nullptr) return false;
          blackPixels = 0;
          for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 400; ++x) blackPixels += XGetPixel(image, x, y) == 0;
          XDestroyImage(image);
          return blackPixels > 100;
        },
        5s);
    keys->Press(ctrl);
    keys->Press(a);
    keys->Release(a);
    keys->Release(ctrl);
    keys->Sync();
  });
  EXPECT_TRUE(result.type == kVariantBool && result.boolValue);
  EXPECT_EQ(seen.attributes.x, 100);
  EXPECT_EQ(seen.attributes.y, 100);
  EXPECT_EQ(seen.attributes.width, 400);
  EXPECT_EQ(seen.attributes.height, 50);
  EXPECT_EQ(seen.attributes.border_width, 2);
  EXPECT_GT(blackPixels, 100) << "the prompt was drawn";
  Client client;
  EXPECT_EQ(FindCaptureWindow(client.display, window->id()).id, 0u) << "gone when the action ends";

  EXPECT_EQ(host->connection.writeOrder(), (std::vector<std::string>{"Hotkey1", "Modifier1"}));
  EXPECT_EQ(host->connection.Setting("Hotkey1"), static_cast<std::int32_t>(a));
  EXPECT_EQ(host->connection.Setting("Modifier1"), ControlMask);
  EXPECT_NE(host->Parameters().find("DefaultValue=\"Ctrl + a\""), std::string::npos);

  // A modifier released alone is no hotkey: the capture goes on, and Ctrl
  // released a moment before F9 still counts.
  const unsigned f9 = keys->KeycodeOf("F9"), shift = keys->KeycodeOf("Shift_L");
  const HostVariant second = Run("SetHotkey2", [&](ChildWindow) {
    keys->Tap(shift);
    keys->Press(ctrl);
    keys->Press(f9);
    keys->Release(ctrl);
    keys->Release(f9);
    keys->Sync();
  });
  EXPECT_TRUE(second.type == kVariantBool && second.boolValue);
  EXPECT_EQ(host->connection.Setting("Hotkey2"), static_cast<std::int32_t>(f9));
  EXPECT_EQ(host->connection.Setting("Modifier2"), ControlMask);

  ASSERT_TRUE(window->Activate());
  ASSERT_TRUE(host->SetText("TestCode", "ctrl-a"));
  ASSERT_TRUE(host->OpenDevice());
  ASSERT_TRUE(PressAndWait(a, ControlMask, 1));
  EXPECT_EQ(host->connection.events()[0].dataUtf8(), "ctrl-a");
}

// A keyboard another program holds when the capture starts is taken as soon
// as it is free, so the key still reaches the capture when the focus moves
// back to the host's top-level window.
TEST_F(Capture, AKeyboardHeldElsewhereIsTakenOnceItIsFree) {
  StartHost();
  Client holder;
  ASSERT_EQ(XGrabKeyboard(holder.display, DefaultRootWindow(holder.display), False, GrabModeAsync,
                          GrabModeAsync, CurrentTime),
            GrabSuccess);
  XSync(holder.display, False);
  const unsigned f8 = keys->KeycodeOf("F8");
  const HostVariant result = Run(
      "SetHotkey1",
      [&](ChildWindow) {
        Client client;
        XSetInputFocus(client.display, window->id(), RevertToParent, CurrentTime);
        XSync(client.display, False);
        keys->Tap(f8);
      },
      [&] {
        // Long enough for the capture's first grab to have been refused.
        std::this_thread::sleep_for(200ms);
        XUngrabKeyboard(holder.display, CurrentTime);
        XSync(holder.display, False);
      });
  EXPECT_TRUE(result.type == kVariantBool && result.boolValue);
  EXPECT_EQ(host->connection.Setting("Hotkey1"), static_cast<std::int32_t>(f8));
}

// Escape, with or without Shift, cancels: nothing is stored and the last
// error says so, in the language in force at the moment of the cancel.
TEST_F(Capture, EscapeCancelsAndSetsTheLastError) {
  StartHost();
  const unsigned escape = keys->KeycodeOf("Escape");
  HostVariant result = Run("SetHotkey2", [&](ChildWindow) { keys->Tap(escape); });
  EXPECT_TRUE(result.type == kVariantBool && !result.boolValue);
  EXPECT_EQ(host->LastError(), "Operation cancelled");

  host->component->ApplyLocale(testhost::Ptr(testhost::Host("ru_RU")));
  EXPECT_EQ(host->LastError(), "Operation cancelled") << "a stored text is not translated";
  result = Run("SetHotkey1", [&](ChildWindow) { keys->Tap(escape, ShiftMask); });
  EXPECT_FALSE(result.boolValue);
  EXPECT_EQ(host->LastError(), "Операция отменена");
  EXPECT_TRUE(host->connection.writeOrder().empty());

  // A successful capture afterwards leaves the last error as it was.
  const unsigned f7 = keys->KeycodeOf("F7");
  result = Run("SetHotkey2", [&](ChildWindow) { keys->Tap(f7); });
  EXPECT_TRUE(result.boolValue);
  EXPECT_EQ(host->connection.Setting("Hotkey2"), static_cast<std::int32_t>(f7));
  EXPECT_EQ(host->connection.Setting("Modifier2"), 0);
  EXPECT_EQ(host->LastError(), "Операция отменена");
}

// Escape is a cancel whatever happens to the connection after it: cut right
// after the key release reached the capture, it still cancels and stores
// nothing.
TEST_F(Capture, EscapeCancelsEvenWhenTheConnectionIsCutRightAfterIt) {
  window = MakeWindow();
  ASSERT_TRUE(window && window->Activate());
  testhost::XProxy proxy(display);
  ASSERT_TRUE(proxy.ok());
  setenv("DISPLAY", proxy.display().c_str(), 1);  // the library's connections go through it
  host = std::make_unique<testhost::TestHost>();
  proxy.CutAfterEvent(KeyRelease);
  const unsigned escape = keys->KeycodeOf("Escape");
  const HostVariant result = Run("SetHotkey1", [&](ChildWindow) { keys->Tap(escape); });
  EXPECT_EQ(proxy.cuts(), 1);
  EXPECT_TRUE(result.type == kVariantBool && !result.boolValue);
  EXPECT_EQ(host->LastError(), "Operation cancelled");
  EXPECT_TRUE(host->connection.writeOrder().empty());
}

// Captures refused before they wait for a key: no connection to store it
// through, a host window that cannot hold the focus.
class CaptureRefused : public SharedXDesktop {};

TEST_F(CaptureRefused, WithoutAConnectionNothingIsShown) {
  window = MakeWindow();
  ASSERT_TRUE(window && window->Activate());
  host = std::make_unique<testhost::TestHost>(false);
  host->component->AttachMemoryManager(&host->memory);
  HostVariant result;
  EXPECT_TRUE(host->Action("SetHotkey1", &result));
  EXPECT_TRUE(result.type == kVariantBool && !result.boolValue);
}

// A host window that cannot take the focus (withdrawn) would make the modal
// wait endless: the capture gives up at once instead.
TEST_F(CaptureRefused, AnUnviewableHostWindowEndsTheCaptureAtOnce) {
  StartHost();
  window->Unmap();
  const auto started = std::chrono::steady_clock::now();
  HostVariant result;
  EXPECT_TRUE(host->Action("SetHotkey1", &result));
  EXPECT_TRUE(result.type == kVariantBool && !result.boolValue);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s) << "it did not wait for a key";
  EXPECT_TRUE(host->connection.writeOrder().empty());
}

// Another thread of the host destroys its window while the capture waits:
// the capture window goes with it, and the action ends instead of waiting on.
TEST_F(Capture, AHostWindowDestroyedDuringTheCaptureEndsIt) {
  StartHost();
  const HostVariant result = Run("SetHotkey1", [&](ChildWindow) { window.reset(); });
  EXPECT_TRUE(result.type == kVariantBool && !result.boolValue);
  EXPECT_TRUE(host->connection.writeOrder().empty());
}

}  // namespace
