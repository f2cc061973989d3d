// One hotkey as every command shows it (hotkeys, info, set-hotkey, listen):
// the add-in's own text for it and what the profile holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/cli/output.h"
#include "host/kit/host_connection.h"

namespace cli {

struct HotkeyView {
  int slot = 1;
  std::string text;  // the add-in's, e.g. "Shift + grave"; "?" when it shows none
  // As the profile holds them; unset while the add-in's default applies.
  std::optional<std::int32_t> keycode, modifiers;
};

// The profile's names for hotkey `slot`'s keycode and modifier mask.
std::string KeycodeSetting(int slot);   // "Hotkey1"
std::string ModifierSetting(int slot);  // "Modifier1"

// Hotkey `slot` as the add-in's settings document and `profile` have it.
HotkeyView ViewHotkey(const std::string& settingsXml, const hostkit::HostConnection& profile,
                      int slot);

// {"slot", "text", "keycode", "modifiers", "default"}; keycode and modifiers
// are null while the default applies.
Json HotkeyJson(const HotkeyView& hotkey);

// "default", or "keycode 10, modifiers 4".
std::string StoredText(const HotkeyView& hotkey);

}  // namespace cli
