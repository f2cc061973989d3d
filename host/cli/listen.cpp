// `wedgesim listen`: a host with the add-in open, printing every barcode
// event until Ctrl+C or SIGTERM: from the hotkeys on the user's display, and
// from the control channel (`wedgesim scan`). With no display at all the
// hotkeys are off and the channel serves alone, as on a headless runner.
#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <mutex>

#include "host/cli/addin.h"
#include "host/cli/app.h"
#include "host/cli/barcode.h"
#include "host/cli/desktop.h"
#include "host/cli/errors.h"
#include "host/cli/events.h"
#include "host/cli/hotkey_view.h"
#include "host/cli/origin_tap.h"
#include "host/cli/output.h"
#include "host/cli/profile.h"
#include "host/kit/channel_client.h"

namespace cli {

namespace {

struct ListenOptions {
  // Unset codes keep the add-in's own (empty) test barcodes.
  std::string code1, code2;
  bool base64First = false, base64Second = false;
};

// SIGINT and SIGTERM are blocked in every thread and taken with sigwait on
// the main thread, so the shutdown runs as ordinary code (Close, destroy)
// rather than inside a signal handler. Blocked before the add-in starts its
// threads, which inherit the mask.
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

int Listen(const CommonOptions& common, const ListenOptions& options, bool code1Set,
           bool code2Set) {
  // The same verdict as every command gives these barcodes.
  if (code1Set)
    options.base64First ? Base64Barcode(options.code1, "--code1")
                        : TextBarcode(options.code1, "--code1");
  if (code2Set)
    options.base64Second ? Base64Barcode(options.code2, "--code2")
                         : TextBarcode(options.code2, "--code2");
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

  // Events are shown on the tap's thread, one line each, whole. Made before
  // the add-in (which reads where to log at load) and gone after it.
  std::mutex outputMutex;
  std::size_t count = 0;
  OriginTap tap([&](const hostkit::ExternalEvent& event, const std::string& origin) {
    std::lock_guard lock(outputMutex);
    ++count;
    if (common.json) {
      Json line = EventJson(event, origin);
      line["number"] = count;
      EmitJson(line);
    } else {
      std::cout << '#' << count << ' ' << EventLine(event) << " (" << origin << ")" << std::endl;
    }
  });

  AddIn addin(common.library, common.verbose);
  const std::string profile = ProfilePath();
  AttachProfile(addin.connection(), profile, false);
  if (code1Set) addin.SetText("TestCode", options.code1);
  if (code2Set) addin.SetText("TestCode2", options.code2);
  addin.SetFlag("TestCodeDecodeBase64", options.base64First);
  addin.SetFlag("TestCode2DecodeBase64", options.base64Second);
  addin.connection().OnEvent([&](const hostkit::ExternalEvent& event) { tap.Event(event); });

  const std::string device = addin.Open();
  std::string endpoint;
  for (const auto& found : hostkit::FindEndpoints())
    if (found.pid == static_cast<long>(getpid()) && found.live()) endpoint = found.path;
  const std::string settings = addin.Parameters();
  const HotkeyView hotkey1 = ViewHotkey(settings, addin.connection(), 1);
  const HotkeyView hotkey2 = ViewHotkey(settings, addin.connection(), 2);
  {
    std::lock_guard lock(outputMutex);
    if (common.json) {
      Json ready = Record("ready");
      ready["device"] = device;
      ready["pid"] = getpid();
      ready["display"] = display ? Json(*display) : Json();
      ready["window"] = window ? Json(WindowText(window->id())) : Json();
      ready["focused"] = focused;
      ready["hotkeys"] = display ? Json::array({HotkeyJson(hotkey1), HotkeyJson(hotkey2)}) : Json();
      ready["channel"] = endpoint.empty() ? Json() : Json(endpoint);
      ready["profile"] = profile;
      EmitJson(ready);
    } else {
      std::cout << "device " << device << " open in process " << getpid();
      if (display) {
        std::cout << " on display " << *display << ", host window " << WindowText(window->id())
                  << (focused ? "" : " (not focused: click it)") << '\n'
                  << "hotkey 1: " << hotkey1.text << "  sends "
                  << Shown(options.code1, code1Set, options.base64First) << '\n'
                  << "hotkey 2: " << hotkey2.text << "  sends "
                  << Shown(options.code2, code2Set, options.base64Second) << '\n';
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
  addin.Close();  // joins the device thread: no event callback runs after this
  tap.Settle();   // and every event is shown before the last line
  const std::string by = signal == SIGINT ? "SIGINT" : "SIGTERM";
  std::lock_guard lock(outputMutex);
  Json stopped = Record("stopped");
  stopped["signal"] = by;
  stopped["events"] = count;
  Emit(
      common.json, stopped,
      "stopped by " + by + " after " + std::to_string(count) + (count == 1 ? " event" : " events"));
  return kExitOk;
}

}  // namespace

Subcommand AddListen(CLI::App& app, const CommonOptions& common) {
  auto options = std::make_shared<ListenOptions>();
  CLI::App* parser = app.add_subcommand(
      "listen", "be the application: open the device, print every barcode event until Ctrl+C");
  parser->group("Commands");
  CLI::Option* code1 =
      parser->add_option("--code1", options->code1, "test barcode sent by hotkey 1");
  CLI::Option* code2 =
      parser->add_option("--code2", options->code2, "test barcode sent by hotkey 2");
  parser->add_flag("--base64-1", options->base64First, "the --code1 text is Base64");
  parser->add_flag("--base64-2", options->base64Second, "the --code2 text is Base64");
  return {parser, [&common, options, code1, code2] {
            return Listen(common, *options, code1->count() > 0, code2->count() > 0);
          }};
}

}  // namespace cli
