// `wedgesim demo`: the whole round trip on a desktop of its own. A host window,
// the add-in loaded beside it, two hotkey presses injected through XTest and
// the two event procedures, each event timed from its trigger to its arrival.
#include <chrono>
#include <functional>
#include <iostream>

#include "host/cli/addin.h"
#include "host/cli/app.h"
#include "host/cli/desktop.h"
#include "host/cli/errors.h"
#include "host/cli/events.h"
#include "host/cli/hotkey_view.h"
#include "host/cli/output.h"
#include "host/cli/settings_xml.h"
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

std::string HotkeyTextOf(const std::string& settings, int slot) {
  return NamedAttribute(settings, slot == 2 ? "HotKey2" : "HotKey1", "DefaultValue").value_or("?");
}

int Demo(const CommonOptions& common) {
  // Progress for people as it happens; scripts get a line a step and a summary.
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

  std::size_t good = 0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Outcome outcome = Run(steps[i], addin.connection());
    const std::string number =
        "[" + std::to_string(i + 1) + "/" + std::to_string(steps.size()) + "] ";
    Json entry = Record("step", outcome.matched);
    entry["number"] = i + 1;
    entry["trigger"] = steps[i].label;
    entry["expected"] = steps[i].expected;
    entry["arrived"] = outcome.arrived;
    if (outcome.arrived) {
      entry["event"] = EventJson(
          outcome.event, i < 2 ? "hotkey " + std::to_string(i + 1) : std::string("script method"),
          outcome.latencyMs);
      say(number + steps[i].label + ": " + EventLine(outcome.event, outcome.latencyMs) +
          (outcome.matched ? "" : "  MISMATCH, expected \"" + steps[i].expected + "\""));
    } else {
      say(number + steps[i].label + ": no event within " + std::to_string(kEventDeadline.count()) +
          " s");
    }
    if (outcome.matched) ++good;
    if (common.json) EmitJson(entry);
  }

  addin.Close();
  say("device closed");
  const bool ok = good == steps.size();

  Json summary = Record("demo", ok);
  summary["display"] = display;
  summary["privateServer"] = server != nullptr;
  summary["window"] = WindowText(window->id());
  summary["library"] = addin.path();
  summary["version"] = version;
  summary["device"] = device;
  summary["eventsOk"] = good;
  summary["eventsExpected"] = steps.size();
  const std::string text =
      std::to_string(good) + " of " + std::to_string(steps.size()) + " events arrived as expected";
  Emit(common.json, summary, text);
  if (!ok) throw CliError(kExitFailed, "only " + text);
  return kExitOk;
}

}  // namespace

Subcommand AddDemo(CLI::App& app, const CommonOptions& common) {
  CLI::App* parser = app.add_subcommand(
      "demo", "the whole round trip on a private X server (or DISPLAY): hotkeys and events");
  parser->group("Commands");
  return {parser, [&common] { return Demo(common); }};
}

}  // namespace cli
