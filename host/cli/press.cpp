// The hidden `wedgesim _press`: key taps through XTest, for scripts that
// drive the capture window.
#include "host/cli/app.h"
#include "host/cli/desktop.h"
#include "host/cli/errors.h"
#include "host/cli/output.h"
#include "host/desktop/keys.h"

namespace cli {

namespace {

struct PressOptions {
  std::vector<std::string> keysyms;
  std::string modifiers;  // e.g. "shift", "ctrl+alt"
};

int Press(const CommonOptions& common, const PressOptions& options) {
  const unsigned mask = ModifierMask(options.modifiers);
  const std::string display = RequireDisplay("_press");
  hostkit::KeyInjector injector(display);
  if (!injector.ok())
    throw CliError(kExitEnvironment, "the X display " + display + " has no XTest extension");
  Json line = Record("pressed");
  line["keys"] = Json::array();
  std::string text;
  for (const std::string& keysym : options.keysyms) {
    const unsigned keycode = injector.KeycodeOf(keysym.c_str());
    if (keycode == 0) throw CliError(kExitUsage, "no key for the keysym " + keysym);
    injector.Tap(keycode, mask);
    line["keys"].push_back({{"keysym", keysym}, {"keycode", keycode}});
    text += (text.empty() ? "" : "\n") + std::string("pressed ") + keysym + " (keycode " +
            std::to_string(keycode) + ")";
  }
  line["modifiers"] = mask;
  Emit(common.json, line, text);
  return kExitOk;
}

}  // namespace

Subcommand AddPress(CLI::App& app, const CommonOptions& common) {
  auto options = std::make_shared<PressOptions>();
  CLI::App* parser = app.add_subcommand("_press", "tap keys through XTest");
  parser->group("");  // for scripts; not part of the advertised interface
  parser->add_option("keysym", options->keysyms, "keysym names, e.g. Escape")->required();
  parser->add_option("--modifiers", options->modifiers, "held while tapping: shift+ctrl+alt+super");
  return {parser, [&common, options] { return Press(common, *options); }};
}

}  // namespace cli
