// The two hotkeys: X keycodes and modifier masks, persisted in the host's
// settings profile and shown as text.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "abi/host_abi.h"

namespace wedgesim {

namespace x11 {
class Connection;
}

inline constexpr std::int32_t kDefaultHotkey1 = 49;
inline constexpr std::int32_t kDefaultModifier1 = 0;
inline constexpr std::int32_t kDefaultHotkey2 = 49;
inline constexpr std::int32_t kDefaultModifier2 = 1;  // ShiftMask

struct Hotkey {
  std::int32_t keycode;
  std::int32_t modifiers;
};

// Process-wide values: rewritten by LoadHotkeys on the host's thread, read
// when a device opens. Slot 2 is hotkey 2; any other slot is hotkey 1.
Hotkey CurrentHotkey(int slot);

// The value names a capture writes (bare) and a load reads (with ":Default").
const wchar_t* HotkeyValueName(int slot);
const wchar_t* ModifierValueName(int slot);

// Restores the four defaults (load time).
void InitializeHotkeys() noexcept;

// Reloads the four values from the settings profile, with the default for
// what cannot be read. A stored keycode outside 8..255 names no key (a grab
// of keycode 0 would take every key of the application): it is refused, with
// a diagnostic, and the default applies.
void LoadHotkeys(IAddInDefBase* connection);

// Reads "NAME:Default" through the connection; the default when there is no
// connection or the read fails.
std::int32_t ReadHotkeySetting(const wchar_t* name, std::int32_t defaultValue,
                               IAddInDefBase* connection);

// Writes a hotkey under the bare value names, keycode first.
void StoreHotkey(IAddInDefBase* connection, int slot, Hotkey hotkey);

// "Shift + ", "Ctrl + ", "Alt + " in that order; other bits add nothing.
std::wstring ModifierPrefix(std::uint32_t mask);

// The keysym name of the key's unshifted symbol, or "Undef" when it has none
// or no display can be opened. Uses `display` when given, else opens its own.
std::wstring KeyName(std::int32_t keycode, x11::Connection* display = nullptr);

std::wstring HotkeyText(std::int32_t keycode, std::int32_t mask,
                        x11::Connection* display = nullptr);

// The texts of both hotkeys as the settings show them, after reloading them
// through `connection`; one display connection names both keys.
struct HotkeyTexts {
  std::wstring first, second;
};
HotkeyTexts LoadHotkeyTexts(IAddInDefBase* connection);

}  // namespace wedgesim
