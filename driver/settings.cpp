#include "driver/settings.h"

#include <mutex>

#include "abi/host_text.h"
#include "delivery/host_window.h"
#include "driver/driver_texts.h"
#include "hotkey/hotkeys.h"
#include "x11/connection.h"

namespace {

struct DriverSettings {
  std::wstring TestCode;
  std::wstring TestCode2;
  bool TestCodeDecodeBase64 = false;
  bool TestCode2DecodeBase64 = false;
};

// Written on the host's thread, read by the listener threads: every access
// copies under this lock.
std::mutex settingsMutex;

DriverSettings& Settings() {
  static auto* settings = new DriverSettings;  // never freed: listeners may read it at exit
  return *settings;
}

void ReplacePlaceholder(std::wstring& text, std::wstring_view placeholder,
                        const std::wstring& value) {
  const std::size_t at = text.find(placeholder);
  if (at != std::wstring::npos) text.replace(at, placeholder.size(), value);
}

}  // namespace

void InitializeDriverSettings() { Settings(); }

BarcodeSetting ReadBarcodeSetting(int slot) {
  std::lock_guard lock(settingsMutex);
  const DriverSettings& settings = Settings();
  if (slot == 2) return {settings.TestCode2, settings.TestCode2DecodeBase64};
  return {settings.TestCode, settings.TestCodeDecodeBase64};
}

bool SetParameter(const std::wstring& name, const HostVariant& value) {
  const bool isText = value.type == kVariantString;
  const bool isFlag = value.type == kVariantBool;
  // The text is converted before the lock is taken; only the swap happens under it.
  std::wstring text = isText ? WideFromHost(value.stringValue) : std::wstring();
  std::lock_guard lock(settingsMutex);
  DriverSettings& settings = Settings();
  if (name == L"TestCode" && isText) settings.TestCode = text;
  if (name == L"TestCode2" && isText) settings.TestCode2 = text;
  if (name == L"TestCodeDecodeBase64" && isFlag) settings.TestCodeDecodeBase64 = BoolOf(value);
  if (name == L"TestCode2DecodeBase64" && isFlag) settings.TestCode2DecodeBase64 = BoolOf(value);
  return true;
}

std::wstring BuildSettingsXml(IAddInDefBase* connection) {
  LoadHotkeys(connection);
  std::wstring xml = CurrentDriverTexts().SettingsXml;
  x11::Connection display;  // one connection names both keys
  const Hotkey first = CurrentHotkey(1);
  const Hotkey second = CurrentHotkey(2);
  ReplacePlaceholder(xml, L"Hotkey1DefValue", HotkeyText(first.keycode, first.modifiers, &display));
  ReplacePlaceholder(xml, L"Hotkey2DefValue",
                     HotkeyText(second.keycode, second.modifiers, &display));
  ReplacePlaceholder(xml, L"CurrentPidDefValue", CurrentPidText());
  return xml;
}
