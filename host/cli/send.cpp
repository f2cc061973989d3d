// `wedgesim send`: one barcode through GenerateExternalEvent (or the
// activating variant), inside this process, and the event the host received
// for it.
#include <chrono>

#include "host/cli/addin.h"
#include "host/cli/app.h"
#include "host/cli/barcode.h"
#include "host/cli/desktop.h"
#include "host/cli/errors.h"
#include "host/cli/events.h"
#include "host/cli/output.h"

namespace cli {

namespace {

// The add-in posts the event before the procedure returns; the wait is only a
// safety margin, not a delivery delay.
constexpr std::chrono::seconds kEventDeadline{2};

struct SendOptions {
  std::string barcode;
  bool base64 = false;
  bool activate = false;
};

// The add-in's own explanation for a refused call, when it reported one.
std::string Reason(AddIn& addin) {
  const auto errors = addin.connection().errors();
  if (!errors.empty()) return ": " + errors.back().description;
  return "";
}

int Send(const CommonOptions& common, const SendOptions& options) {
  // The verdict every command gives this input; the add-in itself would cut
  // a barcode at a U+0000, or replace what is not UTF-8, without a word.
  const Barcode barcode = options.base64 ? Base64Barcode(options.barcode, "send")
                                         : TextBarcode(options.barcode, "send");
  // The activating variant talks to the window manager, so it needs a
  // display; the window it activates is ours, made before loading.
  std::unique_ptr<hostkit::HostTopLevelWindow> window;
  std::string windowNote;
  if (options.activate) window = TryShowHostWindow(RequireDisplay("send --activate"), &windowNote);

  AddIn addin(common.library, common.verbose);
  const std::string device = addin.Open();
  const char* method =
      options.activate ? "GenerateExternalEventActivateWindow" : "GenerateExternalEvent";
  const auto start = std::chrono::steady_clock::now();
  if (!addin.Generate(options.barcode, options.base64, options.activate))
    throw CliError(kExitFailed, std::string("the add-in refused ") + method + Reason(addin));
  if (!addin.connection().WaitForEvents(1, kEventDeadline))
    throw CliError(kExitFailed, std::string(method) + " returned but no event arrived");
  const hostkit::ExternalEvent event = addin.connection().events().front();
  const double latency = LatencyMs(start, event);
  addin.Close();
  if (event.data != barcode.data)
    throw CliError(kExitFailed, "the event carries other characters than were sent");

  Json line = EventJson(event, "script method", latency);
  line["device"] = device;
  line["method"] = method;
  std::string text = "device " + device + " opened\n" + method + ": " + EventLine(event, latency) +
                     "\ndevice closed";
  if (options.activate && window == nullptr)
    text += "\nnote: no host window was activated (" + windowNote + ")";
  Emit(common.json, line, text);
  return kExitOk;
}

}  // namespace

Subcommand AddSend(CLI::App& app, const CommonOptions& common) {
  auto options = std::make_shared<SendOptions>();
  CLI::App* parser = app.add_subcommand(
      "send",
      "open the device in this process, send one barcode by script method, print the event");
  parser->group("Commands");
  parser->add_option("barcode", options->barcode, "the barcode text (UTF-8)")->required();
  parser->add_flag("--base64", options->base64,
                   "the barcode is Base64 of raw bytes; the event carries them decoded");
  parser->add_flag("--activate", options->activate,
                   "use GenerateExternalEventActivateWindow (needs a display)");
  return {parser, [&common, options] { return Send(common, *options); }};
}

}  // namespace cli
