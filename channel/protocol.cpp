#include "channel/protocol.h"

#include <cstdint>

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
