// `wedgesim set-hotkey`, `wedgesim hotkeys` and the hidden `wedgesim _press`
// (a key tap through XTest, for scripts that drive the capture window).
#include <iostream>

#include "host/cli/addin.h"
#include "host/cli/commands.h"
#include "host/cli/desktop.h"
#include "host/cli/errors.h"
#include "host/cli/output.h"
#include "host/cli/profile.h"

namespace cli {

namespace {

std::string RawText(const std::optional<std::int32_t>& keycode,
                    const std::optional<std::int32_t>& modifiers) {
  if (!keycode) return "default";
  return "keycode " + std::to_string(*keycode) + ", modifiers " +
         std::to_string(modifiers.value_or(0));
}

json::Value RawJson(const std::optional<std::int32_t>& value) {
  return value ? json::Value(*value) : json::Value();
}

}  // namespace

int RunSetHotkey(const CommonOptions& common, const SetHotkeyOptions& options) {
  const std::string display = RequireDisplay("set-hotkey");
  // The capture window is a child of the host window, which must be viewable;
  // it takes the focus and the keyboard itself, so the host window need not
  // be activated first.
  auto window = ShowHostWindow(display);

  AddIn addin(common.library, common.verbose);
  const std::string profile = ProfilePath();
  AttachProfile(addin.connection(), profile, true);

  const std::string slot = std::to_string(options.slot);
  // On stderr: a prompt for the person at the screen, not part of the result.
  std::cerr << "wedgesim: press the new hotkey " << slot << " in the capture window of host window "
            << WindowText(window->id()) << " (Escape cancels)" << std::endl;
  const bool captured = addin.DoAction("SetHotkey" + slot);

  json::Value document;
  document.Add("slot", options.slot);
  if (!captured) {
    // The add-in leaves a last-error text only when the person cancelled;
    // otherwise the window could not be shown at all.
    const LastError error = addin.GetLastError();
    if (error.text.empty())
      throw CliError(kExitFailed,
                     "the capture window could not be shown in the host window (run with "
                     "--verbose for the add-in's diagnostics)");
    document.Add("cancelled", true).Add("message", error.text);
    Emit(common.json, document, "cancelled\n");
    return kExitOk;
  }
  // The add-in cannot tell whether the host kept what it wrote; we can.
  if (const std::string failure = addin.connection().profileError(); !failure.empty())
    throw CliError(kExitFailed, "the hotkey was captured but not saved: " + failure);
  const std::string text = HotkeyTextOf(addin.Parameters(), options.slot);
  const auto keycode = addin.connection().Setting("Hotkey" + slot);
  const auto modifiers = addin.connection().Setting("Modifier" + slot);
  document.Add("cancelled", false)
      .Add("text", text)
      .Add("keycode", RawJson(keycode))
      .Add("modifiers", RawJson(modifiers))
      .Add("profile", profile);
  Emit(common.json, document,
       "hotkey " + slot + ": " + text + " (" + RawText(keycode, modifiers) + ", saved in " +
           profile + ")\n");
  return kExitOk;
}

int RunHotkeys(const CommonOptions& common) {
  AddIn addin(common.library, common.verbose);
  const std::string profile = ProfilePath();
  AttachProfile(addin.connection(), profile, false);
  const std::string settings = addin.Parameters();

  json::Value document, list = json::Array{};
  std::string text;
  for (int slot = 1; slot <= 2; ++slot) {
    const std::string number = std::to_string(slot);
    const auto keycode = addin.connection().Setting("Hotkey" + number);
    const auto modifiers = addin.connection().Setting("Modifier" + number);
    const std::string shown = HotkeyTextOf(settings, slot);
    json::Value entry;
    entry.Add("slot", slot)
        .Add("text", shown)
        .Add("keycode", RawJson(keycode))
        .Add("modifiers", RawJson(modifiers))
        .Add("default", !keycode.has_value());
    list.Push(entry);
    text += "hotkey " + number + ": " + Pad(shown, 20) + " (" + RawText(keycode, modifiers) + ")\n";
  }
  document.Add("hotkeys", list).Add("profile", profile);
  // Key names come from the display's keymap; without one the add-in says "Undef".
  if (!CurrentDisplay()) text += "(no display: key names are unknown)\n";
  text += "profile: " + profile + '\n';
  Emit(common.json, document, text);
  return kExitOk;
}

int RunPress(const CommonOptions& common, const PressOptions& options) {
  const std::string display = RequireDisplay("_press");
  hostkit::KeyInjector injector(display);
  if (!injector.ok()) throw CliError(kExitEnvironment, "cannot open the X display " + display);

  // X modifier masks: ShiftMask, ControlMask, Mod1Mask.
  unsigned mask = 0;
  std::string rest = options.modifiers;
  while (!rest.empty()) {
    const std::size_t plus = rest.find('+');
    const std::string name = rest.substr(0, plus);
    rest = plus == std::string::npos ? "" : rest.substr(plus + 1);
    if (name == "shift") {
      mask |= 1U;
    } else if (name == "ctrl") {
      mask |= 4U;
    } else if (name == "alt") {
      mask |= 8U;
    } else {
      throw CliError(kExitUsage, "unknown modifier " + name + " (shift, ctrl, alt)");
    }
  }

  json::Value document, pressed = json::Array{};
  std::string text;
  for (const std::string& keysym : options.keysyms) {
    const unsigned keycode = injector.KeycodeOf(keysym.c_str());
    if (keycode == 0) throw CliError(kExitUsage, "no key for the keysym " + keysym);
    injector.Tap(keycode, mask);
    json::Value key;
    key.Add("keysym", keysym).Add("keycode", keycode);
    pressed.Push(key);
    text += "pressed " + keysym + " (keycode " + std::to_string(keycode) + ")\n";
  }
  document.Add("pressed", pressed).Add("modifiers", mask);
  Emit(common.json, document, text);
  return kExitOk;
}

}  // namespace cli
