// The control channel's line protocol, as pure functions: what a line asks
// for, and the lines the library answers with.
//
//   on connect      WEDGESIM <version> pid=<pid> device=open
//   SCAN <text>     a barcode in UTF-8                    -> OK <characters> | ERR <reason> <why>
//   SCAN64 <base64> raw bytes, each one character U+00xx  -> OK <characters> | ERR <reason> <why>
//   QUIT            the library closes the connection
//
// A line ends with "\n" (a "\r" before it is dropped) and holds at most
// kMaxLineBytes bytes. Replies come in the order of the lines.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace wedgesim {

inline constexpr int kChannelProtocolVersion = 1;
inline constexpr std::size_t kMaxLineBytes = std::size_t{64} * 1024;

struct ChannelRequest {
  enum Kind { kScan, kQuit, kInvalid } kind = kInvalid;
  std::u16string data;  // kScan: the barcode as host text (UTF-16)
  std::string reply;    // kInvalid: the whole ERR line to answer
};

// What one line (without its "\n") asks for.
ChannelRequest ParseChannelLine(std::string_view line);

// Who serves a channel, as its greeting tells a client:
//   WEDGESIM 1 pid=4711 device=open program=myapp display=:0 session=3
// Values are percent-encoded where they hold a blank, "%" or a control
// character; an unknown one is "-". A client ignores fields it does not know.
struct Greeting {
  int version = kChannelProtocolVersion;
  long pid = 0;
  std::string program, display, session;  // empty when unknown
};
std::string GreetingLine(const Greeting& greeting);
// The greeting a line holds, or nothing when it is none.
std::optional<Greeting> ParseGreeting(std::string_view line);
// "OK <characters>\n".
std::string ChannelOk(std::size_t characters);
// "ERR <reason> <why>\n".
std::string ChannelError(std::string_view reason, std::string_view why);
std::string ChannelTooLong();

}  // namespace wedgesim
