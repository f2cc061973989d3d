// A client of an add-in's control channel, as a test runner outside the
// application is one: finding the endpoints of this user's devices, asking
// each who it is, connecting, sending lines and reading the answers, every
// wait with a bound.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "channel/protocol.h"

namespace hostkit {

using wedgesim::Greeting;

// The endpoints of process `pid` in `directory` (one of the endpoint
// directories), sorted: one for each device open in it, as a process may
// hold several copies of the library.
std::vector<std::string> EndpointPaths(const std::string& directory, long pid);

// One endpoint found, and what it answered.
struct Endpoint {
  enum class State {
    kOpen,          // it greeted: a device is open there
    kNotAnswering,  // something holds it but did not greet in time (stopped, busy)
    kGone,          // nothing listens: a file its process left behind
  };
  long pid = 0;  // from the file's name
  std::string path;
  State state = State::kGone;
  Greeting greeting;       // when open
  bool preferred = false;  // in the directory this environment's add-in would use
  bool live() const { return state == State::kOpen; }
};

// The endpoint at `path`, asked for its greeting within `timeout`.
Endpoint ProbeEndpoint(const std::string& path, std::chrono::milliseconds timeout);

// Every endpoint of this user, each asked for its greeting within `timeout`.
std::vector<Endpoint> FindEndpoints(std::chrono::milliseconds timeout = std::chrono::seconds(2));

class ChannelClient {
 public:
  // Connects to the endpoint at `path`, waiting at most `timeout` for a
  // listener whose queue is full (a stopped or busy process). Check ok().
  explicit ChannelClient(const std::string& path,
                         std::chrono::milliseconds timeout = std::chrono::seconds(5));
  ~ChannelClient();
  ChannelClient(const ChannelClient&) = delete;
  ChannelClient& operator=(const ChannelClient&) = delete;

  bool ok() const { return fd_ >= 0; }
  // Why connecting failed: nothing listens (refused), or it took too long.
  bool refused() const { return refused_; }
  int fd() const { return fd_; }  // for what a test does beyond lines: shutdown(), ioctl()
  // A wait ends early once `*flag` is set (a signal asked to stop).
  void SetInterrupt(const std::atomic<bool>* flag) { interrupt_ = flag; }

  bool Send(const std::string& bytes);
  // The next line without its "\n", or nothing when the time is up, the
  // add-in closed the connection (see closed()), or the wait was interrupted.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  bool closed() const { return closed_; }
  // Sends one line and reads the reply.
  std::optional<std::string> Ask(const std::string& line,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(5));

 private:
  bool Interrupted() const { return interrupt_ != nullptr && interrupt_->load(); }

  int fd_ = -1;
  std::string buffer_;
  bool closed_ = false;
  bool refused_ = false;
  const std::atomic<bool>* interrupt_ = nullptr;
};

}  // namespace hostkit
