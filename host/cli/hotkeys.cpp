// `wedgesim hotkeys`: both hotkeys as the add-in shows them and as the
// profile keeps them.
#include "host/cli/addin.h"
#include "host/cli/app.h"
#include "host/cli/desktop.h"
#include "host/cli/hotkey_view.h"
#include "host/cli/output.h"
#include "host/cli/profile.h"

namespace cli {

namespace {

int Hotkeys(const CommonOptions& common) {
  AddIn addin(common.library, common.verbose);
  const std::string profile = ProfilePath();
  AttachProfile(addin.connection(), profile, false);
  const std::string settings = addin.Parameters();

  Json line = Record("hotkeys");
  line["hotkeys"] = Json::array();
  std::string text;
  for (int slot = 1; slot <= 2; ++slot) {
    const HotkeyView hotkey = ViewHotkey(settings, addin.connection(), slot);
    line["hotkeys"].push_back(HotkeyJson(hotkey));
    text += "hotkey " + std::to_string(slot) + ": " + Pad(hotkey.text, 20) + " (" +
            StoredText(hotkey) + ")\n";
  }
  line["profile"] = profile;
  // Key names come from the display's keymap; without one the add-in says "Undef".
  const auto display = CurrentDisplay();
  if (!display || !DisplayOpens(*display)) text += "(no display: key names are unknown)\n";
  text += "profile: " + profile;
  Emit(common.json, line, text);
  return 0;
}

}  // namespace

Subcommand AddHotkeys(CLI::App& app, const CommonOptions& common) {
  CLI::App* parser =
      app.add_subcommand("hotkeys", "show both hotkeys, as text and as kept in the profile");
  parser->group("Commands");
  return {parser, [&common] { return Hotkeys(common); }};
}

}  // namespace cli
