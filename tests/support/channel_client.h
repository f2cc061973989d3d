// A client of the library's control channel, as a test runner would be one.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace testhost {

// Where the library of process `pid` listens, given the runtime directory it uses.
std::string EndpointPath(const std::string& runtimeDirectory, long pid);

class ChannelClient {
 public:
  // Connects to the endpoint at `path`; check ok().
  explicit ChannelClient(const std::string& path);
  ~ChannelClient();
  ChannelClient(const ChannelClient&) = delete;
  ChannelClient& operator=(const ChannelClient&) = delete;

  bool ok() const { return fd_ >= 0; }
  bool Send(const std::string& bytes);
  // The next line without its "\n", or nothing when the time is up or the
  // library closed the connection (see closed()).
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  bool closed() const { return closed_; }
  // Sends one line and reads the reply.
  std::optional<std::string> Ask(const std::string& line);

 private:
  int fd_ = -1;
  std::string buffer_;
  bool closed_ = false;
};

}  // namespace testhost
