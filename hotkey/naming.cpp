#include "hotkey/naming.h"

#include <memory>

#include "x11/connection.h"
#include "x11/keyboard.h"

namespace wedgesim {

std::string ModifierPrefix(std::uint32_t mask) {
  std::string prefix;
  if (mask & 1U) prefix += "Shift + ";
  if (mask & 4U) prefix += "Ctrl + ";
  if (mask & 8U) prefix += "Alt + ";
  return prefix;
}

std::string KeyName(std::int32_t keycode, x11::Connection* display) {
  std::unique_ptr<x11::Connection> own;
  if (display == nullptr) {
    own = std::make_unique<x11::Connection>();
    display = own.get();
  }
  if (!display->ok()) return "Undef";
  const std::string name =
      x11::KeysymName(x11::KeySymbol(display->get(), static_cast<std::uint32_t>(keycode)));
  return name.empty() ? "Undef" : name;
}

std::string HotkeyText(Hotkey hotkey, x11::Connection* display) {
  return ModifierPrefix(static_cast<std::uint32_t>(hotkey.modifiers)) +
         KeyName(hotkey.keycode, display);
}

HotkeyTexts NameHotkeys(Hotkey first, Hotkey second) {
  x11::Connection display;
  return {HotkeyText(first, &display), HotkeyText(second, &display)};
}

}  // namespace wedgesim
