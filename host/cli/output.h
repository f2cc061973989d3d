// What the command writes. With --json every line is one JSON object (JSON
// Lines), always with "ok" and "type", errors included; otherwise text for
// people. Barcodes are shown so that nothing in them hides: control
// characters by name (<GS>), and in JSON also as their UTF-16 code units.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <string_view>

namespace cli {

// Keeps the keys in the order they were added, so a line reads like its text.
using Json = nlohmann::ordered_json;

// {"ok": ok, "type": type}: the start of every JSON line.
Json Record(std::string_view type, bool ok = true);

// One JSON line on stdout, flushed at once (a script reads as it comes).
void EmitJson(const Json& line);

// `line` as JSON, or `text` (with a line break added) for people.
void Emit(bool json, const Json& line, const std::string& text);

// `text` padded with blanks to `width` characters (UTF-8 characters, not
// bytes: the Russian names must line up too).
std::string Pad(std::string_view text, std::size_t width);
inline const char* YesNo(bool value) { return value ? "yes" : "no"; }
// "1 barcode", "3 barcodes".
inline std::string Count(std::size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// The UTF-16 text as people read it: control characters by their ASCII
// names in angle brackets (<GS>, <RS>, <EOT>, <LF>...), half a surrogate
// pair as <D83D>; everything else as it is.
std::string Visible(std::u16string_view text);

// The code units, as a JSON array of numbers.
Json Units(std::u16string_view text);

// A barcode's text in a JSON line, every way a script reads it: "data" (as
// UTF-8), "visible", "units" and "characters".
void AddText(Json& line, std::u16string_view text);

}  // namespace cli
