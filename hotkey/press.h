// Which hotkey a key press is. Lock keys (CapsLock, NumLock, ScrollLock)
// never change the answer.
#pragma once

#include <cstdint>
#include <vector>

#include "hotkey/hotkey.h"

namespace wedgesim {

struct PressedKey {
  std::uint32_t keycode;
  std::uint32_t state;  // the modifier and button bits at the press
};

// The modifier bits a grab may name: Shift, Lock, Control, Mod1 to Mod5.
inline constexpr std::uint32_t kModifierBits = 0xFF;

// Every combination of the lock bits, 0 included: the modifiers a hotkey is
// grabbed with, so CapsLock, NumLock and ScrollLock never change it.
inline std::vector<std::uint16_t> LockCombinations(std::uint32_t locks) {
  std::vector<std::uint16_t> combinations;
  std::uint32_t subset = 0;
  do {
    combinations.push_back(static_cast<std::uint16_t>(subset));
    subset = (subset - locks) & locks;  // the next subset of `locks`
  } while (subset != 0);
  return combinations;
}

// Whether a press's modifiers are the hotkey's, lock bits ignored.
inline bool ModifiersMatch(std::uint32_t state, std::int32_t modifiers, std::uint32_t locks) {
  const std::uint32_t relevant = kModifierBits & ~locks;
  return (state & relevant) == (static_cast<std::uint32_t>(modifiers) & relevant);
}

// 1 or 2, or 0 when the press is neither hotkey: its key must be the
// hotkey's and its modifiers exactly the hotkey's (lock bits aside). The
// window's own key presses are selected too, and those no grab took are the
// application's typing: "a" typed while hotkey 1 is Ctrl+A, or F9 while it
// is Ctrl+F9, is no scan. When both hotkeys are the same key and modifiers,
// hotkey 1 takes the press.
inline int HotkeyForPress(PressedKey press, const Hotkey (&hotkeys)[2], std::uint32_t locks) {
  for (int slot = 1; slot <= 2; ++slot) {
    const Hotkey& hotkey = hotkeys[slot - 1];
    if (press.keycode == static_cast<std::uint32_t>(hotkey.keycode) &&
        ModifiersMatch(press.state, hotkey.modifiers, locks))
      return slot;
  }
  return 0;
}

}  // namespace wedgesim
