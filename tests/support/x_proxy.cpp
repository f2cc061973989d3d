#include "tests/support/x_proxy.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <list>

namespace testhost {

namespace {

std::string SocketPath(int display) { return "/tmp/.X11-unix/X" + std::to_string(display); }

sockaddr_un Address(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  return address;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = send(fd, data, size, MSG_NOSIGNAL);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

std::uint32_t Word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  std::uint32_t value;
  std::memcpy(&value, bytes.data() + at, 4);  // the client (XCB) speaks this machine's byte order
  return value;
}

// The length of the first whole server message in `bytes`, or 0 when it is
// not all there yet.
std::size_t MessageLength(const std::vector<std::uint8_t>& bytes, bool setupDone) {
  if (!setupDone) {
    if (bytes.size() < 8) return 0;
    std::uint16_t extra;
    std::memcpy(&extra, bytes.data() + 6, 2);
    const std::size_t length = 8 + std::size_t{4} * extra;
    return bytes.size() >= length ? length : 0;
  }
  if (bytes.size() < 32) return 0;
  const std::uint8_t type = bytes[0] & 0x7F;
  std::size_t length = 32;
  if (type == 1 || type == 35) length += std::size_t{4} * Word(bytes, 4);  // reply, generic event
  return bytes.size() >= length ? length : 0;
}

}  // namespace

XProxy::XProxy(const std::string& display) : target_(SocketPath(std::stoi(display.substr(1)))) {
  listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  for (int number = 100; number < 200 && listener_ >= 0; ++number) {
    const std::string path = SocketPath(number);
    const sockaddr_un address = Address(path);
    if (access(path.c_str(), F_OK) == 0) continue;
    if (bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        listen(listener_, 16) == 0) {
      display_ = ":" + std::to_string(number);
      path_ = path;
      break;
    }
  }
  if (display_.empty()) {
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
    return;
  }
  wake_ = eventfd(0, EFD_CLOEXEC);
  thread_ = std::thread([this] { Run(); });
}

XProxy::~XProxy() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(wake_, &one, sizeof one);
    thread_.join();
  }
  if (listener_ >= 0) close(listener_);
  if (wake_ >= 0) close(wake_);
  if (!path_.empty()) unlink(path_.c_str());
}

void XProxy::Close(Link& link) {
  if (link.client >= 0) close(link.client);
  if (link.server >= 0) close(link.server);
  link.client = link.server = -1;
}

// Forwards every whole message the server has sent; false once the link is
// cut or broken.
bool XProxy::ForwardFromServer(Link& link) {
  std::uint8_t buffer[65536];
  const ssize_t got = recv(link.server, buffer, sizeof buffer, 0);
  if (got <= 0) return false;
  link.fromServer.insert(link.fromServer.end(), buffer, buffer + got);
  while (const std::size_t length = MessageLength(link.fromServer, link.setupDone)) {
    const std::uint8_t type = link.fromServer[0] & 0x7F;
    const bool event = link.setupDone && type >= 2;
    if (!WriteAll(link.client, link.fromServer.data(), length)) return false;
    link.fromServer.erase(link.fromServer.begin(),
                          link.fromServer.begin() + static_cast<std::ptrdiff_t>(length));
    link.setupDone = true;
    if (event && type == cutAfter_.load()) {
      ++cuts_;
      return false;
    }
  }
  return true;
}

void XProxy::Run() {
  std::list<Link> links;
  for (;;) {
    std::vector<pollfd> waits{{wake_, POLLIN, 0}, {listener_, POLLIN, 0}};
    for (const Link& link : links) {
      waits.push_back({link.client, POLLIN, 0});
      waits.push_back({link.server, POLLIN, 0});
    }
    if (poll(waits.data(), waits.size(), -1) < 0 && errno != EINTR) return;
    if (waits[0].revents != 0) break;
    const std::size_t polled = links.size();  // a link accepted now is polled next time
    if (waits[1].revents & POLLIN) {
      Link link;
      link.client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      link.server = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      const sockaddr_un address = Address(target_);
      if (link.client >= 0 && link.server >= 0 &&
          connect(link.server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        links.push_back(std::move(link));
      else
        Close(link);
    }
    std::size_t at = 2;
    auto it = links.begin();
    for (std::size_t i = 0; i < polled; ++i, at += 2) {
      bool alive = true;
      if (waits[at].revents != 0) {
        std::uint8_t buffer[65536];
        const ssize_t got = recv(it->client, buffer, sizeof buffer, 0);
        alive = got > 0 && WriteAll(it->server, buffer, static_cast<std::size_t>(got));
      }
      if (alive && waits[at + 1].revents != 0) alive = ForwardFromServer(*it);
      if (alive) {
        ++it;
      } else {
        Close(*it);
        it = links.erase(it);
      }
    }
  }
  for (Link& link : links) Close(link);
}

}  // namespace testhost
