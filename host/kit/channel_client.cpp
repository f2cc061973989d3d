#include "host/kit/channel_client.h"

#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hostkit {

long EndpointPid(const std::string& name) {
  char* end = nullptr;
  const long pid = std::strtol(name.c_str(), &end, 10);
  if (pid <= 0 || !std::isdigit(static_cast<unsigned char>(name[0]))) return 0;
  std::string rest = end;
  if (rest.size() > 1 && rest[0] == '-') {
    const std::size_t suffix = rest.find('.');
    if (suffix == std::string::npos || suffix == 1 ||
        rest.find_first_not_of("0123456789abcdef", 1) != suffix)
      return 0;
    rest.erase(0, suffix);
  }
  return rest == ".sock" ? pid : 0;
}

std::vector<std::string> EndpointPaths(const std::string& directory, long pid) {
  std::vector<std::string> paths;
  if (DIR* entries = opendir(directory.c_str())) {
    while (const dirent* entry = readdir(entries))
      if (EndpointPid(entry->d_name) == pid) paths.push_back(directory + "/" + entry->d_name);
    closedir(entries);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

ChannelClient::ChannelClient(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ >= 0 && connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

ChannelClient::~ChannelClient() {
  if (fd_ >= 0) close(fd_);
}

bool ChannelClient::Send(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t written = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    sent += static_cast<std::size_t>(written);
  }
  return true;
}

std::optional<std::string> ChannelClient::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const std::size_t end = buffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      return line;
    }
    if (closed_ || fd_ < 0) return std::nullopt;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd wait{fd_, POLLIN, 0};
    if (poll(&wait, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[4096];
    const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
    if (got <= 0) {
      closed_ = true;
      continue;
    }
    buffer_.append(chunk, static_cast<std::size_t>(got));
  }
}

std::optional<std::string> ChannelClient::Ask(const std::string& line,
                                              std::chrono::milliseconds timeout) {
  if (!Send(line + "\n")) return std::nullopt;
  return ReadLine(timeout);
}

namespace {

bool Private(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
         (st.st_mode & 077) == 0;
}

}  // namespace

std::vector<std::string> EndpointDirectories() {
  std::vector<std::string> directories;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const bool usable = runtime != nullptr && runtime[0] == '/' && Private(runtime);
  const std::string preferred = usable ? std::string(runtime) + "/wedgesim" : std::string();
  const std::string fallback = "/tmp/wedgesim-" + std::to_string(getuid());
  for (const std::string& directory : {preferred.empty() ? fallback : preferred, fallback})
    if (Private(directory) && (directories.empty() || directories.front() != directory))
      directories.push_back(directory);
  return directories;
}

bool ParseGreeting(const std::string& line, int* version, long* pid) {
  return std::sscanf(line.c_str(), "WEDGESIM %d pid=%ld", version, pid) == 2;
}

std::vector<Endpoint> FindEndpoints() {
  std::vector<Endpoint> found;
  const std::vector<std::string> directories = EndpointDirectories();
  for (const std::string& directory : directories) {
    DIR* entries = opendir(directory.c_str());
    if (entries == nullptr) continue;
    while (const dirent* entry = readdir(entries)) {
      const std::string name = entry->d_name;
      const long pid = EndpointPid(name);
      if (pid == 0) continue;
      Endpoint endpoint{pid, directory + "/" + name, false, 0, directory == directories.front()};
      ChannelClient client(endpoint.path);
      long greeted = 0;
      if (client.ok()) {
        const auto greeting = client.ReadLine(std::chrono::seconds(2));
        endpoint.live = greeting && ParseGreeting(*greeting, &endpoint.protocolVersion, &greeted);
      }
      found.push_back(endpoint);
    }
    closedir(entries);
  }
  return found;
}

}  // namespace hostkit
