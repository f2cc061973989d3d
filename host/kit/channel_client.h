// A client of an add-in's control channel, as a test runner outside the
// application is one: finding the endpoints of this user's open devices,
// connecting, sending lines and reading the answers.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace hostkit {

// The pid an endpoint's file name belongs to ("<pid>-<suffix>.sock", or
// "<pid>.sock" as earlier versions name it), or 0 for any other name.
long EndpointPid(const std::string& name);

// The endpoints of process `pid` in `directory` (one of EndpointDirectories()),
// sorted: one for each device open in it, as a process may hold several
// copies of the library.
std::vector<std::string> EndpointPaths(const std::string& directory, long pid);

// The directories this user's endpoints may be in: first the one an add-in
// started with this environment uses ($XDG_RUNTIME_DIR/wedgesim when that is
// usable, else /tmp/wedgesim-<uid>), then the other. Only directories that
// exist and are this user's alone (a directory another user made could hold
// anyone's socket).
std::vector<std::string> EndpointDirectories();

// One endpoint found: its pid, and what its greeting said.
struct Endpoint {
  long pid = 0;
  std::string path;
  bool live = false;        // it answered: a device is open there
  int protocolVersion = 0;  // from the greeting
  bool preferred = false;   // in the directory this environment's add-in would use
};

// Every endpoint of this user, each asked for its greeting (a file whose
// process is gone is listed as not live).
std::vector<Endpoint> FindEndpoints();

class ChannelClient {
 public:
  // Connects to the endpoint at `path`; check ok().
  explicit ChannelClient(const std::string& path);
  ~ChannelClient();
  ChannelClient(const ChannelClient&) = delete;
  ChannelClient& operator=(const ChannelClient&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }  // for what a test does beyond lines: shutdown(), ioctl()
  bool Send(const std::string& bytes);
  // The next line without its "\n", or nothing when the time is up or the
  // add-in closed the connection (see closed()).
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  bool closed() const { return closed_; }
  // Sends one line and reads the reply.
  std::optional<std::string> Ask(const std::string& line,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(5));

 private:
  int fd_ = -1;
  std::string buffer_;
  bool closed_ = false;
};

// The protocol version and pid of a greeting ("WEDGESIM 1 pid=4711 device=open");
// false when the line is no greeting.
bool ParseGreeting(const std::string& line, int* version, long* pid);

}  // namespace hostkit
