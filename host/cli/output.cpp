#include "host/cli/output.h"

#include <cstdio>
#include <iostream>

#include "text/utf.h"

namespace cli {

Json Record(std::string_view type, bool ok) {
  Json line;
  line["ok"] = ok;
  line["type"] = type;
  return line;
}

void EmitJson(const Json& line) {
  // Every string put in a line is valid UTF-8 by construction; replacing is
  // the last guard that keeps each line JSON whatever slipped through.
  std::cout << line.dump(-1, ' ', false, Json::error_handler_t::replace) << std::endl;
}

void Emit(bool json, const Json& line, const std::string& text) {
  if (json) {
    EmitJson(line);
  } else {
    std::cout << text << std::endl;
  }
}

std::string Pad(std::string_view text, std::size_t width) {
  std::size_t characters = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
  std::string out(text);
  if (characters < width) out.append(width - characters, ' ');
  return out;
}

std::string Visible(std::u16string_view text) {
  static constexpr const char* kNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                             "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                             "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                             "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
  std::string out;
  std::size_t run = 0;  // start of the units not yet written
  auto flush = [&](std::size_t end) {
    out += wedgesim::text::Utf16ToUtf8(text.substr(run, end - run));
    run = end + 1;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;  // a whole pair prints as it is
      continue;
    }
    char name[16] = {0};
    if (unit < 0x20) {
      std::snprintf(name, sizeof name, "<%s>", kNames[unit]);
    } else if (unit == 0x7F) {
      std::snprintf(name, sizeof name, "<DEL>");
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      std::snprintf(name, sizeof name, "<%04X>", static_cast<unsigned>(unit));
    } else {
      continue;
    }
    flush(i);
    out += name;
  }
  flush(text.size());
  return out;
}

Json Units(std::u16string_view text) {
  Json units = Json::array();
  for (const char16_t unit : text) units.push_back(static_cast<unsigned>(unit));
  return units;
}

void AddText(Json& line, std::u16string_view text) {
  line["data"] = wedgesim::text::Utf16ToUtf8(text);
  line["visible"] = Visible(text);
  line["units"] = Units(text);
  line["characters"] = text.size();
}

}  // namespace cli
