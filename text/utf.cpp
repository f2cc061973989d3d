#include "text/utf.h"

#include <cstdint>

namespace wedgesim::text {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes the sequence at `utf8[at]`: its code point and length, or a length
// of 0 when the bytes there are not well-formed UTF-8.
struct Decoded {
  char32_t point;
  std::size_t length;
};

Decoded DecodeAt(std::string_view utf8, std::size_t at) {
  const auto lead = static_cast<unsigned char>(utf8[at]);
  if (lead < 0x80) return {lead, 1};
  char32_t point = 0;
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    point = lead & 0x1FU;
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    point = lead & 0x0FU;
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    point = lead & 0x07U;
    length = 4;
  } else {
    return {0, 0};
  }
  if (at + length > utf8.size()) return {0, 0};
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(utf8[at + k]);
    if ((next & 0xC0) != 0x80) return {0, 0};
    point = (point << 6) | (next & 0x3FU);
  }
  // Overlong forms, surrogates and points past U+10FFFF are not UTF-8.
  if ((length == 3 && point < 0x800) || (length == 4 && (point < 0x10000 || point > 0x10FFFF)) ||
      (point >= 0xD800 && point <= 0xDFFF))
    return {0, 0};
  return {point, length};
}

void AppendUtf16(char32_t point, std::u16string& out) {
  if (point < 0x10000) {
    out.push_back(static_cast<char16_t>(point));
    return;
  }
  point -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
}

}  // namespace

bool Utf8ToUtf16(std::string_view utf8, std::u16string* out) {
  out->clear();
  out->reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const Decoded decoded = DecodeAt(utf8, at);
    if (decoded.length == 0) return false;
    AppendUtf16(decoded.point, *out);
    at += decoded.length;
  }
  return true;
}

std::u16string Utf8ToUtf16Lenient(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const Decoded decoded = DecodeAt(utf8, at);
    AppendUtf16(decoded.length == 0 ? kReplacement : decoded.point, out);
    at += decoded.length == 0 ? 1 : decoded.length;
  }
  return out;
}

std::size_t FirstInvalidUtf8(std::string_view utf8) {
  for (std::size_t at = 0; at < utf8.size();) {
    const Decoded decoded = DecodeAt(utf8, at);
    if (decoded.length == 0) return at;
    at += decoded.length;
  }
  return std::string_view::npos;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t point = utf16[i];
    if (point >= 0xD800 && point <= 0xDFFF) {
      const bool pair = point <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
                        utf16[i + 1] <= 0xDFFF;
      if (pair) {
        point = 0x10000 + ((point - 0xD800) << 10) + (utf16[++i] - 0xDC00U);
      } else {
        point = kReplacement;
      }
    }
    if (point < 0x80) {
      out += static_cast<char>(point);
    } else if (point < 0x800) {
      out += static_cast<char>(0xC0 | (point >> 6));
      out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
      out += static_cast<char>(0xE0 | (point >> 12));
      out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (point >> 18));
      out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (point & 0x3F));
    }
  }
  return out;
}

}  // namespace wedgesim::text
