#include "host/cli/events.h"

#include <cstdio>

#include "host/kit/text.h"

namespace cli {

namespace {

bool IsControl(char16_t unit) { return unit < 0x20 || unit == 0x7F; }
bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

}  // namespace

bool NeedsCodeUnits(const std::u16string& data) {
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (IsControl(data[i])) return true;
    // A well-formed pair prints fine; a lone half does not.
    if (IsSurrogate(data[i])) {
      const bool pair = data[i] <= 0xDBFF && i + 1 < data.size() && data[i + 1] >= 0xDC00 &&
                        data[i + 1] <= 0xDFFF;
      if (!pair) return true;
      ++i;
    }
  }
  return false;
}

std::string CodeUnits(const std::u16string& data) {
  std::string out;
  for (const char16_t unit : data) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%s%04X", out.empty() ? "" : " ", static_cast<unsigned>(unit));
    out += hex;
  }
  return out;
}

std::string Printable(const std::u16string& data) {
  std::string out;
  std::u16string run;  // printable units waiting to be converted together (keeps pairs whole)
  auto flush = [&] {
    out += hostkit::Utf8(run);
    run.clear();
  };
  for (const char16_t unit : data) {
    if (!IsControl(unit) && unit != u'\\') {
      run += unit;
      continue;
    }
    flush();
    if (unit == u'\\') {
      out += "\\\\";
    } else if (unit == u'\t') {
      out += "\\t";
    } else if (unit == u'\n') {
      out += "\\n";
    } else if (unit == u'\r') {
      out += "\\r";
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(unit));
      out += escaped;
    }
  }
  flush();
  return out;
}

std::string EventLine(const hostkit::ExternalEvent& event, std::optional<double> latencyMs) {
  std::string line =
      "event " + event.name + " from " + event.source + ": \"" + Printable(event.data) + "\"";
  if (NeedsCodeUnits(event.data)) line += " (units " + CodeUnits(event.data) + ")";
  if (latencyMs) {
    char latency[32];
    std::snprintf(latency, sizeof latency, " in %.3f ms", *latencyMs);
    line += latency;
  }
  return line;
}

json::Value EventJson(const hostkit::ExternalEvent& event, std::optional<double> latencyMs) {
  json::Value value;
  value.Add("source", event.source)
      .Add("name", event.name)
      .Add("data", event.dataUtf8())
      .Add("dataUnits", CodeUnits(event.data));
  if (latencyMs) value.Add("latencyMs", *latencyMs);
  return value;
}

double LatencyMs(std::chrono::steady_clock::time_point start, const hostkit::ExternalEvent& event) {
  return std::chrono::duration<double, std::milli>(event.received - start).count();
}

}  // namespace cli
