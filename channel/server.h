// The control channel's server: the endpoint and its clients, served by the
// device thread, which polls their descriptors beside the hotkeys'. No thread
// of its own and no timer: a client that sends nothing, or slowly, only ever
// costs a poll slot.
#pragma once

#include <poll.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "abi/fd.h"
#include "channel/endpoint.h"

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

  // The descriptors to poll: the endpoint, then each client (reading, and
  // writing while a reply waits), appended to `waits`.
  void AddWaits(std::vector<pollfd>& waits) const;

  // Whether a client has whole lines read and not yet served (poll() would
  // not say so: they are in our buffer, not the socket's).
  bool HasWork() const;

  // Serves what poll() found, in the order received: accepts, reads, and
  // hands each complete scan to `scan`, which posts it; replies once it has
  // returned. `waits` points at the entries AddWaits appended. `keepGoing`
  // is asked between scans (false once the device stops).
  using ScanFunction = std::function<ChannelScanResult(const std::u16string& data)>;
  void Serve(const pollfd* waits, const ScanFunction& scan, const std::function<bool()>& keepGoing);

  // The device stops: the file goes at once (in the process that made it),
  // and lines still waiting are answered that the device closed.
  void RemoveEndpoint();
  void Shutdown();

 private:
  struct Client;
  void Accept();
  bool ServeClient(Client& client, short events, const ScanFunction& scan,
                   const std::function<bool()>& keepGoing);

  std::unique_ptr<Endpoint> endpoint_;
  std::vector<std::unique_ptr<Client>> clients_;
};

}  // namespace wedgesim
