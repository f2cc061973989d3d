#include "channel/endpoint.h"

#include <fcntl.h>
#include <linux/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "abi/diagnostics.h"

namespace wedgesim {

namespace {

// A name already in use is another endpoint's (or a dead process's) file:
// bind() refuses it and another name is drawn, this many times at most.
constexpr int kNameAttempts = 8;

// The endpoint's file as the process's exit sees it: a host that exits with
// the device open leaves no socket file behind. Plain storage, read by an
// exit handler; only the process that made the file removes it, and only
// while it is that file.
struct ExitRecord {
  int directory = -1;
  char name[64] = {};
  dev_t device = 0;
  ino_t inode = 0;
};
ExitRecord exitRecord;
std::atomic<pid_t> exitOwner{0};

bool StillOurs(int directory, const char* name, dev_t device, ino_t inode) {
  struct stat st {};
  return fstatat(directory, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == device &&
         st.st_ino == inode;
}

void RemoveAtExit() {
  if (exitOwner.load() != getpid()) return;
  if (StillOurs(exitRecord.directory, exitRecord.name, exitRecord.device, exitRecord.inode))
    unlinkat(exitRecord.directory, exitRecord.name, 0);
}

// The directory held as `fd` is one this user alone can use: a directory,
// ours, with no group or other access. The descriptor is checked, not a path,
// which could name another directory by the time it is used.
bool Private(int fd, const std::string& shown, std::string* why) {
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    *why = shown + ": " + std::strerror(errno);
  } else if (!S_ISDIR(st.st_mode)) {
    *why = shown + " is not a directory";
  } else if (st.st_uid != getuid()) {
    *why = shown + " belongs to another user";
  } else if ((st.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%03o", st.st_mode & 0777U);
    *why = shown + " is open to other users (mode " + mode + ")";
  } else {
    return true;
  }
  return false;
}

// `name` inside `parent` (or an absolute path), opened without following a
// link at its end, and held only when it is private.
UniqueFd OpenPrivate(int parent, const char* name, const std::string& shown, std::string* why) {
  UniqueFd fd(openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) {
    *why = shown + ": " + std::strerror(errno);
    return {};
  }
  if (!Private(fd.get(), shown, why)) return {};
  return fd;
}

UniqueFd MakePrivate(int parent, const char* name, const std::string& shown, std::string* why) {
  if (mkdirat(parent, name, 0700) != 0 && errno != EEXIST) {
    *why = "cannot make " + shown + ": " + std::strerror(errno);
    return {};
  }
  return OpenPrivate(parent, name, shown, why);
}

std::string FallbackDirectory() { return "/tmp/wedgesim-" + std::to_string(getuid()); }

// The directory of this user's endpoints, held open, and its path for people
// (and for bind() where /proc is missing).
UniqueFd OpenEndpointDirectory(std::string* path, std::string* why) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string reason;
  if (runtime != nullptr && runtime[0] == '/') {
    UniqueFd base = OpenPrivate(AT_FDCWD, runtime, runtime, &reason);
    if (base.valid()) {
      *path = std::string(runtime) + "/wedgesim";
      UniqueFd directory = MakePrivate(base.get(), "wedgesim", *path, &reason);
      if (directory.valid()) return directory;
    }
    Diagnostic("channel: XDG_RUNTIME_DIR is not usable (%s); trying /tmp", reason.c_str());
  }
  *path = FallbackDirectory();
  const std::string leaf = path->substr(5);
  UniqueFd tmp(open("/tmp", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  UniqueFd directory;
  if (!tmp.valid())
    reason = std::string("/tmp: ") + std::strerror(errno);
  else
    directory = MakePrivate(tmp.get(), leaf.c_str(), *path, &reason);
  if (!directory.valid()) *why = reason;
  return directory;
}

std::uint64_t RandomSuffix() {
  std::uint64_t value = 0;
  if (syscall(SYS_getrandom, &value, sizeof value, GRND_NONBLOCK) ==
      static_cast<long>(sizeof value))
    return value;
  // A kernel without getrandom: the clock, this copy's own address and a
  // count keep names apart well enough, as bind() refuses a repeat anyway.
  static std::atomic<std::uint64_t> count{0};
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  value = static_cast<std::uint64_t>(now.tv_sec) << 30 ^ static_cast<std::uint64_t>(now.tv_nsec);
  return (value ^ reinterpret_cast<std::uintptr_t>(&count)) * 0x9E3779B97F4A7C15ULL + ++count;
}

// Where bind() puts `name` inside the directory held as `directory`: through
// /proc/self/fd the kernel resolves that very directory, wherever a rename
// has moved it. Without /proc (the link must lead to what we hold), its path.
std::string BindTarget(int directory, const std::string& path, bool* viaProc) {
  const std::string link = "/proc/self/fd/" + std::to_string(directory);
  struct stat held {
  }, seen{};
  *viaProc = fstat(directory, &held) == 0 && stat(link.c_str(), &seen) == 0 &&
             held.st_dev == seen.st_dev && held.st_ino == seen.st_ino;
  return *viaProc ? link : path;
}

}  // namespace

namespace {

bool UsableRuntime(const char* runtime) {
  std::string why;
  return runtime != nullptr && runtime[0] == '/' &&
         OpenPrivate(AT_FDCWD, runtime, runtime, &why).valid();
}

}  // namespace

std::string PreferredEndpointDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return UsableRuntime(runtime) ? std::string(runtime) + "/wedgesim" : FallbackDirectory();
}

std::vector<std::string> EndpointDirectories() {
  std::vector<std::string> directories;
  for (const std::string& candidate : {PreferredEndpointDirectory(), FallbackDirectory()}) {
    std::string why;
    if (std::find(directories.begin(), directories.end(), candidate) == directories.end() &&
        OpenPrivate(AT_FDCWD, candidate.c_str(), candidate, &why).valid())
      directories.push_back(candidate);
  }
  return directories;
}

std::string EndpointName(long pid, std::uint64_t suffix) {
  char name[64];
  std::snprintf(name, sizeof name, "%ld-%016" PRIx64 ".sock", pid, suffix);
  return name;
}

long EndpointPid(const std::string& name) {
  char* end = nullptr;
  const long pid = std::strtol(name.c_str(), &end, 10);
  if (pid <= 0 || name.empty() || name[0] < '0' || name[0] > '9') return 0;
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

Endpoint::Endpoint() : owner_(getpid()) {
  std::string why, directoryPath;
  directory_ = OpenEndpointDirectory(&directoryPath, &why);
  if (!directory_.valid()) {
    Diagnostic("channel: off, no safe directory for it (%s)", why.c_str());
    return;
  }
  UniqueFd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listener.valid()) {
    Diagnostic("channel: off, no socket (%s)", std::strerror(errno));
    return;
  }
  bool viaProc = false;
  const std::string target = BindTarget(directory_.get(), directoryPath, &viaProc);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  int error = EADDRINUSE;
  for (int attempt = 0; attempt < kNameAttempts && error == EADDRINUSE; ++attempt) {
    name_ = EndpointName(static_cast<long>(owner_), RandomSuffix());
    path_ = directoryPath + "/" + name_;
    const std::string bound = target + "/" + name_;
    if (bound.size() >= sizeof address.sun_path) {
      Diagnostic("channel: off, the path %s is too long for a socket", bound.c_str());
      return;
    }
    std::memcpy(address.sun_path, bound.c_str(), bound.size() + 1);
    error = bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
                ? 0
                : errno;
  }
  // What was bound must be a socket of ours in the directory we checked (by
  // path, a rename may have put it elsewhere: then it goes again).
  struct stat st {};
  if (error == 0 && (fstatat(directory_.get(), name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                     !S_ISSOCK(st.st_mode) || st.st_uid != getuid())) {
    error = EXDEV;
    if (!viaProc) unlink(address.sun_path);
  }
  if (error == 0 && (fchmodat(directory_.get(), name_.c_str(), 0600, 0) != 0 ||
                     listen(listener.get(), 16) != 0)) {
    error = errno;
    unlinkat(directory_.get(), name_.c_str(), 0);
  }
  if (error != 0) {
    Diagnostic("channel: off, cannot listen at %s (%s)", path_.c_str(),
               error == EXDEV ? "the directory was moved while binding" : std::strerror(error));
    return;
  }
  socket_ = std::move(listener);
  device_ = st.st_dev;
  inode_ = st.st_ino;
  exitRecord.directory = directory_.get();
  std::memcpy(exitRecord.name, name_.c_str(), name_.size() + 1);
  exitRecord.device = device_;
  exitRecord.inode = inode_;
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
  if (StillOurs(directory_.get(), name_.c_str(), device_, inode_))
    unlinkat(directory_.get(), name_.c_str(), 0);
}

}  // namespace wedgesim
