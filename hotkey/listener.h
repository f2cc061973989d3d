// One hotkey's hold on the host's window: a display connection of its own,
// and a passive grab of the key with every combination of the lock modifiers
// added, so CapsLock, NumLock and ScrollLock never change what the key does.
// Not a thread: the device thread polls its connection and drains it.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "hotkey/hotkey.h"
#include "hotkey/press.h"
#include "x11/connection.h"

namespace wedgesim {

class HotkeyListener {
 public:
  using Clock = std::chrono::steady_clock;

  // Connects and grabs now, on the calling thread, so the key is held when
  // the device's Open returns. `selectPresses`: also select the key presses
  // that reach the window without a grab (one listener does, so such a press
  // arrives once). `locks`: the lock modifiers when another listener has
  // already asked the server (0: ask). Check ok() afterwards.
  HotkeyListener(int slot, Hotkey hotkey, std::uint32_t window, bool selectPresses,
                 std::uint32_t locks = 0);
  ~HotkeyListener();
  HotkeyListener(const HotkeyListener&) = delete;
  HotkeyListener& operator=(const HotkeyListener&) = delete;

  // Connected, and the window exists.
  bool ok() const { return ok_; }
  bool lost() const { return xcb_connection_has_error(display_.get()) != 0; }
  int fd() const { return display_.fd(); }
  // The modifier bits of the lock keys on this server.
  std::uint32_t locks() const { return locks_; }

  // Hands every key press that has arrived to onPress(PressedKey) -> bool,
  // without waiting; stops early when it returns false. False when the
  // server connection is lost.
  template <typename OnPress>
  bool Drain(OnPress&& onPress);

  // When refused grabs are next due to be tried again; nothing when none is.
  bool retrying() const;
  Clock::time_point nextRetry() const { return nextRetry_; }
  // Tries the grabs another client held again.
  void RetryRefused();

  // Lets every grab go and waits until the server has done it; then another
  // client can take the key. Harmless when called again. In two halves, so
  // several listeners share one wait: BeginRelease() on each, then
  // FinishRelease() on each (which counts no round trip: the caller counts
  // the one wait they share).
  void BeginRelease();
  bool released() const { return released_; }
  void FinishRelease();

 private:
  enum class Grab : std::uint8_t { Held, Refused, Failed };
  struct Variant {
    std::uint16_t modifiers;
    Grab state;
  };
  void GrabVariants(bool firstTime);

  int slot_;
  Hotkey hotkey_;
  std::uint32_t window_;
  x11::Connection display_;
  bool ok_ = false;
  bool released_ = false;
  bool confirming_ = false;
  xcb_get_input_focus_cookie_t confirmation_{};
  std::uint32_t locks_ = 0;
  std::vector<Variant> variants_;
  Clock::time_point nextRetry_{};
};

template <typename OnPress>
bool HotkeyListener::Drain(OnPress&& onPress) {
  xcb_connection_t* c = display_.get();
  // poll() sees only the socket: take what XCB has already buffered first.
  while (const x11::Owned<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
    if (x11::EventType(*event) != XCB_KEY_PRESS) continue;  // errors of our requests included
    const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
    if (!onPress(PressedKey{press->detail, press->state})) break;
  }
  return !lost();
}

}  // namespace wedgesim
