// `wedgesim set-hotkey`: a new hotkey into the profile, captured in the
// add-in's window, or given by keysym or keycode (the keycode needs no display).
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>

#include "host/cli/addin.h"
#include "host/cli/app.h"
#include "host/cli/desktop.h"
#include "host/cli/errors.h"
#include "host/cli/hotkey_view.h"
#include "host/cli/output.h"
#include "host/cli/profile.h"
#include "host/desktop/display.h"
#include "host/desktop/keys.h"

namespace cli {

namespace {

// X keycodes are 8..255 whatever the keyboard.
constexpr long kFirstKeycode = 8, kLastKeycode = 255;

struct SetHotkeyOptions {
  int slot = 1;
  std::string keysym;   // --key
  std::string keycode;  // --keycode
  std::string modifiers;
  bool reset = false;
  std::string timeout = "60";
};

// The key --key names, on the display it will be pressed on.
unsigned KeycodeOfKeysym(const std::string& keysym) {
  if (!hostkit::KnownKeysym(keysym))
    throw CliError(kExitUsage,
                   "unknown keysym " + keysym + " (X keysym names, e.g. F5, grave, a, KP_Enter)");
  // Keycodes belong to a keyboard: the same keysym sits on other keys elsewhere.
  const std::string display = RequireDisplay("set-hotkey --key (or give --keycode)");
  const hostkit::UniqueDisplay connection = hostkit::OpenDisplay(display);
  const unsigned keycode = hostkit::KeycodeOf(connection.get(), keysym);
  if (keycode < kFirstKeycode || keycode > kLastKeycode)
    throw CliError(kExitUsage, "no key of display " + display + " produces the keysym " + keysym);
  return keycode;
}

// Ends the capture once `seconds` have passed: the capture ends when the host
// window it shows in goes away. Owns the window from then on.
class CaptureDeadline {
 public:
  CaptureDeadline(std::unique_ptr<hostkit::HostTopLevelWindow> window, double seconds)
      : window_(std::move(window)), watcher_([this, seconds] {
          std::unique_lock lock(mutex_);
          // A system-clock wait: gcc 10's steady-clock one needs glibc 2.30.
          const auto deadline = std::chrono::system_clock::now() +
                                std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::duration<double>(seconds));
          expired_ = !ended_changed_.wait_until(lock, deadline, [this] { return ended_; });
          window_.reset();
        }) {}
  ~CaptureDeadline() { End(); }
  // The capture returned; true when it was the deadline that ended it.
  bool End() {
    {
      std::lock_guard lock(mutex_);
      ended_ = true;
    }
    ended_changed_.notify_all();
    if (watcher_.joinable()) watcher_.join();
    return expired_;
  }

 private:
  std::unique_ptr<hostkit::HostTopLevelWindow> window_;
  std::mutex mutex_;
  std::condition_variable ended_changed_;
  bool ended_ = false, expired_ = false;
  std::thread watcher_;
};

int SetHotkey(const CommonOptions& common, const SetHotkeyOptions& options) {
  const unsigned modifiers = ModifierMask(options.modifiers);
  const double timeout = ParseSeconds(options.timeout, "--timeout", 1, 3600);
  const bool capture = options.keysym.empty() && options.keycode.empty() && !options.reset;
  long keycode = 0;
  if (!options.keycode.empty())
    keycode = ParseWhole(options.keycode, "--keycode", kFirstKeycode, kLastKeycode, "keycode");
  if (!options.keysym.empty()) keycode = KeycodeOfKeysym(options.keysym);
  // The capture window is a child of the host window, which must be viewable
  // and exist before the add-in is loaded (it looks for it then).
  std::unique_ptr<hostkit::HostTopLevelWindow> window;
  if (capture) window = ShowHostWindow(RequireDisplay("set-hotkey (or give --keycode)"));

  AddIn addin(common.library, common.verbose);
  const std::string profile = ProfilePath();
  hostkit::HostConnection& connection = addin.connection();
  AttachProfile(connection, profile, true);

  Json line = Record("hotkey");
  line["slot"] = options.slot;
  if (capture) {
    // On stderr: a prompt for the person at the screen, not part of the result.
    std::cerr << "wedgesim: press the new hotkey " << options.slot
              << " in the capture window of host window " << WindowText(window->id())
              << " (Escape cancels; " << timeout << " s)" << std::endl;
    CaptureDeadline deadline(std::move(window), timeout);
    const bool captured = addin.DoAction("SetHotkey" + std::to_string(options.slot));
    const bool expired = deadline.End();
    if (!captured) {
      // The add-in leaves a last-error text only when the person cancelled.
      const std::string message = addin.GetLastError().text;
      if (!message.empty()) throw CliError(kExitFailed, "cancelled: " + message);
      if (expired)
        throw CliError(kExitTimedOut, "no key was pressed in " + std::to_string(timeout) +
                                          " s; nothing was stored");
      throw CliError(kExitFailed,
                     "the capture window could not be shown in the host window (run with "
                     "--verbose for the add-in's diagnostics)");
    }
  } else if (options.reset) {
    connection.RemoveSetting(KeycodeSetting(options.slot));
    connection.RemoveSetting(ModifierSetting(options.slot));
  } else {
    connection.SetSetting(KeycodeSetting(options.slot), static_cast<std::int32_t>(keycode));
    connection.SetSetting(ModifierSetting(options.slot), static_cast<std::int32_t>(modifiers));
  }
  // The add-in cannot tell whether the host kept what it wrote; we can.
  if (const std::string failure = connection.profileError(); !failure.empty())
    throw CliError(kExitFailed, "the hotkey was not saved: " + failure);

  const HotkeyView hotkey = ViewHotkey(addin.Parameters(), connection, options.slot);
  line["hotkey"] = HotkeyJson(hotkey);
  line["profile"] = profile;
  Emit(common.json, line,
       "hotkey " + std::to_string(options.slot) + ": " + hotkey.text + " (" + StoredText(hotkey) +
           ", saved in " + profile + ")");
  return kExitOk;
}

}  // namespace

Subcommand AddSetHotkey(CLI::App& app, const CommonOptions& common) {
  auto options = std::make_shared<SetHotkeyOptions>();
  CLI::App* parser = app.add_subcommand(
      "set-hotkey",
      "capture a new hotkey in the add-in's window, or store --key or --keycode without one");
  parser->group("Commands");
  parser->add_option("slot", options->slot, "which hotkey: 1 or 2")
      ->required()
      ->check(CLI::IsMember({1, 2}));
  CLI::Option* key = parser->add_option("--key", options->keysym,
                                        "store the key of this keysym (e.g. F5); needs a display");
  CLI::Option* keycode = parser->add_option("--keycode", options->keycode,
                                            "store this X keycode (8 to 255); needs no display");
  key->excludes(keycode);
  parser->add_option("--mod", options->modifiers,
                     "modifiers held with --key or --keycode: ctrl,shift,alt,super");
  parser->add_flag("--reset", options->reset, "remove the stored hotkey, so the default applies")
      ->excludes(key)
      ->excludes(keycode);
  parser
      ->add_option("--timeout", options->timeout,
                   "seconds the capture waits for a key (default 60)")
      ->type_name("SECONDS");
  return {parser, [&common, options] { return SetHotkey(common, *options); }};
}

}  // namespace cli
