#include "host/kit/channel_client.h"

#include <dirent.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "channel/endpoint.h"

namespace hostkit {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30));
}

}  // namespace

std::vector<std::string> EndpointPaths(const std::string& directory, long pid) {
  std::vector<std::string> paths;
  if (DIR* entries = opendir(directory.c_str())) {
    while (const dirent* entry = readdir(entries))
      if (wedgesim::EndpointPid(entry->d_name) == pid)
        paths.push_back(directory + "/" + entry->d_name);
    closedir(entries);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

ChannelClient::ChannelClient(const std::string& path, std::chrono::milliseconds timeout) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const auto deadline = Clock::now() + timeout;
  // Non-blocking: a listener whose queue is full (its process stopped)
  // refuses with EAGAIN instead of holding connect() without end; it is
  // tried again until the deadline.
  for (;;) {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return;
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      // Blocking again for whoever uses fd() directly; this client's own
      // calls do not wait (MSG_DONTWAIT) but in poll(), with a bound.
      // (ioctl, not fcntl: 32-bit fcntl with 64-bit offsets needs glibc 2.28.)
      int blocking = 0;
      ioctl(fd_, FIONBIO, &blocking);
      break;
    }
    const int error = errno;
    close(fd_);
    fd_ = -1;
    refused_ = error == ECONNREFUSED || error == ENOENT;
    if (error != EAGAIN || Clock::now() >= deadline || Interrupted()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

ChannelClient::~ChannelClient() {
  if (fd_ >= 0) close(fd_);
}

bool ChannelClient::Send(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t written =
        send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (written < 0 && errno == EINTR && !Interrupted()) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The device reads no more for now: wait until it does (bounded by the reply's wait).
      pollfd wait{fd_, POLLOUT, 0};
      if (poll(&wait, 1, 5000) <= 0) return false;
      continue;
    }
    if (written <= 0) return false;
    sent += static_cast<std::size_t>(written);
  }
  return true;
}

std::optional<std::string> ChannelClient::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t end = buffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      return line;
    }
    if (closed_ || fd_ < 0 || Interrupted()) return std::nullopt;
    const int left = MillisecondsLeft(deadline);
    if (left == 0) return std::nullopt;
    pollfd wait{fd_, POLLIN, 0};
    if (poll(&wait, 1, left) <= 0) continue;
    char chunk[4096];
    const ssize_t got = recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (got <= 0) {
      closed_ = true;
      continue;
    }
    buffer_.append(chunk, static_cast<std::size_t>(got));
  }
}

std::optional<std::string> ChannelClient::Ask(const std::string& line,
                                              std::chrono::milliseconds timeout) {
  if (!Send(line + "\n")) {
    closed_ = true;
    return std::nullopt;
  }
  return ReadLine(timeout);
}

Endpoint ProbeEndpoint(const std::string& path, std::chrono::milliseconds timeout) {
  Endpoint endpoint;
  endpoint.path = path;
  endpoint.pid = wedgesim::EndpointPid(path.substr(path.rfind('/') + 1));
  ChannelClient client(path, timeout);
  if (!client.ok()) {
    endpoint.state = client.refused() ? Endpoint::State::kGone : Endpoint::State::kNotAnswering;
    return endpoint;
  }
  const auto line = client.ReadLine(timeout);
  const auto greeting = line ? wedgesim::ParseGreeting(*line) : std::nullopt;
  if (greeting) {
    endpoint.state = Endpoint::State::kOpen;
    endpoint.greeting = *greeting;
  } else {
    endpoint.state = client.closed() ? Endpoint::State::kGone : Endpoint::State::kNotAnswering;
  }
  return endpoint;
}

std::vector<Endpoint> FindEndpoints(std::chrono::milliseconds timeout) {
  std::vector<Endpoint> found;
  const std::string preferred = wedgesim::PreferredEndpointDirectory();
  for (const std::string& directory : wedgesim::EndpointDirectories()) {
    DIR* entries = opendir(directory.c_str());
    if (entries == nullptr) continue;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(entries))
      if (wedgesim::EndpointPid(entry->d_name) != 0) names.emplace_back(entry->d_name);
    closedir(entries);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      Endpoint endpoint = ProbeEndpoint(directory + "/" + name, timeout);
      endpoint.preferred = directory == preferred;
      found.push_back(endpoint);
    }
  }
  return found;
}

}  // namespace hostkit
