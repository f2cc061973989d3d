#include "channel/protocol.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "text/base64.h"
#include "text/utf.h"

namespace wedgesim {

namespace {

// Host text ends at its first U+0000: a barcode holding one would arrive cut.
bool HoldsNul(const std::u16string& text) { return text.find(u'\0') != std::u16string::npos; }

}  // namespace

ChannelRequest ParseChannelLine(std::string_view line) {
  ChannelRequest request;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::size_t blank = line.find(' ');
  const std::string_view command = line.substr(0, blank);
  const std::string_view argument =
      blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
  if (command == "SCAN") {
    if (!text::Utf8ToUtf16(argument, &request.data)) {
      request.data.clear();
      request.reply = ChannelError("utf8", "the barcode is not valid UTF-8");
      return request;
    }
  } else if (command == "SCAN64") {
    std::string raw;
    if (!text::DecodeStrictBase64(argument, &raw)) {
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

namespace {

std::string Encoded(const std::string& value) {
  if (value.empty()) return "-";
  std::string out;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '%' || (out.empty() && c == '-')) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Decoded(std::string_view value) {
  if (value == "-") return {};
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size()) {
      const std::string hex(value.substr(i + 1, 2));
      char* end = nullptr;
      const long byte = std::strtol(hex.c_str(), &end, 16);
      if (hex.size() == 2 && *end == '\0') {
        out += static_cast<char>(byte);
        i += 2;
        continue;
      }
    }
    out += value[i];
  }
  return out;
}

}  // namespace

std::string GreetingLine(const Greeting& greeting) {
  return "WEDGESIM " + std::to_string(greeting.version) + " pid=" + std::to_string(greeting.pid) +
         " device=open program=" + Encoded(greeting.program) +
         " display=" + Encoded(greeting.display) + " session=" + Encoded(greeting.session) + "\n";
}

std::optional<Greeting> ParseGreeting(std::string_view line) {
  constexpr std::string_view kStart = "WEDGESIM ";
  if (line.substr(0, kStart.size()) != kStart) return std::nullopt;
  Greeting greeting;
  greeting.version = std::atoi(std::string(line.substr(kStart.size())).c_str());
  if (greeting.version <= 0) return std::nullopt;
  for (std::size_t at = line.find(' ', kStart.size()); at != std::string_view::npos;) {
    const std::size_t end = line.find(' ', at + 1);
    const std::string_view field =
        line.substr(at + 1, end == std::string_view::npos ? end : end - at - 1);
    at = end;
    const std::size_t equals = field.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = field.substr(0, equals);
    const std::string value = Decoded(field.substr(equals + 1));
    if (key == "pid") greeting.pid = std::atol(value.c_str());
    if (key == "program") greeting.program = value;
    if (key == "display") greeting.display = value;
    if (key == "session") greeting.session = value;
  }
  if (greeting.pid <= 0) return std::nullopt;
  return greeting;
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
