#include "channel/server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "abi/diagnostics.h"
#include "channel/protocol.h"

namespace wedgesim {

namespace {

// Bounds that keep one client from costing the others anything: how many
// may be connected, how many lines one is served before the others get their
// turn, and how many unread replies it may leave before it is dropped.
constexpr std::size_t kMaxClients = 64;
constexpr std::size_t kLinesPerTurn = 64;
constexpr std::size_t kMaxPendingOutput = std::size_t{1024} * 1024;
constexpr std::size_t kReadChunk = std::size_t{64} * 1024;

bool ChannelWanted() {
  const char* value = std::getenv("WEDGESIM_CHANNEL");
  return value == nullptr || std::strcmp(value, "0") != 0;
}

}  // namespace

struct ChannelServer::Client {
  explicit Client(int fd) : socket(fd) {}
  UniqueFd socket;
  std::string input;        // bytes not yet handled: the start of a line, or whole lines
  bool discarding = false;  // inside a line that grew past the limit
  std::string output;       // replies the socket did not take yet
  bool closing = false;     // close once the output is written (QUIT)
  bool gone = false;

  void Reply(const std::string& line) { output += line; }

  // Writes what the socket takes now; false when the client is gone.
  bool Flush() {
    while (!output.empty()) {
      const ssize_t written =
          send(socket.get(), output.data(), output.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (written < 0 && errno == EINTR) continue;
      if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      if (written <= 0) return false;
      output.erase(0, static_cast<std::size_t>(written));
    }
    return output.size() <= kMaxPendingOutput;
  }

  // Whether whole lines wait in the buffer (read, not yet served).
  bool HasLines() const { return !discarding && input.find('\n') != std::string::npos; }
};

ChannelServer::ChannelServer() {
  if (!ChannelWanted()) {
    Diagnostic("channel: off (WEDGESIM_CHANNEL=0)");
    return;
  }
  endpoint_ = std::make_unique<Endpoint>();
}

ChannelServer::~ChannelServer() = default;

const std::string& ChannelServer::path() const {
  static const std::string none;
  return endpoint_ ? endpoint_->path() : none;
}

void ChannelServer::AddWaits(std::vector<pollfd>& waits) const {
  waits.push_back({ok() ? endpoint_->fd() : -1, POLLIN, 0});
  for (const auto& client : clients_) {
    short events = POLLIN;
    if (!client->output.empty()) events |= POLLOUT;
    waits.push_back({client->socket.get(), events, 0});
  }
}

bool ChannelServer::HasWork() const {
  for (const auto& client : clients_)
    if (client->HasLines()) return true;
  return false;
}

void ChannelServer::Accept() {
  const int fd = accept4(endpoint_->fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  auto client = std::make_unique<Client>(fd);
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != getuid()) {
    Diagnostic("channel: refused a peer of uid %u (pid %d): only this user is served", peer.uid,
               peer.pid);
    return;
  }
  if (clients_.size() >= kMaxClients) {
    client->Reply(ChannelError("busy", "too many clients are connected"));
    client->Flush();
    return;
  }
  client->Reply(ChannelGreeting(static_cast<long>(getpid())));
  if (!client->Flush()) return;
  clients_.push_back(std::move(client));
}

bool ChannelServer::ServeClient(Client& client, short events, const ScanFunction& scan,
                                const std::function<bool()>& keepGoing) {
  if ((events & (POLLIN | POLLHUP | POLLERR)) != 0 && !client.closing) {
    char chunk[kReadChunk];
    const ssize_t got = recv(client.socket.get(), chunk, sizeof chunk, MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      // Gone: a line it did not finish posts nothing.
      return false;
    }
    if (got > 0) {
      std::string_view data(chunk, static_cast<std::size_t>(got));
      if (client.discarding) {
        const std::size_t end = data.find('\n');
        if (end == std::string_view::npos) {
          data = {};
        } else {
          client.discarding = false;
          client.Reply(ChannelTooLong());
          data.remove_prefix(end + 1);
        }
      }
      client.input.append(data);
    }
  }
  // Whole lines, in order, a bounded number a turn.
  std::size_t start = 0;
  for (std::size_t served = 0; served < kLinesPerTurn && !client.closing;) {
    const std::size_t end = client.input.find('\n', start);
    if (end == std::string::npos) break;
    const std::string_view line(client.input.data() + start, end - start);
    const std::size_t lineStart = start;
    start = end + 1;
    if (line.size() > kMaxLineBytes) {
      client.Reply(ChannelTooLong());
      continue;
    }
    const ChannelRequest request = ParseChannelLine(line);
    if (request.kind == ChannelRequest::kQuit) {
      client.closing = true;
    } else if (request.kind == ChannelRequest::kInvalid) {
      client.Reply(request.reply);
    } else {
      if (!keepGoing()) {
        start = lineStart;  // left for Shutdown, which answers that it was not sent
        break;
      }
      switch (scan(request.data)) {
        case ChannelScanResult::Posted:
          client.Reply(ChannelOk(request.data.size()));
          break;
        case ChannelScanResult::Closing:
          client.Reply(ChannelError("closed", "the device is closing; nothing was sent"));
          break;
        case ChannelScanResult::NoDevice:
          client.Reply(ChannelError("no-device", "the device has no host connection"));
          break;
        case ChannelScanResult::HostFailed:
          client.Reply(ChannelError("host", "the host's event call failed; nothing was sent"));
          break;
      }
      ++served;
    }
  }
  client.input.erase(0, start);
  // What is left is the start of a line: past the limit, the rest of it is dropped.
  if (!client.discarding && client.input.find('\n') == std::string::npos &&
      client.input.size() > kMaxLineBytes) {
    client.input.clear();
    client.discarding = true;
  }
  if (!client.Flush()) return false;
  return !(client.closing && client.output.empty());
}

void ChannelServer::Serve(const pollfd* waits, const ScanFunction& scan,
                          const std::function<bool()>& keepGoing) {
  // Clients first, in the order they came; one accepted now is served next time.
  const std::size_t count = clients_.size();
  for (std::size_t i = 0; i < count; ++i) {
    Client& client = *clients_[i];
    const short events = waits[1 + i].revents;
    if (events == 0 && !client.HasLines()) continue;
    if (!ServeClient(client, events, scan, keepGoing)) client.gone = true;
    if (!keepGoing()) break;
  }
  std::erase_if(clients_, [](const std::unique_ptr<Client>& client) { return client->gone; });
  if (ok() && (waits[0].revents & POLLIN) != 0) Accept();
}

void ChannelServer::RemoveEndpoint() {
  if (endpoint_) endpoint_->Remove();
}

void ChannelServer::Shutdown() {
  for (auto& client : clients_) {
    for (std::size_t at = client->input.find('\n'); at != std::string::npos && !client->discarding;
         at = client->input.find('\n', at + 1))
      client->Reply(ChannelError("closed", "the device closed; nothing was sent"));
    client->Flush();
  }
  clients_.clear();
}

}  // namespace wedgesim
