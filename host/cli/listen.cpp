// `wedgesim listen`: the add-in open on the user's display, printing every
// barcode event the hotkeys produce until Ctrl+C or SIGTERM.
#include <signal.h>

#include <cstring>
#include <iostream>
#include <mutex>

#include "host/cli/addin.h"
#include "host/cli/arguments.h"
#include "host/cli/commands.h"
#include "host/cli/desktop.h"
#include "host/cli/errors.h"
#include "host/cli/events.h"
#include "host/cli/hotkeys.h"
#include "host/cli/output.h"
#include "host/cli/profile.h"

namespace cli {

namespace {

// SIGINT and SIGTERM are blocked in every thread and taken with sigwait on
// the main thread, so the shutdown runs as ordinary code (Close, destroy)
// rather than inside a signal handler. Blocked before the add-in starts its
// listener threads, which inherit the mask.
sigset_t BlockStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

std::string Shown(const std::string& code, bool set, bool base64) {
  if (!set) return "(the add-in's own, empty)";
  return "\"" + code + "\"" + (base64 ? " (Base64)" : "");
}

}  // namespace

int RunListen(const CommonOptions& common, const ListenOptions& options) {
  if (options.code1Set && options.base64First) RequireBase64(options.code1, "listen --code1");
  if (options.code2Set && options.base64Second) RequireBase64(options.code2, "listen --code2");
  const std::string display = RequireDisplay("listen");
  const sigset_t stopSignals = BlockStopSignals();
  auto window = ShowHostWindow(display);
  // The hotkeys are grabbed on the host window, so they fire while it (or a
  // child) has the focus; start with it focused so they work at once.
  const bool focused = window->Activate();

  // Events arrive on the add-in's listener threads; one line each, whole.
  // Declared before the add-in so they outlive any listener still running
  // when an error unwinds past the Close below.
  std::mutex outputMutex;
  std::size_t count = 0;

  AddIn addin(common.library, common.verbose);
  const std::string profile = ProfilePath();
  AttachProfile(addin.connection(), profile, false);
  if (options.code1Set) addin.SetText("TestCode", options.code1);
  if (options.code2Set) addin.SetText("TestCode2", options.code2);
  addin.SetFlag("TestCodeDecodeBase64", options.base64First);
  addin.SetFlag("TestCode2DecodeBase64", options.base64Second);

  addin.connection().OnEvent([&](const hostkit::ExternalEvent& event) {
    std::lock_guard lock(outputMutex);
    ++count;
    if (common.json) {
      json::Value line = EventJson(event);
      line.Add("number", count);
      EmitLine(line);
    } else {
      std::cout << '#' << count << ' ' << EventLine(event) << std::endl;
    }
  });

  const std::string device = addin.Open();
  const std::string settings = addin.Parameters();
  const HotkeyView hotkey1 = ViewHotkey(settings, addin.connection(), 1);
  const HotkeyView hotkey2 = ViewHotkey(settings, addin.connection(), 2);
  {
    std::lock_guard lock(outputMutex);
    if (common.json) {
      json::Value ready;
      ready.Add("ready", true)
          .Add("device", device)
          .Add("display", display)
          .Add("window", WindowText(window->id()))
          .Add("focused", focused)
          .Add("hotkeys", json::Array{HotkeyJson(hotkey1), HotkeyJson(hotkey2)})
          .Add("profile", profile);
      EmitLine(ready);
    } else {
      std::cout << "device " << device << " open on display " << display << ", host window "
                << WindowText(window->id()) << (focused ? "" : " (not focused: click it)") << '\n'
                << "hotkey 1: " << hotkey1.text << "  sends "
                << Shown(options.code1, options.code1Set, options.base64First) << '\n'
                << "hotkey 2: " << hotkey2.text << "  sends "
                << Shown(options.code2, options.code2Set, options.base64Second) << '\n'
                << "listening; press Ctrl+C to stop" << std::endl;
    }
  }

  int signal = 0;
  while (sigwait(&stopSignals, &signal) != 0) {
  }
  addin.Close();  // joins the listeners: no event callback runs after this

  if (common.json) {
    json::Value stopped;
    stopped.Add("stopped", signal == SIGINT ? "SIGINT" : "SIGTERM").Add("events", count);
    EmitLine(stopped);
  } else {
    std::cout << "stopped by " << (signal == SIGINT ? "SIGINT" : "SIGTERM") << " after " << count
              << (count == 1 ? " event" : " events") << std::endl;
  }
  return kExitOk;
}

}  // namespace cli
