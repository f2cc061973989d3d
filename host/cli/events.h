// Showing the events the add-in posts: as a line for people and as a JSON
// object for scripts. Barcodes may carry control characters (GS separators in
// GS1 codes, or whatever Base64 decodes to), so the data is also shown as
// 16-bit code units whenever plain text would hide something.
#pragma once

#include <optional>
#include <string>

#include "host/cli/json.h"
#include "host/kit/host_connection.h"

namespace cli {

// Whether the text has a unit below U+0020, U+007F, or a surrogate (which
// UTF-8 output cannot show faithfully).
bool NeedsCodeUnits(const std::u16string& data);

// "0034 0036 ..." in hex, four digits a unit.
std::string CodeUnits(const std::u16string& data);

// The text with control characters written as \t, \n, \r or \xNN, so one
// event stays on one line.
std::string Printable(const std::u16string& data);

// `Штрихкод` from ZovedavUzuruvOriv: "4600000000001" [units ...] [1.234 ms]
std::string EventLine(const hostkit::ExternalEvent& event,
                      std::optional<double> latencyMs = std::nullopt);

// {"source", "name", "data", "dataUnits", "latencyMs"?}
json::Value EventJson(const hostkit::ExternalEvent& event,
                      std::optional<double> latencyMs = std::nullopt);

// Milliseconds from `start` to the event's receive time.
double LatencyMs(std::chrono::steady_clock::time_point start, const hostkit::ExternalEvent& event);

}  // namespace cli
