#include "host/cli/hotkey_view.h"

#include "host/cli/settings_xml.h"

namespace cli {

std::string KeycodeSetting(int slot) { return "Hotkey" + std::to_string(slot); }
std::string ModifierSetting(int slot) { return "Modifier" + std::to_string(slot); }

HotkeyView ViewHotkey(const std::string& settingsXml, const hostkit::HostConnection& profile,
                      int slot) {
  const std::string parameter = slot == 2 ? "HotKey2" : "HotKey1";
  return {slot, NamedAttribute(settingsXml, parameter, "DefaultValue").value_or("?"),
          profile.Setting(KeycodeSetting(slot)), profile.Setting(ModifierSetting(slot))};
}

Json HotkeyJson(const HotkeyView& hotkey) {
  Json value;
  value["slot"] = hotkey.slot;
  value["text"] = hotkey.text;
  value["keycode"] = hotkey.keycode ? Json(*hotkey.keycode) : Json();
  value["modifiers"] = hotkey.modifiers ? Json(*hotkey.modifiers) : Json();
  value["default"] = !hotkey.keycode.has_value();
  return value;
}

std::string StoredText(const HotkeyView& hotkey) {
  if (!hotkey.keycode) return "default";
  return "keycode " + std::to_string(*hotkey.keycode) + ", modifiers " +
         std::to_string(hotkey.modifiers.value_or(0));
}

}  // namespace cli
