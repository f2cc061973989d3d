#include "driver/hotkey_profile.h"

#include <atomic>
#include <cstring>

#include "abi/diagnostics.h"
#include "abi/host_text.h"
#include "hotkey/naming.h"
#include "text/utf.h"

namespace wedgesim {

namespace {

// Rewritten by LoadHotkeys on the host's thread, read when a device opens.
std::atomic<std::int32_t> Hotkey1{kDefaultHotkey1.keycode};
std::atomic<std::int32_t> Modifier1{kDefaultHotkey1.modifiers};
std::atomic<std::int32_t> Hotkey2{kDefaultHotkey2.keycode};
std::atomic<std::int32_t> Modifier2{kDefaultHotkey2.modifiers};

std::u16string_view HotkeyValueName(int slot) { return slot == 2 ? u"Hotkey2" : u"Hotkey1"; }
std::u16string_view ModifierValueName(int slot) { return slot == 2 ? u"Modifier2" : u"Modifier1"; }

std::int32_t ReadKeycode(int slot, std::int32_t defaultValue, IAddInDefBase* connection) {
  const std::int32_t keycode = ReadHotkeySetting(HotkeyValueName(slot), defaultValue, connection);
  if (IsKeycode(keycode)) return keycode;
  Diagnostic(
      "the profile's Hotkey%d is %d, which is no X keycode (8 to 255): the default %d applies",
      slot == 2 ? 2 : 1, keycode, defaultValue);
  return defaultValue;
}

void WriteIntegerSetting(IAddInDefBase* connection, std::u16string_view name, std::int32_t number) {
  const std::u16string hostName(name);
  HostVariant value;
  std::memset(&value, 0, sizeof value);
  SetInt32Variant(&value, number);
  connection->WriteSetting(hostName.c_str(), &value);
}

std::u16string Widen(const std::string& ascii) { return text::Utf8ToUtf16Lenient(ascii); }

}  // namespace

Hotkey CurrentHotkey(int slot) {
  if (slot == 2) return {Hotkey2.load(), Modifier2.load()};
  return {Hotkey1.load(), Modifier1.load()};
}

void InitializeHotkeys() noexcept {
  Hotkey1 = kDefaultHotkey1.keycode;
  Modifier1 = kDefaultHotkey1.modifiers;
  Hotkey2 = kDefaultHotkey2.keycode;
  Modifier2 = kDefaultHotkey2.modifiers;
}

void LoadHotkeys(IAddInDefBase* connection) {
  Hotkey1 = ReadKeycode(1, kDefaultHotkey1.keycode, connection);
  Hotkey2 = ReadKeycode(2, kDefaultHotkey2.keycode, connection);
  Modifier1 = ReadHotkeySetting(ModifierValueName(1), kDefaultHotkey1.modifiers, connection);
  Modifier2 = ReadHotkeySetting(ModifierValueName(2), kDefaultHotkey2.modifiers, connection);
}

std::int32_t ReadHotkeySetting(std::u16string_view name, std::int32_t defaultValue,
                               IAddInDefBase* connection) {
  if (connection == nullptr) return defaultValue;
  const std::u16string key = std::u16string(name) + u":Default";
  HostVariant value;
  std::memset(&value, 0, sizeof value);
  long error = 0;
  if (!connection->ReadSetting(key.c_str(), &value, &error, nullptr)) return defaultValue;
  std::int32_t number = 0;
  if (Int32Of(value, &number)) return number;
  // A record of another type holds no number: its first bytes may be half
  // a pointer, and a keycode made of them would grab a key nobody chose.
  Diagnostic("the profile's %s is no integer (record type %u): the default %d applies",
             text::Utf16ToUtf8(name).c_str(), static_cast<unsigned>(value.type), defaultValue);
  return defaultValue;
}

void StoreHotkey(IAddInDefBase* connection, int slot, Hotkey hotkey) {
  WriteIntegerSetting(connection, HotkeyValueName(slot), hotkey.keycode);
  WriteIntegerSetting(connection, ModifierValueName(slot), hotkey.modifiers);
}

HotkeyTextPair LoadHotkeyTexts(IAddInDefBase* connection) {
  LoadHotkeys(connection);
  const HotkeyTexts texts = NameHotkeys(CurrentHotkey(1), CurrentHotkey(2));
  return {Widen(texts.first), Widen(texts.second)};
}

}  // namespace wedgesim
