// The events the add-in posts, as the command shows them: a line for people
// and a JSON line for scripts, with what produced the event and when.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "host/cli/output.h"
#include "host/kit/host_connection.h"

namespace cli {

// `Штрихкод` from ZovedavUzuruvOriv: "460<GS>12" (6 characters) [in 1.234 ms]
std::string EventLine(const hostkit::ExternalEvent& event,
                      std::optional<double> latencyMs = std::nullopt);

// {"ok": true, "type": "event", "origin", "time", "source", "name", "data",
//  "visible", "units", "characters", "latencyMs"?}. `origin` says what
// produced it: "hotkey 1", "hotkey 2", "channel", "script method".
Json EventJson(const hostkit::ExternalEvent& event, const std::string& origin,
               std::optional<double> latencyMs = std::nullopt);

// Milliseconds from `start` to the event's receive time.
double LatencyMs(std::chrono::steady_clock::time_point start, const hostkit::ExternalEvent& event);

}  // namespace cli
