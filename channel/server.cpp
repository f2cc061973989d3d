#include "channel/server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>  // program_invocation_short_name
#include <cstdlib>
#include <cstring>

#include "abi/diagnostics.h"
#include "channel/protocol.h"

namespace wedgesim {

namespace {

// Bounds that keep one client from costing the others anything: how many may
// be connected, and how many lines one is served before the others get their
// turn. What one client may make the library hold is bounded in peer.h.
constexpr std::size_t kMaxClients = 64;
constexpr std::size_t kLinesPerTurn = 64;
// At the descriptor limit a connection stays queued and the endpoint stays
// readable: polling it then would return at once, again and again. It is
// left alone this long and then tried again.
constexpr std::chrono::milliseconds kAcceptPause{250};
// At Close, what a client sent and was not read yet is read up to this many
// bytes, to be answered; a client still sending then is not waited for.
constexpr std::size_t kCloseReadBound = std::size_t{1024} * 1024;

// A post slower than this (the host held it) is followed by a look at
// whether the client hung up meanwhile.
constexpr std::chrono::milliseconds kSlowPost{10};

bool HungUp(int fd) {
  pollfd look{fd, 0, 0};
  return poll(&look, 1, 0) == 1 && (look.revents & POLLHUP) != 0;
}

bool ChannelWanted() {
  const char* value = std::getenv("WEDGESIM_CHANNEL");
  return value == nullptr || std::strcmp(value, "0") != 0;
}

std::string ScanReply(ChannelScanResult result, std::size_t characters) {
  switch (result) {
    case ChannelScanResult::Posted:
      return ChannelOk(characters);
    case ChannelScanResult::Closing:
      break;
    case ChannelScanResult::NoDevice:
      return ChannelError("no-device", "the device has no host connection");
    case ChannelScanResult::HostFailed:
      return ChannelError("host", "the host's event call failed; nothing was sent");
  }
  return ChannelError("closed", "the device is closing; nothing was sent");
}

bool IsQuit(const ChannelPeer::Line& line) {
  return !line.tooLong && ParseChannelLine(line.text).kind == ChannelRequest::kQuit;
}

// Who serves this channel: the process, its program, and the display and
// desktop session it runs in, so a runner can tell the devices of several
// sessions apart.
Greeting CurrentGreeting() {
  Greeting greeting;
  greeting.pid = static_cast<long>(getpid());
  // The name the program was started by (not /proc's, which an emulator
  // running it would name, and which is cut at 15 characters).
  if (program_invocation_short_name != nullptr) greeting.program = program_invocation_short_name;
  if (const char* display = std::getenv("DISPLAY")) greeting.display = display;
  if (const char* session = std::getenv("XDG_SESSION_ID")) greeting.session = session;
  return greeting;
}

}  // namespace

ChannelServer::ChannelServer() {
  if (!ChannelWanted()) {
    Diagnostic("channel: off (WEDGESIM_CHANNEL=0)");
    return;
  }
  endpoint_ = std::make_unique<Endpoint>();
  greeting_ = GreetingLine(CurrentGreeting());
}

ChannelServer::~ChannelServer() = default;

const std::string& ChannelServer::path() const {
  static const std::string none;
  return endpoint_ ? endpoint_->path() : none;
}

void ChannelServer::AddWaits(std::vector<pollfd>& waits) const {
  waits.push_back({ok() && !acceptPaused_ ? endpoint_->fd() : -1, POLLIN, 0});
  for (const auto& client : clients_) waits.push_back({client->fd(), client->Events(), 0});
}

int ChannelServer::WaitLimit() const {
  for (const auto& client : clients_)
    if (client->CanServe()) return 0;
  if (!acceptPaused_) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(acceptResumes_ - Clock::now());
  return static_cast<int>(std::max<long long>(left.count(), 0));
}

void ChannelServer::Accept() {
  const int fd = accept4(endpoint_->fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED) return;
    // Out of descriptors (EMFILE, ENFILE) or memory: the connection waits in
    // the queue until the pause is over.
    if (!acceptFailureSaid_)
      Diagnostic("channel: cannot accept a connection (%s); trying again every %d ms",
                 std::strerror(errno), static_cast<int>(kAcceptPause.count()));
    acceptFailureSaid_ = true;
    acceptPaused_ = true;
    acceptResumes_ = Clock::now() + kAcceptPause;
    return;
  }
  auto client = std::make_unique<ChannelPeer>(fd);
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
  // Kept even when the greeting cannot be written: the lines it sent are served.
  client->Reply(greeting_);
  client->Flush();
  clients_.push_back(std::move(client));
}

