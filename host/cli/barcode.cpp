#include "host/cli/barcode.h"

#include <algorithm>
#include <cctype>

#include "channel/protocol.h"
#include "host/cli/errors.h"
#include "host/gs1/syntax.h"
#include "text/base64.h"
#include "text/utf.h"

namespace cli {

namespace {

using wedgesim::text::Utf16ToUtf8;

[[noreturn]] void Refuse(const std::string& origin, const std::string& why) {
  throw CliError(kExitUsage, origin + ": " + why);
}

// What no device takes, whichever way the barcode came.
Barcode Checked(Barcode barcode) {
  if (barcode.data.find(u'\0') != std::u16string::npos)
    Refuse(barcode.origin, "nul: a barcode cannot hold U+0000");
  return barcode;
}

std::u16string Widened(std::string_view bytes) {
  std::u16string data(bytes.size(), u'\0');
  std::transform(bytes.begin(), bytes.end(), data.begin(),
                 [](char byte) { return static_cast<char16_t>(static_cast<unsigned char>(byte)); });
  return data;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendPoint(char32_t point, std::u16string& out) {
  if (point < 0x10000) {
    out += static_cast<char16_t>(point);
  } else {
    point -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (point >> 10));
    out += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
  }
}

std::string_view TrimmedStart(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  return start == std::string_view::npos ? std::string_view() : line.substr(start);
}

}  // namespace

Barcode TextBarcode(std::string_view utf8, const std::string& origin) {
  Barcode barcode{origin, std::string(utf8), {}};
  if (!wedgesim::text::Utf8ToUtf16(utf8, &barcode.data)) {
    const std::size_t at = wedgesim::text::FirstInvalidUtf8(utf8);
    Refuse(origin, "utf8: the barcode is not valid UTF-8 (byte " + std::to_string(at + 1) +
                       "; give raw bytes in Base64 with --base64)");
  }
  return Checked(barcode);
}

Barcode Base64Barcode(std::string_view base64, const std::string& origin) {
  std::string bytes;
  if (!wedgesim::text::DecodeStrictBase64(base64, &bytes))
    Refuse(origin, "base64: '" + Utf16ToUtf8(wedgesim::text::Utf8ToUtf16Lenient(base64)) +
                       "' is not Base64 (A-Z, a-z, 0-9, '+' and '/', '=' only at the end)");
  Barcode barcode{origin, std::string(base64), Widened(bytes)};
  return Checked(barcode);
}

Barcode Gs1Barcode(std::string_view notation, const std::string& origin, bool check) {
  const bool link = notation.rfind("http://", 0) == 0 || notation.rfind("https://", 0) == 0;
  const gs1::Parsed parsed = link ? gs1::ParseDigitalLink(notation) : gs1::ParseNotation(notation);
  std::vector<gs1::Problem> problems = parsed.problems;
  if (parsed.ok() && check) problems = gs1::Check(parsed.fields);
  const bool readable = std::none_of(problems.begin(), problems.end(),
                                     [](const gs1::Problem& p) { return p.rule == "syntax"; });
  if (!problems.empty() && (check || !readable))
    Refuse(origin, "gs1: " + gs1::Messages(problems) +
                       (readable && check ? " (--no-check builds it all the same)" : ""));
  Barcode barcode{origin, std::string(notation), Widened(gs1::ToElementString(parsed.fields))};
  return Checked(barcode);
}

std::u16string Unescape(std::string_view line, const std::string& origin) {
  std::u16string out;
  if (!wedgesim::text::Utf8ToUtf16(line, &out)) Refuse(origin, "utf8: the line is not valid UTF-8");
  if (out.find(u'\\') == std::u16string::npos) return out;
  const std::u16string text = out;
  out.clear();
  auto bad = [&](std::size_t at, const std::string& why) {
    Refuse(origin, "column " + std::to_string(at + 1) + ": " + why +
                       " (escapes: \\xHH, \\u{H...}, \\n, \\r, \\t, \\\\, \\#)");
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\\') {
      out += text[i];
      continue;
    }
    if (i + 1 >= text.size()) bad(i, "a backslash at the end of the line");
    const char16_t kind = text[i + 1];
    if (kind == u'n' || kind == u'r' || kind == u't' || kind == u'\\' || kind == u'#') {
      out += kind == u'n' ? u'\n' : kind == u'r' ? u'\r' : kind == u't' ? u'\t' : kind;
      ++i;
    } else if (kind == u'x') {
      const int high = i + 2 < text.size() ? HexValue(static_cast<char>(text[i + 2])) : -1;
      const int low = i + 3 < text.size() ? HexValue(static_cast<char>(text[i + 3])) : -1;
      if (high < 0 || low < 0) bad(i, "\\x takes two hex digits");
      out += static_cast<char16_t>(high * 16 + low);
      i += 3;
    } else if (kind == u'u') {
      const std::size_t close = text.find(u'}', i);
      if (i + 2 >= text.size() || text[i + 2] != u'{' || close == std::u16string::npos ||
          close - i - 3 < 1 || close - i - 3 > 6)
        bad(i, "\\u takes one to six hex digits in braces, \\u{1D}");
      char32_t point = 0;
      for (std::size_t k = i + 3; k < close; ++k) {
        const int digit = HexValue(static_cast<char>(text[k]));
        if (digit < 0 || text[k] > 0x7F) bad(i, "\\u takes hex digits");
        point = point * 16 + static_cast<char32_t>(digit);
      }
      if (point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        bad(i, "\\u{...} is no character");
      AppendPoint(point, out);
      i = close;
    } else {
      bad(i, "unknown escape");
    }
  }
  return out;
}

std::vector<Barcode> ReadBarcodeFile(std::istream& in, const std::string& name, bool base64,
                                     bool checkGs1) {
  std::vector<Barcode> barcodes;
  std::size_t number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string_view content = TrimmedStart(line);
    if (content.empty() || content.front() == '#') continue;
    const std::string origin = name + ":" + std::to_string(number);
    if (line.rfind("gs1:", 0) == 0) {
      barcodes.push_back(Gs1Barcode(std::string_view(line).substr(4), origin, checkGs1));
    } else if (base64) {
      barcodes.push_back(Base64Barcode(line, origin));
    } else {
      Barcode barcode{origin, line, Unescape(line, origin)};
      barcodes.push_back(Checked(barcode));
    }
  }
  return barcodes;
}

std::string ChannelLine(const Barcode& barcode) {
  const std::u16string& data = barcode.data;
  std::string line;
  if (data.find_first_of(u"\r\n") == std::u16string::npos) {
    line = "SCAN " + Utf16ToUtf8(data);
  } else {
    std::string bytes;
    for (const char16_t unit : data) {
      if (unit > 0xFF)
        Refuse(barcode.origin,
               "a barcode with a line break crosses the channel as bytes, so every other "
               "character must be at most U+00FF");
      bytes += static_cast<char>(unit);
    }
    line = "SCAN64 " + wedgesim::text::EncodeBase64(bytes);
  }
  if (line.size() > wedgesim::kMaxLineBytes)
    Refuse(barcode.origin, "too-long: the channel takes lines of at most " +
                               std::to_string(wedgesim::kMaxLineBytes) + " bytes");
  return line;
}

}  // namespace cli
