// Hotkeys shown as text: the modifiers, then the key's keysym name.
#pragma once

#include <cstdint>
#include <string>

#include "hotkey/hotkey.h"

namespace wedgesim {

namespace x11 {
class Connection;
}

// "Shift + ", "Ctrl + ", "Alt + " in that order; other bits add nothing.
std::string ModifierPrefix(std::uint32_t mask);

// The keysym name of the key's unshifted symbol, or "Undef" when it has none
// or no display can be opened. Uses `display` when given, else opens its own.
std::string KeyName(std::int32_t keycode, x11::Connection* display = nullptr);

std::string HotkeyText(Hotkey hotkey, x11::Connection* display = nullptr);

// The texts of both hotkeys; one display connection names both keys.
struct HotkeyTexts {
  std::string first, second;
};
HotkeyTexts NameHotkeys(Hotkey first, Hotkey second);

}  // namespace wedgesim
