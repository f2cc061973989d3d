#include "channel/endpoint.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "abi/diagnostics.h"

namespace wedgesim {

namespace {

// The endpoint's file as the process's exit sees it: a host that exits with
// the device open leaves no socket file behind. Plain storage, read by an
// exit handler; only the process that made the file removes it.
char exitPath[sizeof(sockaddr_un::sun_path)];
std::atomic<pid_t> exitOwner{0};

void RemoveAtExit() {
  if (exitOwner.load() == getpid()) unlink(exitPath);
}

// A directory this user alone can use: a real directory (lstat: no link),
// ours, with no group or other access.
bool Private(const std::string& path, std::string* why) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    *why = path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *why = path + " is not a directory";
  } else if (st.st_uid != getuid()) {
    *why = path + " belongs to another user";
  } else if ((st.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%03o", st.st_mode & 0777U);
    *why = path + " is open to other users (mode " + mode + ")";
  } else {
    return true;
  }
  return false;
}

bool MakePrivate(const std::string& path, std::string* why) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    *why = "cannot make " + path + ": " + std::strerror(errno);
    return false;
  }
  return Private(path, why);
}

}  // namespace

std::string EndpointDirectory(std::string* why) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string reason;
  if (runtime != nullptr && runtime[0] == '/') {
    const std::string base = runtime;
    if (Private(base, &reason)) {
      std::string directory = base + "/wedgesim";
      if (MakePrivate(directory, &reason)) return directory;
    }
    Diagnostic("channel: XDG_RUNTIME_DIR is not usable (%s); trying /tmp", reason.c_str());
  }
  std::string directory = "/tmp/wedgesim-" + std::to_string(getuid());
  if (MakePrivate(directory, &reason)) return directory;
  *why = reason;
  return {};
}

Endpoint::Endpoint() : owner_(getpid()) {
  std::string why;
  const std::string directory = EndpointDirectory(&why);
  if (directory.empty()) {
    Diagnostic("channel: off, no safe directory for it (%s)", why.c_str());
    return;
  }
  path_ = directory + "/" + std::to_string(owner_) + ".sock";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path_.size() >= sizeof address.sun_path) {
    Diagnostic("channel: off, the path %s is too long for a socket", path_.c_str());
    return;
  }
  std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
  UniqueFd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listener.valid()) {
    Diagnostic("channel: off, no socket (%s)", std::strerror(errno));
    return;
  }
  unlink(path_.c_str());  // a file of this pid can only be a dead process's
  if (bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      chmod(path_.c_str(), 0600) != 0 || listen(listener.get(), 16) != 0) {
    Diagnostic("channel: off, cannot listen at %s (%s)", path_.c_str(), std::strerror(errno));
    unlink(path_.c_str());
    return;
  }
  socket_ = std::move(listener);
  std::memcpy(exitPath, path_.c_str(), path_.size() + 1);
  static const bool registered = std::atexit(RemoveAtExit) == 0;
  (void)registered;
  exitOwner.store(owner_);
  Diagnostic("channel: listening at %s", path_.c_str());
}

Endpoint::~Endpoint() = default;

void Endpoint::Remove() {
  if (removed_ || !ok() || getpid() != owner_) return;
  removed_ = true;
  pid_t expected = owner_;
  exitOwner.compare_exchange_strong(expected, 0);
  unlink(path_.c_str());
}

}  // namespace wedgesim
