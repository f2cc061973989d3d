// The keyboard as the server maps it: the symbol of each key, and which
// modifier bits the lock keys (CapsLock, NumLock, ScrollLock) set.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wedgesim::x11 {

inline constexpr std::uint32_t kEscapeKeysym = 0xFF1B;
inline constexpr std::uint32_t kNumLockKeysym = 0xFF7F;
inline constexpr std::uint32_t kScrollLockKeysym = 0xFF14;
inline constexpr std::uint16_t kLockMask = 0x02;  // CapsLock (or ShiftLock) is always Lock

// Whether the keysym is a modifier or lock key: Shift, Control, Caps/Shift
// Lock, Meta, Alt, Super, Hyper, the ISO level and group shifts, Mode_switch,
// Num_Lock and Scroll_Lock. Such a key alone is no hotkey.
inline bool IsModifierKeysym(std::uint32_t keysym) {
  return (keysym >= 0xFFE1 && keysym <= 0xFFEE) ||  // Shift_L .. Hyper_R
         (keysym >= 0xFE01 && keysym <= 0xFE13) ||  // ISO_Lock .. ISO_Level5_Lock
         keysym == 0xFF7E || keysym == kNumLockKeysym || keysym == kScrollLockKeysym;
}

// Every key's symbols, read in one request, so questions about keys need no
// further round trip (and have an answer even after the connection is lost).
class KeyboardMap {
 public:
  KeyboardMap() = default;
  // Requests the map now; Read() collects it, so other requests can share the wait.
  static xcb_get_keyboard_mapping_cookie_t Request(xcb_connection_t* connection);
  static KeyboardMap Read(xcb_connection_t* connection, xcb_get_keyboard_mapping_cookie_t cookie);
  static KeyboardMap Fetch(xcb_connection_t* connection) {
    return Read(connection, Request(connection));
  }

  bool empty() const { return symbols_.empty(); }
  // The unshifted symbol of a key (its first), or 0.
  std::uint32_t FirstSymbol(std::uint32_t keycode) const;
  // Whether any of the key's symbols is `keysym`.
  bool HasSymbol(std::uint32_t keycode, std::uint32_t keysym) const;

 private:
  std::uint32_t minKeycode_ = 0;
  std::uint32_t perKeycode_ = 0;
  std::vector<std::uint32_t> symbols_;
};

// The modifier bits the lock keys set on this server: Lock, and the bits of
// the keys that carry Num_Lock and Scroll_Lock (usually Mod2 and none). One
// wait for the server.
std::uint16_t LockModifiers(xcb_connection_t* connection);

// The unshifted symbol of one key, asked of the server; 0 when it has none.
std::uint32_t KeySymbol(xcb_connection_t* connection, std::uint32_t keycode);

// The name of a keysym ("grave", "F9"), or empty when it has none.
std::string KeysymName(std::uint32_t keysym);

}  // namespace wedgesim::x11
