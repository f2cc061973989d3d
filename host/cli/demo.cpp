// `wedgesim demo`: the whole round trip on a desktop of its own. A host window,
// the add-in loaded beside it, two hotkey presses injected through XTest and
// the two event procedures, each event timed from its trigger to its arrival.
#include <chrono>
#include <functional>
#include <iostream>

#include "host/cli/addin.h"
#include "host/cli/commands.h"
#include "host/cli/desktop.h"
#include "host/cli/errors.h"
#include "host/cli/events.h"
#include "host/cli/hotkeys.h"
#include "host/cli/output.h"
#include "host/desktop/keys.h"
#include "host/kit/default_hotkeys.h"

namespace cli {

namespace {

// How long one trigger may take to produce its event. Generous: on a loaded
// machine Xvfb and the listener threads compete for the CPU.
constexpr std::chrono::seconds kEventDeadline{5};

// The profile stays empty, so the add-in keeps its default hotkeys.
constexpr hostkit::Chord kHotkey1 = hostkit::kDefaultHotkey1, kHotkey2 = hostkit::kDefaultHotkey2;

struct Step {
  std::string label;     // what triggers the event
  std::string expected;  // the barcode it must carry
  std::function<void()> trigger;
};

struct Outcome {
  bool arrived = false;
  bool matched = false;
  hostkit::ExternalEvent event;
  double latencyMs = 0;
};

// Triggers the step and waits for the one event it must produce.
Outcome Run(const Step& step, hostkit::HostConnection& connection) {
  const std::size_t before = connection.eventCount();
  const auto start = std::chrono::steady_clock::now();
  step.trigger();
  Outcome outcome;
  if (!connection.WaitForEvents(before + 1, kEventDeadline)) return outcome;
  outcome.arrived = true;
  outcome.event = connection.events()[before];
  outcome.latencyMs = LatencyMs(start, outcome.event);
  outcome.matched = outcome.event.dataUtf8() == step.expected;
  return outcome;
}

}  // namespace

int RunDemo(const CommonOptions& common) {
  // Progress for people as it happens; scripts get one document at the end.
  auto say = [&](const std::string& line) {
    if (!common.json) std::cout << line << std::endl;
  };

  std::unique_ptr<hostkit::PrivateXServer> server;
  std::string display;
  if (auto current = CurrentDisplay()) {
    if (!DisplayOpens(*current))
      throw CliError(kExitEnvironment,
                     CannotOpen(*current) + "; unset DISPLAY and demo starts a private one");
    display = *current;
    say("display " + display + " (existing)");
  } else {
    server = StartPrivateServer();
    // Exported before the add-in is loaded: it opens DISPLAY at load time.
    server->ExportDisplay();
    display = server->display();
    say("display " + display + " (private Xvfb with openbox)");
  }

  auto window = ShowHostWindow(display);
  if (!window->Activate())
    throw CliError(kExitEnvironment,
                   "the host window " + WindowText(window->id()) + " could not get the focus");
  say("host window " + WindowText(window->id()) + " listed and focused");

  // A fresh in-memory profile: no file is attached, so the defaults apply
  // whatever the user set with set-hotkey.
  AddIn addin(common.library, common.verbose);
  addin.SetText("TestCode", "4600000000001");
  addin.SetFlag("TestCodeDecodeBase64", false);
  addin.SetText("TestCode2", "NDYwMDAwMDAwMDAwMg==");
  addin.SetFlag("TestCode2DecodeBase64", true);
  const std::string settings = addin.Parameters();
  const std::string hotkey1 = HotkeyTextOf(settings, 1), hotkey2 = HotkeyTextOf(settings, 2);
  const std::string version = addin.Version();
  say("add-in " + addin.path() + " version " + version);
  const std::string device = addin.Open();
  say("device " + device + " open; hotkey 1 is " + hotkey1 + ", hotkey 2 is " + hotkey2);

  hostkit::KeyInjector injector(display);
  if (!injector.ok())
    throw CliError(kExitEnvironment, "the X display " + display + " has no XTest extension");

  const std::vector<Step> steps = {
      {"hotkey 1 (" + hotkey1 + ")", "4600000000001",
       [&] { injector.Tap(kHotkey1.keycode, kHotkey1.modifiers); }},
      {"hotkey 2 (" + hotkey2 + ")", "4600000000002",
       [&] { injector.Tap(kHotkey2.keycode, kHotkey2.modifiers); }},
      {"GenerateExternalEvent", "4600000000003",
       [&] { addin.Generate("4600000000003", false, false); }},
      {"GenerateExternalEventActivateWindow (Base64)", "4600000000004",
       [&] { addin.Generate("NDYwMDAwMDAwMDAwNA==", true, true); }},
  };

  json::Value stepList = json::Array{};
  std::size_t good = 0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Outcome outcome = Run(steps[i], addin.connection());
    const std::string number =
        "[" + std::to_string(i + 1) + "/" + std::to_string(steps.size()) + "] ";
    json::Value entry;
    entry.Add("trigger", steps[i].label)
        .Add("expected", steps[i].expected)
        .Add("arrived", outcome.arrived)
        .Add("matched", outcome.matched);
    if (outcome.arrived) {
      entry.Add("event", EventJson(outcome.event, outcome.latencyMs));
      say(number + steps[i].label + ": " + EventLine(outcome.event, outcome.latencyMs) +
          (outcome.matched ? "" : "  MISMATCH, expected \"" + steps[i].expected + "\""));
    } else {
      say(number + steps[i].label + ": no event within " + std::to_string(kEventDeadline.count()) +
          " s");
    }
    if (outcome.matched) ++good;
    stepList.Push(entry);
  }

  addin.Close();
  say("device closed");
  const bool ok = good == steps.size();

  json::Value document;
  document.Add("display", display)
      .Add("privateServer", server != nullptr)
      .Add("window", WindowText(window->id()))
      .Add("library", addin.path())
      .Add("version", version)
      .Add("device", device)
      .Add("steps", stepList)
      .Add("eventsOk", good)
      .Add("eventsExpected", steps.size())
      .Add("ok", ok);
  const std::string summary =
      std::to_string(good) + " of " + std::to_string(steps.size()) + " events arrived as expected";
  if (common.json) {
    Emit(true, document, "");
  } else {
    say(summary);
  }
  if (!ok) {
    std::cerr << "wedgesim: error: only " << summary << '\n';
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace cli
