#include "hotkey/hotkeys.h"

#include <cstring>
#include <memory>

#include "abi/diagnostics.h"
#include "abi/host_text.h"
#include "x11/connection.h"
#include "x11/keyboard.h"

namespace wedgesim {

namespace {

std::atomic<std::int32_t> Hotkey1{kDefaultHotkey1};
std::atomic<std::int32_t> Modifier1{kDefaultModifier1};
std::atomic<std::int32_t> Hotkey2{kDefaultHotkey2};
std::atomic<std::int32_t> Modifier2{kDefaultModifier2};

std::int32_t ReadKeycode(const wchar_t* name, std::int32_t defaultValue,
                         IAddInDefBase* connection) {
  const std::int32_t keycode = ReadHotkeySetting(name, defaultValue, connection);
  if (x11::IsKeycode(keycode)) return keycode;
  Diagnostic("the profile's %ls is %d, which is no X keycode (8 to 255): the default %d applies",
             name, keycode, defaultValue);
  return defaultValue;
}

void WriteIntegerSetting(IAddInDefBase* connection, const wchar_t* name, std::int32_t number) {
  const TemporaryHostText hostName = ToTemporaryHostText(name);
  HostVariant value;
  std::memset(&value, 0, sizeof value);
  SetInt32Variant(&value, number);
  connection->WriteSetting(hostName.get(), &value);
}

}  // namespace

Hotkey CurrentHotkey(int slot) {
  if (slot == 2) return {Hotkey2.load(), Modifier2.load()};
  return {Hotkey1.load(), Modifier1.load()};
}

const wchar_t* HotkeyValueName(int slot) { return slot == 2 ? L"Hotkey2" : L"Hotkey1"; }
const wchar_t* ModifierValueName(int slot) { return slot == 2 ? L"Modifier2" : L"Modifier1"; }

void InitializeHotkeys() noexcept {
  Hotkey1 = kDefaultHotkey1;
  Modifier1 = kDefaultModifier1;
  Hotkey2 = kDefaultHotkey2;
  Modifier2 = kDefaultModifier2;
}

void LoadHotkeys(IAddInDefBase* connection) {
  Hotkey1 = ReadKeycode(L"Hotkey1", kDefaultHotkey1, connection);
  Hotkey2 = ReadKeycode(L"Hotkey2", kDefaultHotkey2, connection);
  Modifier1 = ReadHotkeySetting(L"Modifier1", kDefaultModifier1, connection);
  Modifier2 = ReadHotkeySetting(L"Modifier2", kDefaultModifier2, connection);
}

std::int32_t ReadHotkeySetting(const wchar_t* name, std::int32_t defaultValue,
                               IAddInDefBase* connection) {
  if (connection == nullptr) return defaultValue;
  const std::wstring key = std::wstring(name) + L":Default";
  const TemporaryHostText hostKey = ToTemporaryHostText(key.c_str());
  HostVariant value;
  std::memset(&value, 0, sizeof value);
  long error = 0;
  if (!connection->ReadSetting(hostKey.get(), &value, &error, nullptr)) return defaultValue;
  // The first four bytes of the value area, whatever the record's type says.
  std::int32_t number;
  std::memcpy(&number, &value, sizeof number);
  return number;
}

void StoreHotkey(IAddInDefBase* connection, int slot, Hotkey hotkey) {
  WriteIntegerSetting(connection, HotkeyValueName(slot), hotkey.keycode);
  WriteIntegerSetting(connection, ModifierValueName(slot), hotkey.modifiers);
}

std::wstring ModifierPrefix(std::uint32_t mask) {
  std::wstring prefix;
  if (mask & 1U) prefix += L"Shift + ";
  if (mask & 4U) prefix += L"Ctrl + ";
  if (mask & 8U) prefix += L"Alt + ";
  return prefix;
}

std::wstring KeyName(std::int32_t keycode, x11::Connection* display) {
  std::unique_ptr<x11::Connection> own;
  if (display == nullptr) {
    own = std::make_unique<x11::Connection>();
    display = own.get();
  }
  if (!display->ok()) return L"Undef";
  const std::string name =
      x11::KeysymName(x11::KeySymbol(display->get(), static_cast<std::uint32_t>(keycode)));
  if (name.empty()) return L"Undef";
  return std::wstring(name.begin(), name.end());  // keysym names are ASCII
}

std::wstring HotkeyText(std::int32_t keycode, std::int32_t mask, x11::Connection* display) {
  return ModifierPrefix(static_cast<std::uint32_t>(mask)) + KeyName(keycode, display);
}

HotkeyTexts LoadHotkeyTexts(IAddInDefBase* connection) {
  LoadHotkeys(connection);
  x11::Connection display;
  const Hotkey first = CurrentHotkey(1), second = CurrentHotkey(2);
  return {HotkeyText(first.keycode, first.modifiers, &display),
          HotkeyText(second.keycode, second.modifiers, &display)};
}

}  // namespace wedgesim
