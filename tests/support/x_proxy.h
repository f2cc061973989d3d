// A display that forwards every connection to a real X server, byte for byte,
// and cuts a connection right after the server sent it a chosen event: the
// way a network or a proxy can drop a client at the worst moment.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testhost {

class XProxy {
 public:
  // Forwards to `display` (":N", a local server); listens as a free display
  // of its own. Check ok().
  explicit XProxy(const std::string& display);
  ~XProxy();
  XProxy(const XProxy&) = delete;
  XProxy& operator=(const XProxy&) = delete;

  bool ok() const { return listener_ >= 0; }
  const std::string& display() const { return display_; }  // ":M"

  // From now on, every connection is cut right after the server has sent it
  // an event of this type (3 is KeyRelease), once it reached the client.
  void CutAfterEvent(std::uint8_t type) { cutAfter_.store(type); }
  int cuts() const { return cuts_.load(); }

 private:
  struct Link {
    int client = -1, server = -1;
    std::vector<std::uint8_t> fromServer;  // not yet forwarded: an incomplete message
    bool setupDone = false;
  };
  void Run();
  bool ForwardFromServer(Link& link);
  void Close(Link& link);

  std::string target_;
  std::string display_;
  std::string path_;
  int listener_ = -1;
  int wake_ = -1;
  std::atomic<int> cutAfter_{-1};
  std::atomic<int> cuts_{0};
  std::thread thread_;
};

}  // namespace testhost
