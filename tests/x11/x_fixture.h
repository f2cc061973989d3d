// A private X desktop for one test: Xvfb with openbox, the host's top-level
// window made before the library is loaded (the library finds it at load
// time), a key injector, and the library loaded by the test host.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "host/desktop/display.h"
#include "host/desktop/keys.h"
#include "host/desktop/private_server.h"
#include "host/desktop/window.h"
#include "host/kit/default_hotkeys.h"
#include "host/kit/wait.h"
#include "tests/support/test_host.h"

// Last: Xlib defines macros (None, Bool, Status) that other headers use as names.
#include <X11/Xlib.h>

namespace xtest {

using namespace std::chrono_literals;
using hostkit::HostTopLevelWindow;
using hostkit::KeyInjector;
using hostkit::PrivateXServer;
using hostkit::WaitUntil;
using hostkit::WindowOptions;

class XDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    server = PrivateXServer::Start({}, &error);
    ASSERT_TRUE(server) << error;
    UseDisplay(server->display());
  }

  void UseDisplay(const std::string& name) {
    display = name;
    setenv("DISPLAY", display.c_str(), 1);
    keys = std::make_unique<KeyInjector>(display);
    ASSERT_TRUE(keys->ok());
  }

  // A top-level window of this process (or, with options.pid, of another).
  std::unique_ptr<HostTopLevelWindow> MakeWindow(const WindowOptions& options = {}) {
    std::string error;
    auto made = HostTopLevelWindow::Create(display, options, &error);
    EXPECT_TRUE(made) << error;
    if (made && options.map) {
      EXPECT_TRUE(made->WaitListed());
    }
    return made;
  }

  // The usual host: one normal window with the focus, then the library.
  void StartHost() {
    window = MakeWindow();
    ASSERT_TRUE(window);
    ASSERT_TRUE(window->Activate());
    host = std::make_unique<testhost::TestHost>();
  }

  // Presses a key and waits until the host has `events` events in all.
  bool PressAndWait(unsigned keycode, unsigned modifiers, std::size_t events) {
    keys->Tap(keycode, modifiers);
    return host->connection.WaitForEvents(events, 5s);
  }

  // A short grace period in which an event that should not come would have.
  void Settle() {
    keys->Sync();
    host->connection.WaitForEvents(1000, 150ms);
  }

  std::unique_ptr<PrivateXServer> server;  // none on the shared desktop
  std::string display;
  std::unique_ptr<KeyInjector> keys;
  std::unique_ptr<HostTopLevelWindow> window;
  std::unique_ptr<testhost::TestHost> host;  // destroyed first
};

// For tests that need no server of their own: they press no keys, rely on
// no focus and change nothing on the root window, so they share the run's
// desktop (tests/support/shared_x_server.cpp) when CTest provides one, and
// start their own when run alone.
class SharedXDesktop : public XDesktop {
 protected:
  void SetUp() override {
    const char* state = std::getenv("WEDGESIM_TEST_SHARED_X");
    std::string shared;
    if (state == nullptr || !(std::ifstream(state) >> shared)) return XDesktop::SetUp();
    UseDisplay(shared);
  }
};

// Default hotkeys: this keycode alone, and with Shift.
inline constexpr unsigned kDefaultKeycode = hostkit::kDefaultHotkey1.keycode;
static_assert(hostkit::kDefaultHotkey2.keycode == kDefaultKeycode &&
              hostkit::kDefaultHotkey2.modifiers == ShiftMask);

// A separate client's connection (to DISPLAY), for checks the test makes itself.
struct Client {
  hostkit::UniqueDisplay connection = hostkit::OpenDisplay();
  Display* const display = connection.get();
};

// Whether another client can grab the key now (it cannot while we hold it).
inline bool CanGrab(unsigned long window, unsigned keycode, unsigned modifiers) {
  Client client;
  if (client.display == nullptr) {
    ADD_FAILURE() << "cannot connect to the X server to try a grab";
    return false;
  }
  static bool refused;
  refused = false;
  XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) {
    refused = true;
    return 0;
  });
  XGrabKey(client.display, static_cast<int>(keycode), modifiers, window, False, GrabModeAsync,
           GrabModeAsync);
  XSync(client.display, False);
  // Let go at once: a probe that held the key until its connection closed
  // could refuse the library's own grab in the meantime.
  XUngrabKey(client.display, static_cast<int>(keycode), modifiers, window);
  XSync(client.display, False);
  XSetErrorHandler(previous);
  return !refused;
}

}  // namespace xtest
