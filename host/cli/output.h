// Writing results: JSON for scripts, aligned text for people.
#pragma once

#include <string>
#include <string_view>

#include "host/cli/json.h"

namespace cli {

// Writes `document` (indented JSON) when json is set, else `text`; flushes.
void Emit(bool json, const json::Value& document, const std::string& text);

// One JSON object on one line, flushed at once: for commands that report as
// things happen (listen), so a script can read line by line.
void EmitLine(const json::Value& document);

// `text` padded with blanks to `width` characters (UTF-8 characters, not
// bytes: the Russian names must line up too).
std::string Pad(std::string_view text, std::size_t width);

// "yes" / "no"
inline const char* YesNo(bool value) { return value ? "yes" : "no"; }

}  // namespace cli
