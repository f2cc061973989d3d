// Which hotkey a key press is. Lock keys (CapsLock, NumLock, ScrollLock)
// never change the answer.
#pragma once

#include <cstdint>

#include "hotkey/hotkeys.h"

namespace wedgesim {

struct PressedKey {
  std::uint32_t keycode;
  std::uint32_t state;  // the modifier and button bits at the press
};

// The modifier bits a grab may name: Shift, Lock, Control, Mod1 to Mod5.
inline constexpr std::uint32_t kModifierBits = 0xFF;

// Whether a press's modifiers are the hotkey's, lock bits ignored.
inline bool ModifiersMatch(std::uint32_t state, std::int32_t modifiers, std::uint32_t locks) {
  const std::uint32_t relevant = kModifierBits & ~locks;
  return (state & relevant) == (static_cast<std::uint32_t>(modifiers) & relevant);
}

// 1 or 2, or 0 when the press is neither hotkey's key. A press whose key is
// both hotkeys' goes to the one whose modifiers match, else to hotkey 1: a
// press that no grab took (Ctrl with a hotkey that has none, say) still
// sends one barcode, never two.
inline int HotkeyForPress(PressedKey press, const Hotkey (&hotkeys)[2], std::uint32_t locks) {
  const bool first = press.keycode == static_cast<std::uint32_t>(hotkeys[0].keycode);
  const bool second = press.keycode == static_cast<std::uint32_t>(hotkeys[1].keycode);
  if (first && second)
    return ModifiersMatch(press.state, hotkeys[1].modifiers, locks) &&
                   !ModifiersMatch(press.state, hotkeys[0].modifiers, locks)
               ? 2
               : 1;
  if (first) return 1;
  if (second) return 2;
  return 0;
}

}  // namespace wedgesim
