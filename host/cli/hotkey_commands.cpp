// `wedgesim set-hotkey`, `wedgesim hotkeys` and the hidden `wedgesim _press`
// (a key tap through XTest, for scripts that drive the capture window).
#include <iostream>

#include "host/cli/addin.h"
#include "host/cli/arguments.h"
#include "host/cli/commands.h"
#include "host/cli/desktop.h"
#include "host/cli/errors.h"
#include "host/cli/hotkeys.h"
#include "host/cli/output.h"
#include "host/cli/profile.h"
#include "host/desktop/display.h"
#include "host/desktop/keys.h"

namespace cli {

namespace {

// X keycodes are 8..255 whatever the keyboard.
constexpr unsigned kFirstKeycode = 8, kLastKeycode = 255;

struct Chosen {
  unsigned keycode = 0, modifiers = 0;
};

// The key --key names, on the display it will be pressed on.
Chosen ResolveKey(const SetHotkeyOptions& options) {
  Chosen chosen;
  chosen.modifiers = ModifierMask(options.modifiers);
  if (!hostkit::KnownKeysym(options.keysym))
    throw CliError(kExitUsage, "unknown keysym " + options.keysym +
                                   " (X keysym names, e.g. F5, grave, a, KP_Enter)");
  // Keycodes belong to a keyboard: the same keysym sits on other keys elsewhere.
  const std::string display = RequireDisplay("set-hotkey --key");
  const hostkit::UniqueDisplay connection = hostkit::OpenDisplay(display);
  chosen.keycode = hostkit::KeycodeOf(connection.get(), options.keysym);
  if (chosen.keycode < kFirstKeycode || chosen.keycode > kLastKeycode)
    throw CliError(kExitUsage,
                   "no key of display " + display + " produces the keysym " + options.keysym);
  return chosen;
}

// Asks the person at the screen for the key in the add-in's capture window;
// false when they cancelled (with the add-in's message in *message).
bool Capture(AddIn& addin, const hostkit::HostTopLevelWindow& window, int slot,
             std::string* message) {
  // On stderr: a prompt for the person at the screen, not part of the result.
  std::cerr << "wedgesim: press the new hotkey " << slot << " in the capture window of host window "
            << WindowText(window.id()) << " (Escape cancels)" << std::endl;
  if (addin.DoAction("SetHotkey" + std::to_string(slot))) return true;
  // The add-in leaves a last-error text only when the person cancelled;
  // otherwise the window could not be shown at all.
  *message = addin.GetLastError().text;
  if (message->empty())
    throw CliError(kExitFailed,
                   "the capture window could not be shown in the host window (run with "
                   "--verbose for the add-in's diagnostics)");
  return false;
}

}  // namespace

int RunSetHotkey(const CommonOptions& common, const SetHotkeyOptions& options) {
  const bool capture = options.keysym.empty() && !options.reset;
  Chosen chosen;
  if (!options.keysym.empty()) chosen = ResolveKey(options);
  // The capture window is a child of the host window, which must be viewable
  // and exist before the add-in is loaded (it looks for it then). The capture
  // takes the focus and the keyboard itself, so the window need not be active.
  std::unique_ptr<hostkit::HostTopLevelWindow> window;
  if (capture) window = ShowHostWindow(RequireDisplay("set-hotkey"));

  AddIn addin(common.library, common.verbose);
  const std::string profile = ProfilePath();
  hostkit::HostConnection& connection = addin.connection();
  AttachProfile(connection, profile, true);

  json::Value document;
  document.Add("slot", options.slot);
  if (capture) {
    std::string message;
    if (!Capture(addin, *window, options.slot, &message)) {
      document.Add("cancelled", true).Add("message", message);
      Emit(common.json, document, "cancelled\n");
      return kExitOk;
    }
  } else if (options.reset) {
    connection.RemoveSetting(KeycodeSetting(options.slot));
    connection.RemoveSetting(ModifierSetting(options.slot));
  } else {
    connection.SetSetting(KeycodeSetting(options.slot), static_cast<std::int32_t>(chosen.keycode));
    connection.SetSetting(ModifierSetting(options.slot),
                          static_cast<std::int32_t>(chosen.modifiers));
  }
  // The add-in cannot tell whether the host kept what it wrote; we can.
  if (const std::string failure = connection.profileError(); !failure.empty())
    throw CliError(kExitFailed, "the hotkey was not saved: " + failure);

  const HotkeyView hotkey = ViewHotkey(addin.Parameters(), connection, options.slot);
  document.Add("cancelled", false).Add("hotkey", HotkeyJson(hotkey)).Add("profile", profile);
  Emit(common.json, document,
       "hotkey " + std::to_string(options.slot) + ": " + hotkey.text + " (" + StoredText(hotkey) +
           ", saved in " + profile + ")\n");
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
    const HotkeyView hotkey = ViewHotkey(settings, addin.connection(), slot);
    list.Push(HotkeyJson(hotkey));
    text += "hotkey " + std::to_string(slot) + ": " + Pad(hotkey.text, 20) + " (" +
            StoredText(hotkey) + ")\n";
  }
  document.Add("hotkeys", list).Add("profile", profile);
  // Key names come from the display's keymap; without one the add-in says "Undef".
  const auto display = CurrentDisplay();
  if (!display || !DisplayOpens(*display)) text += "(no display: key names are unknown)\n";
  text += "profile: " + profile + '\n';
  Emit(common.json, document, text);
  return kExitOk;
}

int RunPress(const CommonOptions& common, const PressOptions& options) {
  const unsigned mask = ModifierMask(options.modifiers);
  const std::string display = RequireDisplay("_press");
  hostkit::KeyInjector injector(display);
  if (!injector.ok())
    throw CliError(kExitEnvironment, "the X display " + display + " has no XTest extension");

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
