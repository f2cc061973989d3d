#include "x11/keyboard.h"

#include <X11/Xlib.h>

#include "x11/connection.h"

namespace wedgesim::x11 {

xcb_get_keyboard_mapping_cookie_t KeyboardMap::Request(xcb_connection_t* connection) {
  const xcb_setup_t* setup = xcb_get_setup(connection);
  return xcb_get_keyboard_mapping(
      connection, setup->min_keycode,
      static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1));
}

KeyboardMap KeyboardMap::Read(xcb_connection_t* connection,
                              xcb_get_keyboard_mapping_cookie_t cookie) {
  CountRoundTrip();
  KeyboardMap map;
  const Owned<xcb_get_keyboard_mapping_reply_t> reply(
      xcb_get_keyboard_mapping_reply(connection, cookie, nullptr));
  if (!reply || reply->keysyms_per_keycode == 0) return map;
  const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(reply.get());
  map.minKeycode_ = xcb_get_setup(connection)->min_keycode;
  map.perKeycode_ = reply->keysyms_per_keycode;
  map.symbols_.assign(symbols, symbols + xcb_get_keyboard_mapping_keysyms_length(reply.get()));
  return map;
}

std::uint32_t KeyboardMap::FirstSymbol(std::uint32_t keycode) const {
  if (perKeycode_ == 0 || keycode < minKeycode_) return 0;
  const std::size_t at = std::size_t{keycode - minKeycode_} * perKeycode_;
  return at < symbols_.size() ? symbols_[at] : 0;
}

bool KeyboardMap::HasSymbol(std::uint32_t keycode, std::uint32_t keysym) const {
  if (perKeycode_ == 0 || keycode < minKeycode_) return false;
  const std::size_t first = std::size_t{keycode - minKeycode_} * perKeycode_;
  for (std::size_t i = first; i < first + perKeycode_ && i < symbols_.size(); ++i)
    if (symbols_[i] == keysym) return true;
  return false;
}

std::uint16_t LockModifiers(xcb_connection_t* connection) {
  std::uint16_t locks = kLockMask;
  const xcb_get_modifier_mapping_cookie_t modifiers = xcb_get_modifier_mapping(connection);
  const KeyboardMap keyboard = KeyboardMap::Fetch(connection);  // the one wait for both
  const Owned<xcb_get_modifier_mapping_reply_t> reply(
      xcb_get_modifier_mapping_reply(connection, modifiers, nullptr));
  if (!reply) return locks;
  const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(reply.get());
  const int perModifier = reply->keycodes_per_modifier;
  // Modifiers 0 to 7 are Shift, Lock, Control and Mod1..Mod5, bit i each.
  for (int modifier = 0; modifier < 8; ++modifier)
    for (int k = 0; k < perModifier; ++k) {
      const xcb_keycode_t keycode = keycodes[modifier * perModifier + k];
      if (keycode == 0) continue;
      if (keyboard.HasSymbol(keycode, kNumLockKeysym) ||
          keyboard.HasSymbol(keycode, kScrollLockKeysym))
        locks = static_cast<std::uint16_t>(locks | (1U << modifier));
    }
  return locks;
}

std::uint32_t KeySymbol(xcb_connection_t* connection, std::uint32_t keycode) {
  // Keycodes are 8-bit on the wire; the value is truncated the way Xlib's
  // KeyCode type truncates it.
  const auto key = static_cast<xcb_keycode_t>(keycode & 0xFF);
  const xcb_setup_t* setup = xcb_get_setup(connection);
  if (key < setup->min_keycode || key > setup->max_keycode) return 0;
  CountRoundTrip();
  const Owned<xcb_get_keyboard_mapping_reply_t> reply(xcb_get_keyboard_mapping_reply(
      connection, xcb_get_keyboard_mapping(connection, key, 1), nullptr));
  if (!reply || reply->keysyms_per_keycode == 0) return 0;
  return xcb_get_keyboard_mapping_keysyms(reply.get())[0];
}

std::string KeysymName(std::uint32_t keysym) {
  if (keysym == 0) return {};
  // XKeysymToString needs no display: it only looks the symbol up in tables.
  const char* name = XKeysymToString(static_cast<KeySym>(keysym));
  return name != nullptr ? std::string(name) : std::string();
}

}  // namespace wedgesim::x11
