// The host window found at load time, activation, and the settings XML.
#include <unistd.h>

#include "tests/x11/x_fixture.h"

#include <X11/Xatom.h>

namespace {

using namespace xtest;

unsigned long ActiveWindow(Display* display) {
  const auto active =
      hostkit::ReadListProperty(display, DefaultRootWindow(display), "_NET_ACTIVE_WINDOW");
  return active.empty() ? 0 : active[0];
}

class Discovery : public XDesktop {};

// The walk follows _NET_CLIENT_LIST: another process's window, a dialog of
// ours and a window with NORMAL only in second place are all passed over.
TEST_F(Discovery, HostWindowIsTheFirstNormalWindowOfThisProcess) {
  WindowOptions other;
  other.pid = getpid() + 100000;
  auto foreign = MakeWindow(other);
  WindowOptions dialog;
  dialog.types = {"_NET_WM_WINDOW_TYPE_DIALOG"};
  auto ownDialog = MakeWindow(dialog);
  WindowOptions secondPlace;
  secondPlace.types = {"_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_WINDOW_TYPE_NORMAL"};
  auto mixed = MakeWindow(secondPlace);
  auto first = MakeWindow();
  auto second = MakeWindow();
  ASSERT_TRUE(foreign && ownDialog && mixed && first && second);
  ASSERT_TRUE(second->Activate());

  host = std::make_unique<testhost::TestHost>();
  ASSERT_TRUE(host->OpenDevice());
  EXPECT_TRUE(host->Generate("4600000000000", false, true));
  Client client;
  EXPECT_TRUE(WaitUntil([&] { return ActiveWindow(client.display) == first->id(); }, 5s))
      << "the window manager was asked to activate the first normal window of ours";
  ASSERT_EQ(host->connection.eventCount(), 1u);
  EXPECT_EQ(host->connection.events()[0].dataUtf8(), "4600000000000");

  const std::string xml = host->Parameters();
  EXPECT_NE(xml.find("DefaultValue=\"" + std::to_string(getpid()) + "\""), std::string::npos);
}

// A window made after the library was loaded is never seen: no activation
// request goes out for window 0, yet the event is still posted, and a hotkey
// capture has nowhere to show its window.
TEST_F(Discovery, WithoutAHostWindowEverythingStillAnswers) {
  host = std::make_unique<testhost::TestHost>();
  auto late = MakeWindow();
  ASSERT_TRUE(late && late->Activate());
  ASSERT_TRUE(host->OpenDevice());
  EXPECT_TRUE(host->Generate("QUJD", true, true));
  ASSERT_EQ(host->connection.eventCount(), 1u);
  EXPECT_EQ(host->connection.events()[0].dataUtf8(), "ABC");
  HostVariant result;
  EXPECT_TRUE(host->Action("SetHotkey1", &result));
  EXPECT_TRUE(result.type == kVariantBool && !result.boolValue);
  keys->Tap(kDefaultKeycode);
  Settle();
  EXPECT_EQ(host->connection.eventCount(), 1u) << "nothing is grabbed on window 0";
  EXPECT_TRUE(host->CloseDevice());
}

// A window listed in _NET_CLIENT_LIST may be gone by the time it is read:
// it is skipped, and the error that read caused stays with the library.
TEST_F(Discovery, AWindowThatVanishedFromTheListIsSkipped) {
  static std::atomic<int> hostErrors{0};
  XSetErrorHandler([](Display*, XErrorEvent*) {
    ++hostErrors;
    return 0;
  });
  window = MakeWindow();
  ASSERT_TRUE(window && window->Activate());
  Client client;
  const Window root = DefaultRootWindow(client.display);
  std::vector<unsigned long> listed =
      hostkit::ReadListProperty(client.display, root, "_NET_CLIENT_LIST");
  ASSERT_FALSE(listed.empty());
  listed.insert(listed.begin(), 0x7FFFFFE);  // no such window
  XChangeProperty(client.display, root, XInternAtom(client.display, "_NET_CLIENT_LIST", False),
                  XA_WINDOW, 32, PropModeReplace, reinterpret_cast<unsigned char*>(listed.data()),
                  static_cast<int>(listed.size()));
  XSync(client.display, False);

  host = std::make_unique<testhost::TestHost>();
  ASSERT_TRUE(host->SetText("TestCode", "found"));
  ASSERT_TRUE(host->OpenDevice());
  ASSERT_TRUE(PressAndWait(kDefaultKeycode, 0, 1)) << "the window after the vanished one was found";
  EXPECT_EQ(hostErrors.load(), 0);
}

TEST_F(Discovery, ManyForeignWindowsListedBeforeOursAreSkipped) {
  std::vector<std::unique_ptr<HostTopLevelWindow>> others;
  WindowOptions other;
  other.pid = getpid() + 100000;
  other.width = other.height = 10;
  for (int i = 0; i < 70; ++i) others.push_back(MakeWindow(other));
  StartHost();
  ASSERT_TRUE(host->OpenDevice());
  ASSERT_TRUE(others.back()->Activate());
  EXPECT_TRUE(host->Generate("1", false, true));
  Client client;
  EXPECT_TRUE(WaitUntil([&] { return ActiveWindow(client.display) == window->id(); }, 5s));
}

// Hotkey texts: modifier prefixes in a fixed order and key names from the
// server's keyboard map, reloaded from the profile on every call.
class SettingsXml : public SharedXDesktop {};

TEST_F(SettingsXml, ShowsHotkeysAndPidAndIsWellFormed) {
  StartHost();
  std::string xml = host->Parameters();
  EXPECT_NE(xml.find("DefaultValue=\"grave\" Description=\"Hotkey for barcode 1\""),
            std::string::npos);
  EXPECT_NE(xml.find("DefaultValue=\"Shift + grave\" Description=\"Hotkey for barcode 2\""),
            std::string::npos);
  for (const char* placeholder : {"Hotkey1DefValue", "Hotkey2DefValue", "CurrentPidDefValue"})
    EXPECT_EQ(xml.find(placeholder), std::string::npos);

  const int a = static_cast<int>(keys->KeycodeOf("a"));
  host->connection.SetSetting("Hotkey1", a);
  host->connection.SetSetting("Modifier1",
                              8 | 4 | 1 | 16 | 2);  // Alt, Ctrl, Shift, NumLock, CapsLock
  host->connection.SetSetting("Hotkey2", 8);        // a keycode with no symbol
  host->connection.SetSetting("Modifier2", 1);
  xml = host->Parameters();
  EXPECT_NE(xml.find("DefaultValue=\"Shift + Ctrl + Alt + a\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("DefaultValue=\"Shift + Undef\""), std::string::npos);

  // Well-formed: every element opened is closed, in order.
  std::vector<std::string> open;
  for (std::size_t at = xml.find('<', 1); at != std::string::npos; at = xml.find('<', at + 1)) {
    const std::size_t end = xml.find('>', at);
    ASSERT_NE(end, std::string::npos);
    const std::string tag = xml.substr(at + 1, end - at - 1);
    if (tag.back() == '/') continue;
    if (tag[0] == '/') {
      ASSERT_FALSE(open.empty());
      EXPECT_EQ(tag.substr(1), open.back());
      open.pop_back();
    } else {
      open.push_back(tag.substr(0, tag.find(' ')));
    }
    EXPECT_EQ(std::count(tag.begin(), tag.end(), '"') % 2, 0) << tag;
  }
  EXPECT_TRUE(open.empty());

  host->component->ApplyLocale(testhost::Ptr(testhost::Host("ru_RU")));
  xml = host->Parameters();
  EXPECT_NE(xml.find("Caption = \"Горячая клавиша\" TypeValue = \"String\" ReadOnly=\"true\" "
                     "DefaultValue=\"Shift + Ctrl + Alt + a\""),
            std::string::npos);
  // Values outside 8..255 are no keycodes: the default key is shown (and grabbed).
  host->connection.SetSetting("Hotkey1", 256);
  host->connection.SetSetting("Hotkey2", 0);
  xml = host->Parameters();
  EXPECT_NE(xml.find("DefaultValue=\"Shift + Ctrl + Alt + grave\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("DefaultValue=\"Shift + grave\""), std::string::npos);
}

}  // namespace

namespace {

using namespace xtest;

// DISPLAY naming a screen the server does not have counts as no display.
TEST_F(SharedXDesktop, AScreenTheServerDoesNotHaveCountsAsNoDisplay) {
  window = MakeWindow();
  ASSERT_TRUE(window && window->Activate());
  setenv("DISPLAY", (display + ".5").c_str(), 1);
  host = std::make_unique<testhost::TestHost>();
  EXPECT_NE(host->Parameters().find("DefaultValue=\"Shift + Undef\""), std::string::npos);
  ASSERT_TRUE(host->OpenDevice());
  EXPECT_FALSE(host->Generate("1", false, true));
  EXPECT_TRUE(host->Generate("2", false));
  HostVariant result;
  EXPECT_TRUE(host->Action("SetHotkey2", &result));
  EXPECT_FALSE(result.boolValue);
  EXPECT_TRUE(host->CloseDevice());
  EXPECT_EQ(host->connection.eventCount(), 1u);
}

}  // namespace