void ChannelServer::ServeClient(ChannelPeer& client, short events, const ScanFunction& scan,
                                const std::function<bool()>& keepGoing) {
  // Hung up entirely (poll says so only then): a scan it gave up on, after a
  // timeout while the host was stopped, say, must not be posted when it resumes.
  if ((events & POLLHUP) != 0) {
    client.Abandon();
    return;
  }
  if ((events & (POLLOUT | POLLERR)) != 0) client.Flush();
  if ((events & (POLLIN | POLLERR)) != 0 && client.WantsInput()) client.Receive();
  // Whole lines, in order, a bounded number a turn, while the replies stay
  // under their bound.
  for (std::size_t served = 0; served < kLinesPerTurn && client.CanServe(); ++served) {
    const ChannelPeer::Line line = client.FrontLine();
    if (line.tooLong) {
      client.Reply(ChannelTooLong());
      client.PopLine();
      continue;
    }
    const ChannelRequest request = ParseChannelLine(line.text);
    if (request.kind == ChannelRequest::kQuit) {
      client.Quit();
      break;
    }
    if (request.kind == ChannelRequest::kInvalid) {
      client.Reply(request.reply);
    } else {
      if (!keepGoing()) break;  // left for Shutdown, which answers that it was not sent
      const auto posting = Clock::now();
      client.Reply(ScanReply(scan(request.data), request.data.size()));
      // The host held the post a while: a client that hung up meanwhile gave
      // up on the rest (asked only then; a quick post costs no extra call).
      if (Clock::now() - posting > kSlowPost && HungUp(client.fd())) {
        client.Abandon();
        return;
      }
    }
    client.PopLine();
  }
  client.Flush();
}

void ChannelServer::Serve(const pollfd* waits, const ScanFunction& scan,
                          const std::function<bool()>& keepGoing) {
  // Clients first, in the order they came; one accepted now is served next time.
  const std::size_t count = clients_.size();
  for (std::size_t i = 0; i < count; ++i) {
    ChannelPeer& client = *clients_[i];
    const short events = waits[1 + i].revents;
    if (events == 0 && !client.CanServe()) continue;
    ServeClient(client, events, scan, keepGoing);
    if (!keepGoing()) break;
  }
  std::erase_if(clients_,
                [](const std::unique_ptr<ChannelPeer>& client) { return client->Done(); });
  if (ok() && (waits[0].revents & POLLIN) != 0) Accept();
  if (acceptPaused_ && Clock::now() >= acceptResumes_) acceptPaused_ = false;
}

void ChannelServer::RemoveEndpoint() {
  if (endpoint_) endpoint_->Remove();
}

void ChannelServer::Shutdown() {
  const std::string closed = ChannelError("closed", "the device closed; nothing was sent");
  for (auto& client : clients_) {
    for (std::size_t budget = kCloseReadBound;;) {
      while (client->CanServe()) {
        if (IsQuit(client->FrontLine())) {
          client->Quit();
        } else {
          client->Reply(closed);
          client->PopLine();
        }
      }
      client->Flush();
      if (client->CanServe()) continue;  // it took the replies: more lines to answer
      if (!client->WantsInput()) break;  // done, quit, or replies it does not take now
      const std::size_t got = client->Receive();
      if (got == 0 || got >= budget) break;
      budget -= got;
    }
  }
  clients_.clear();
}

}  // namespace wedgesim
