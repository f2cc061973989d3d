#include "host/cli/hotkeys.h"

#include "host/cli/xml.h"

namespace cli {

std::string KeycodeSetting(int slot) { return "Hotkey" + std::to_string(slot); }
std::string ModifierSetting(int slot) { return "Modifier" + std::to_string(slot); }

std::string HotkeyTextOf(const std::string& settingsXml, int slot) {
  const std::string parameter = slot == 2 ? "HotKey2" : "HotKey1";
  return NamedAttribute(settingsXml, parameter, "DefaultValue").value_or("?");
}

HotkeyView ViewHotkey(const std::string& settingsXml, const hostkit::HostConnection& profile,
                      int slot) {
  return {slot, HotkeyTextOf(settingsXml, slot), profile.Setting(KeycodeSetting(slot)),
          profile.Setting(ModifierSetting(slot))};
}

json::Value HotkeyJson(const HotkeyView& hotkey) {
  auto number = [](const std::optional<std::int32_t>& value) {
    return value ? json::Value(*value) : json::Value();
  };
  json::Value value;
  value.Add("slot", hotkey.slot)
      .Add("text", hotkey.text)
      .Add("keycode", number(hotkey.keycode))
      .Add("modifiers", number(hotkey.modifiers))
      .Add("default", !hotkey.keycode.has_value());
  return value;
}

std::string StoredText(const HotkeyView& hotkey) {
  if (!hotkey.keycode) return "default";
  return "keycode " + std::to_string(*hotkey.keycode) + ", modifiers " +
         std::to_string(hotkey.modifiers.value_or(0));
}

}  // namespace cli
