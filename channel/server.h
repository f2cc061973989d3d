// The control channel's server: the endpoint and its clients, served by the
// device thread, which polls their descriptors beside the hotkeys'. No thread
// of its own and no timer: a client that sends nothing, or slowly, or never
// reads its replies, only ever costs a poll slot and its bounded buffers
// (channel/peer.h).
#pragma once

#include <poll.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "channel/endpoint.h"
#include "channel/peer.h"

namespace wedgesim {

// What serving a scan gave: posted (the host's SendExternalEvent returned),
// or why not.
enum class ChannelScanResult { Posted, Closing, NoDevice, HostFailed };

class ChannelServer {
 public:
  // Listens now (on the opening thread); nothing when WEDGESIM_CHANNEL=0 or
  // no endpoint can be made (said in the diagnostics). Check ok().
  ChannelServer();
  ~ChannelServer();
  ChannelServer(const ChannelServer&) = delete;
  ChannelServer& operator=(const ChannelServer&) = delete;

  bool ok() const { return endpoint_ && endpoint_->ok(); }
  const std::string& path() const;

  // The descriptors to poll: the endpoint (none while accepting is paused),
  // then each client, appended to `waits`.
  void AddWaits(std::vector<pollfd>& waits) const;

  // How long poll() may wait for the channel's sake, in milliseconds: 0 while
  // a client has whole lines read and not yet served (poll() would not say
  // so: they are in our buffer, not the socket's), the time left while
  // accepting is paused, else -1 (no limit).
  int WaitLimit() const;

  // Serves what poll() found, in the order received: accepts, reads, and
  // hands each complete scan to `scan`, which posts it; replies once it has
  // returned. `waits` points at the entries AddWaits appended. `keepGoing`
  // is asked between scans (false once the device stops).
  using ScanFunction = std::function<ChannelScanResult(const std::u16string& data)>;
  void Serve(const pollfd* waits, const ScanFunction& scan, const std::function<bool()>& keepGoing);

  // The device stops: the file goes at once (in the process that made it),
  // and every whole line not served, read now or already, is answered that
  // the device closed, as far as each client takes it without waiting.
  void RemoveEndpoint();
  void Shutdown();

 private:
  using Clock = std::chrono::steady_clock;
  void Accept();
  void ServeClient(ChannelPeer& client, short events, const ScanFunction& scan,
                   const std::function<bool()>& keepGoing);

  std::unique_ptr<Endpoint> endpoint_;
  std::string greeting_;  // the same line for every client: who serves here
  std::vector<std::unique_ptr<ChannelPeer>> clients_;
  bool acceptPaused_ = false;  // until acceptResumes_; Serve lifts it
  Clock::time_point acceptResumes_{};
  bool acceptFailureSaid_ = false;
};

}  // namespace wedgesim
