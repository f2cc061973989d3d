#include "channel/protocol.h"

#include <cstdint>

namespace wedgesim {

namespace {

int Sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Host text ends at its first U+0000: a barcode holding one would arrive cut.
bool HoldsNul(const std::u16string& text) { return text.find(u'\0') != std::u16string::npos; }

}  // namespace

bool Utf8ToUtf16(std::string_view utf8, std::u16string* out) {
  out->clear();
  out->reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    std::uint32_t point = 0;
    std::size_t length = 0;
    if (lead < 0x80) {
      point = lead;
      length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      point = lead & 0x1FU;
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      point = lead & 0x0FU;
      length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      point = lead & 0x07U;
      length = 4;
    } else {
      return false;
    }
    if (i + length > utf8.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = (point << 6) | (next & 0x3FU);
    }
    // Overlong forms, surrogates and points past U+10FFFF are not UTF-8.
    if ((length == 3 && point < 0x800) || (length == 4 && (point < 0x10000 || point > 0x10FFFF)) ||
        (point >= 0xD800 && point <= 0xDFFF))
      return false;
    if (point < 0x10000) {
      out->push_back(static_cast<char16_t>(point));
    } else {
      point -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
    }
    i += length;
  }
  return true;
}

bool DecodeStrictBase64(std::string_view text, std::string* bytes) {
  bytes->clear();
  // Padding is optional: a last group of two or three characters is padded here.
  std::string padded;
  if (text.size() % 4 == 1) return false;
  if (text.size() % 4 != 0) {
    if (text.find('=') != std::string_view::npos) return false;
    padded.assign(text).append(4 - text.size() % 4, '=');
    text = padded;
  }
  bytes->reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int values[4];
    int padding = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text[i + static_cast<std::size_t>(k)];
      if (c == '=' && last && k >= 2) {
        values[k] = 0;
        ++padding;
        continue;
      }
      if (padding > 0) return false;  // data after padding
      values[k] = Sextet(c);
      if (values[k] < 0) return false;
    }
    const std::uint32_t group = (static_cast<std::uint32_t>(values[0]) << 18) |
                                (static_cast<std::uint32_t>(values[1]) << 12) |
                                (static_cast<std::uint32_t>(values[2]) << 6) |
                                static_cast<std::uint32_t>(values[3]);
    bytes->push_back(static_cast<char>(group >> 16));
    if (padding < 2) bytes->push_back(static_cast<char>((group >> 8) & 0xFF));
    if (padding < 1) bytes->push_back(static_cast<char>(group & 0xFF));
  }
  return true;
}

ChannelRequest ParseChannelLine(std::string_view line) {
  ChannelRequest request;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::size_t blank = line.find(' ');
  const std::string_view command = line.substr(0, blank);
  const std::string_view argument =
      blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
  if (command == "SCAN") {
    if (!Utf8ToUtf16(argument, &request.data)) {
      request.reply = ChannelError("utf8", "the barcode is not valid UTF-8");
      return request;
    }
  } else if (command == "SCAN64") {
    std::string raw;
    if (!DecodeStrictBase64(argument, &raw)) {
      request.reply = ChannelError("base64", "the bytes are not valid Base64");
      return request;
    }
    // Each byte becomes one character, U+0000 to U+00FF.
    request.data.assign(raw.begin(), raw.end());
    for (char16_t& unit : request.data) unit = static_cast<char16_t>(unit & 0xFF);
  } else if (command == "QUIT" && argument.empty()) {
    request.kind = ChannelRequest::kQuit;
    return request;
  } else {
    request.reply =
        ChannelError("command", "unknown command; send SCAN <text>, SCAN64 <base64> or QUIT");
    return request;
  }
  if (HoldsNul(request.data)) {
    request.reply = ChannelError("nul", "a barcode cannot hold U+0000");
    request.data.clear();
    return request;
  }
  request.kind = ChannelRequest::kScan;
  return request;
}

std::string ChannelGreeting(long pid) {
  return "WEDGESIM " + std::to_string(kChannelProtocolVersion) + " pid=" + std::to_string(pid) +
         " device=open\n";
}

std::string ChannelOk(std::size_t characters) { return "OK " + std::to_string(characters) + "\n"; }

std::string ChannelError(std::string_view reason, std::string_view why) {
  std::string line = "ERR ";
  line.append(reason).append(" ").append(why).append("\n");
  return line;
}

std::string ChannelTooLong() {
  return ChannelError("too-long",
                      "a line holds at most " + std::to_string(kMaxLineBytes) + " bytes");
}

}  // namespace wedgesim
