// `wedgesim send`: one barcode through GenerateExternalEvent (or the
// activating variant), and the event the host received for it.
#include <chrono>

#include "host/cli/addin.h"
#include "host/cli/arguments.h"
#include "host/cli/commands.h"
#include "host/cli/desktop.h"
#include "host/cli/errors.h"
#include "host/cli/events.h"
#include "host/cli/output.h"

namespace cli {

namespace {

// The add-in posts the event before the procedure returns; the wait is only a
// safety margin, not a delivery delay.
constexpr std::chrono::seconds kEventDeadline{2};

// The add-in's own explanation for a refused call, when it reported one.
std::string Reason(AddIn& addin) {
  const auto errors = addin.connection().errors();
  if (!errors.empty()) return ": " + errors.back().description;
  return "";
}

}  // namespace

int RunSend(const CommonOptions& common, const SendOptions& options) {
  // The add-in decodes leniently; a person who typed a wrong code hears it here.
  if (options.base64) RequireBase64(options.barcode, "send --base64");
  // The activating variant talks to the window manager, so it needs a
  // display; the window it activates is ours, made before loading.
  std::unique_ptr<hostkit::HostTopLevelWindow> window;
  std::string windowNote;
  if (options.activate) {
    const std::string display = RequireDisplay("send --activate");
    window = TryShowHostWindow(display, &windowNote);
  }

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

  json::Value document;
  document.Add("device", device)
      .Add("method", method)
      .Add("base64", options.base64)
      .Add("event", EventJson(event, latency));
  std::string text = "device " + device + " opened\n" + method + ": " + EventLine(event, latency) +
                     "\ndevice closed\n";
  if (options.activate && window == nullptr)
    text += "note: no host window was activated (" + windowNote + ")\n";
  Emit(common.json, document, text);
  return kExitOk;
}

}  // namespace cli
