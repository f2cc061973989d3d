// The add-in's hotkeys while the host's profile holds none, as a host knows
// them. Stated here on the host's side, apart from the library's own values
// (no host includes the library's headers): a test that presses these keys
// checks that the library kept its word.
#pragma once

namespace hostkit {

struct Chord {
  unsigned keycode;
  unsigned modifiers;  // X modifier mask
};

// Keycode 49 (the key left of 1 on a US keyboard) alone for hotkey 1, and
// with Shift (ShiftMask, 1) for hotkey 2.
inline constexpr Chord kDefaultHotkey1{49, 0};
inline constexpr Chord kDefaultHotkey2{49, 1};

}  // namespace hostkit
