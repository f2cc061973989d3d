// `wedgesim listen`: a host with the add-in open, printing every barcode
// event until Ctrl+C or SIGTERM: from the hotkeys on the user's display, and
// from the control channel (`wedgesim scan`). With no display at all the
// hotkeys are off and the channel serves alone, as on a headless runner.
#include <signal.h>

#include <unistd.h>

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
#include "host/kit/channel_client.h"

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
  const std::optional<std::string> display = CurrentDisplay();
  const sigset_t stopSignals = BlockStopSignals();
  std::unique_ptr<hostkit::HostTopLevelWindow> window;
  bool focused = false;
  if (display) {
    window = ShowHostWindow(*display);
    // The hotkeys are grabbed on the host window, so they fire while it (or
    // a child) has the focus; start with it focused so they work at once.
    focused = window->Activate();
  }

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
  std::string endpoint;
  for (const auto& found : hostkit::FindEndpoints())
    if (found.pid == static_cast<long>(getpid()) && found.live) endpoint = found.path;
  const std::string settings = addin.Parameters();
  const HotkeyView hotkey1 = ViewHotkey(settings, addin.connection(), 1);
  const HotkeyView hotkey2 = ViewHotkey(settings, addin.connection(), 2);
  {
    std::lock_guard lock(outputMutex);
    if (common.json) {
      json::Value ready;
      ready.Add("ready", true)
          .Add("device", device)
          .Add("pid", static_cast<long>(getpid()))
          .Add("display", display ? json::Value(*display) : json::Value())
          .Add("window", window ? json::Value(WindowText(window->id())) : json::Value())
          .Add("focused", focused)
          .Add("hotkeys", display
                              ? json::Value(json::Array{HotkeyJson(hotkey1), HotkeyJson(hotkey2)})
                              : json::Value())
          .Add("channel", endpoint.empty() ? json::Value() : json::Value(endpoint))
          .Add("profile", profile);
      EmitLine(ready);
    } else {
      std::cout << "device " << device << " open in process " << getpid();
      if (display) {
        std::cout << " on display " << *display << ", host window " << WindowText(window->id())
                  << (focused ? "" : " (not focused: click it)") << '\n'
                  << "hotkey 1: " << hotkey1.text << "  sends "
                  << Shown(options.code1, options.code1Set, options.base64First) << '\n'
                  << "hotkey 2: " << hotkey2.text << "  sends "
                  << Shown(options.code2, options.code2Set, options.base64Second) << '\n';
      } else {
        std::cout << "\nno X display: the hotkeys are off\n";
      }
      std::cout << (endpoint.empty() ? std::string("control channel: off (see --verbose)")
                                     : "control channel: " + endpoint + " (wedgesim scan CODE)")
                << '\n'
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
