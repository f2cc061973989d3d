// The hotkeys as the host's settings profile keeps them ("Hotkey1",
// "Modifier1", "Hotkey2", "Modifier2", 32-bit integers), and the values
// loaded from it, which the device grabs and the settings XML shows.
#pragma once

#include <cstdint>
#include <string>

#include "abi/host_abi.h"
#include "hotkey/hotkey.h"

namespace wedgesim {

inline constexpr Hotkey kDefaultHotkey1{49, 0};
inline constexpr Hotkey kDefaultHotkey2{49, 1};  // ShiftMask

// The values last loaded (the defaults before the first load). Slot 2 is
// hotkey 2; any other slot is hotkey 1.
Hotkey CurrentHotkey(int slot);

// Restores the four defaults (load time).
void InitializeHotkeys() noexcept;

// Reloads the four values from the profile, with the default for what cannot
// be read. A stored keycode outside 8..255 names no key (a grab of keycode 0
// would take every key of the application): it is refused, with a
// diagnostic, and the default applies.
void LoadHotkeys(IAddInDefBase* connection);

// Reads "NAME:Default" through the connection: the stored integer, or the
// default when there is no connection, the read fails, or the record the
// host filled is not an integer.
std::int32_t ReadHotkeySetting(std::u16string_view name, std::int32_t defaultValue,
                               IAddInDefBase* connection);

// Writes a hotkey under the bare value names, keycode first.
void StoreHotkey(IAddInDefBase* connection, int slot, Hotkey hotkey);

// Both hotkeys as the settings show them ("Ctrl + F9"), after reloading them
// through `connection`.
struct HotkeyTextPair {
  std::u16string first, second;
};
HotkeyTextPair LoadHotkeyTexts(IAddInDefBase* connection);

}  // namespace wedgesim
