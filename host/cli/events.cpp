#include "host/cli/events.h"

#include <cstdio>

namespace cli {

std::string EventLine(const hostkit::ExternalEvent& event, std::optional<double> latencyMs) {
  std::string line = "event " + event.name + " from " + event.source + ": \"" +
                     Visible(event.data) + "\" (" + std::to_string(event.data.size()) +
                     (event.data.size() == 1 ? " character)" : " characters)");
  if (latencyMs) {
    char latency[32];
    std::snprintf(latency, sizeof latency, " in %.3f ms", *latencyMs);
    line += latency;
  }
  return line;
}

Json EventJson(const hostkit::ExternalEvent& event, const std::string& origin,
               std::optional<double> latencyMs) {
  Json line = Record("event");
  line["origin"] = origin;
  line["time"] = event.time;
  line["source"] = event.source;
  line["name"] = event.name;
  AddText(line, event.data);
  if (latencyMs) line["latencyMs"] = *latencyMs;
  return line;
}

double LatencyMs(std::chrono::steady_clock::time_point start, const hostkit::ExternalEvent& event) {
  return std::chrono::duration<double, std::milli>(event.received - start).count();
}

}  // namespace cli
