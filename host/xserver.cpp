// The private X server: Xvfb and, when asked, openbox, started and stopped by pid.
#include "host/xenv.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include "host/xenv_detail.h"

namespace hostkit {
namespace {

using namespace detail;  // the pieces the X environment's files share
using std::chrono::milliseconds;

constexpr milliseconds kServerReadyTimeout{10000};
constexpr milliseconds kWindowManagerReadyTimeout{10000};
constexpr milliseconds kTerminateGrace{10000};
constexpr size_t kStderrTail = 800;

// Owns a file descriptor.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~UniqueFd() { Reset(); }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The child's fds 0..2 (and 3 for the display pipe) are installed with dup2 after fork. If one of
// the sources already sat on one of those low numbers, an earlier dup2 could overwrite it, so every
// source is moved above them first.
UniqueFd Elevate(int fd) {
  if (fd < 0) return UniqueFd();
  int high = fcntl(fd, F_DUPFD_CLOEXEC, 10);
  close(fd);
  return UniqueFd(high);
}

// Owns a Display connection.
struct DisplayCloser {
  void operator()(Display* display) const {
    if (display != nullptr) XCloseDisplay(display);
  }
};
using UniqueDisplay = std::unique_ptr<Display, DisplayCloser>;

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Resolves a program name through PATH ourselves, so a missing program is reported as such
// instead of as an anonymous exit status 127 of the child.
std::string FindInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = std::move(dir);
    candidate += '/';
    candidate += program;
    struct stat st {};
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return {};
}

// The last part of what a child wrote to its stderr log, for error messages.
std::string ReadTail(int fd) {
  if (fd < 0) return {};
  off_t size = lseek(fd, 0, SEEK_END);
  if (size <= 0) return {};
  off_t from = size > static_cast<off_t>(kStderrTail) ? size - static_cast<off_t>(kStderrTail) : 0;
  std::string text(static_cast<size_t>(size - from), '\0');
  ssize_t got = pread(fd, text.data(), text.size(), from);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.empty() ? std::string() : "; its stderr ends with:\n" + text;
}

std::string DescribeStatus(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "was killed by signal " + std::to_string(WTERMSIG(status));
  return "stopped";
}

struct ChildFds {
  int in = -1, out = -1, err = -1;
  int extra = -1;  // becomes fd 3 when valid
};

// Starts path with argv and env. Between fork and exec only async-signal-safe calls are made:
// everything the child needs is prepared before the fork.
pid_t Spawn(const std::string& path, const std::vector<std::string>& args,
            const std::vector<std::string>& env, const ChildFds& fds, std::string* error) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  envp.reserve(env.size() + 1);
  for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  const int targets[] = {0, 1, 2, 3};
  const int sources[] = {fds.in, fds.out, fds.err, fds.extra};
  const int firstUnmapped = fds.extra >= 0 ? 4 : 3;
  long openMax = sysconf(_SC_OPEN_MAX);
  const int fdLimit = openMax > 0 && openMax < 65536 ? static_cast<int>(openMax) : 65536;
  const pid_t parent = getpid();

  pid_t pid = fork();
  if (pid < 0) {
    SetError(error, ErrnoText("fork"));
    return -1;
  }
  if (pid == 0) {
    for (int i = 0; i < 4; ++i) {
      if (sources[i] >= 0 && dup2(sources[i], targets[i]) < 0) _exit(126);
    }
    if (close_range(firstUnmapped, ~0U, 0) != 0) {
      for (int fd = firstUnmapped; fd < fdLimit; ++fd) close(fd);
    }
    // Ignored signals stay ignored across exec, and a blocked SIGTERM would make the child
    // unstoppable by our destructor, so both are reset.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD}) sigaction(sig, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Dies with us (SIGTERM lets Xvfb remove its lock file); the check closes the race with a
    // parent that died before prctl.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(125);
    execve(path.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

// Waits for pid to exit until the deadline; true (and *status set) once it has been reaped.
bool ReapUntil(pid_t pid, Clock::time_point deadline, int* status) {
  for (;;) {
    pid_t got = waitpid(pid, status, WNOHANG);
    if (got == pid) return true;
    if (got < 0 && errno != EINTR) return true;  // not our child any more; nothing to wait for
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

// Reads the display number Xvfb writes to the -displayfd pipe ("N\n").
// Clears *server when it finds the server dead (and reaped), so nobody signals a stale pid.
bool ReadDisplayNumber(int fd, pid_t* server, std::string* display, std::string* problem) {
  const auto deadline = Clock::now() + kServerReadyTimeout;
  std::string text;
  for (;;) {
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      *problem = "Xvfb did not report a display within " +
                 std::to_string(kServerReadyTimeout.count()) + " ms";
      return false;
    }
    pollfd pfd{fd, POLLIN, 0};
    int ready = poll(&pfd, 1, static_cast<int>(std::min<long long>(left, 100)));
    if (ready < 0 && errno != EINTR) {
      *problem = ErrnoText("poll on the Xvfb display pipe");
      return false;
    }
    if (ready > 0) {
      char buffer[32];
      ssize_t got = read(fd, buffer, sizeof buffer);
      if (got > 0) text.append(buffer, static_cast<size_t>(got));
      if (text.find('\n') != std::string::npos || got == 0) break;
      if (got < 0 && errno != EINTR && errno != EAGAIN) {
        *problem = ErrnoText("read from the Xvfb display pipe");
        return false;
      }
    }
    int status = 0;
    if (waitpid(*server, &status, WNOHANG) == *server) {
      *server = 0;
      *problem = "Xvfb " + DescribeStatus(status) + " before reporting a display";
      return false;
    }
  }
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (digits == 0) {
    *problem = "Xvfb closed the display pipe without reporting a display";
    return false;
  }
  *display = ":" + text.substr(0, digits);
  return true;
}

UniqueFd MakeLog(const char* name) { return Elevate(memfd_create(name, MFD_CLOEXEC)); }

std::vector<std::string> EnvironmentWithDisplay(const std::string& display) {
  std::vector<std::string> env;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, "DISPLAY=", 8) != 0) env.emplace_back(*entry);
  }
  env.push_back("DISPLAY=" + display);
  return env;
}

// Waits until the manager really manages windows. _NET_SUPPORTING_WM_CHECK alone is not enough:
// openbox sets it (and even _NET_CLIENT_LIST) a few tens of milliseconds before it handles
// MapRequests, and a window mapped in that gap is silently never managed. So a probe window is
// mapped, and mapped again while it stays unmanaged, until the manager lists it; then it is
// destroyed and we wait for the manager to drop it, leaving an empty client list behind.
// Clears *manager when it finds the manager dead (and reaped).
bool WaitForWindowManager(Display* display, pid_t* manager, std::string* problem) {
  const auto deadline = Clock::now() + kWindowManagerReadyTimeout;
  auto left = [&] { return Remaining(deadline); };
  int status = 0;
  bool died = false;
  auto ready = [&](const std::function<bool()>& condition, milliseconds timeout) {
    return WaitUntil(
               [&] {
                 if (condition()) return true;
                 died = waitpid(*manager, &status, WNOHANG) == *manager;
                 return died;
               },
               timeout) &&
           !died;
  };
  auto fail = [&](const std::string& what) {
    if (died) {
      *manager = 0;
      *problem = "openbox " + DescribeStatus(status) + " " + what;
    } else {
      *problem = "openbox did not get ready within " +
                 std::to_string(kWindowManagerReadyTimeout.count()) + " ms: " + what;
    }
    return false;
  };

  if (!ready([&] { return WindowManagerReady(display); }, left())) {
    return fail("before setting _NET_SUPPORTING_WM_CHECK");
  }
  const Window probe =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  bool managed = false;
  // The first map is usually lost, so the first retry comes soon; the interval grows so that a
  // manager slowed down by a busy machine is not interrupted over and over by our remapping.
  milliseconds interval{25};
  while (!managed && !died && left() > milliseconds(0)) {
    XUnmapWindow(display, probe);  // a no-op unless the manager mapped it late
    XMapWindow(display, probe);
    XSync(display, False);
    managed = ready([&] { return Listed(display, probe); }, std::min(interval, left()));
    interval = std::min(interval * 2, milliseconds(800));
  }
  XDestroyWindow(display, probe);
  XSync(display, False);
  if (!managed) return fail("before managing a first window");
  if (!ready([&] { return !Listed(display, probe); }, left())) {
    return fail("before forgetting a destroyed window");
  }
  return true;
}

}  // namespace

// ---- PrivateXServer ----------------------------------------------------------

std::unique_ptr<PrivateXServer> PrivateXServer::Start(const XServerOptions& options,
                                                      std::string* error) {
  std::string xvfb = FindInPath("Xvfb");
  if (xvfb.empty()) {
    SetError(error, "Xvfb was not found in PATH (it comes with the xvfb package)");
    return nullptr;
  }
  std::string openbox;
  if (options.windowManager) {
    openbox = FindInPath("openbox");
    if (openbox.empty()) {
      SetError(error, "openbox was not found in PATH (it comes with the openbox package)");
      return nullptr;
    }
  }

  UniqueFd devNull = Elevate(open("/dev/null", O_RDWR | O_CLOEXEC));
  int pipeFds[2];
  if (!devNull.valid() || pipe2(pipeFds, O_CLOEXEC) != 0) {
    SetError(error, ErrnoText("cannot prepare the Xvfb pipes"));
    return nullptr;
  }
  UniqueFd readEnd = Elevate(pipeFds[0]);
  UniqueFd writeEnd = Elevate(pipeFds[1]);
  UniqueFd serverLog = MakeLog("xvfb-stderr");

  // The destructor cleans up whatever part was started if a later step fails.
  std::unique_ptr<PrivateXServer> server(new PrivateXServer());
  std::vector<std::string> env;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    env.emplace_back(*entry);
  }
  std::string spawnError;
  server->serverPid_ = Spawn(
      xvfb,
      {"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"},
      env, {devNull.get(), devNull.get(), serverLog.get(), writeEnd.get()}, &spawnError);
  if (server->serverPid_ < 0) {
    server->serverPid_ = 0;
    SetError(error, "cannot start Xvfb: " + spawnError);
    return nullptr;
  }
  writeEnd.Reset();  // so that a dying server shows up as end of file

  std::string problem;
  if (!ReadDisplayNumber(readEnd.get(), &server->serverPid_, &server->display_, &problem)) {
    SetError(error, problem + ReadTail(serverLog.get()));
    return nullptr;
  }

  UniqueDisplay connection(XOpenDisplay(server->display_.c_str()));
  if (!connection) {
    SetError(error, "Xvfb reported display " + server->display_ + " but it cannot be opened" +
                        ReadTail(serverLog.get()));
    return nullptr;
  }
  if (!options.windowManager) return server;

  UniqueFd managerLog = MakeLog("openbox-stderr");
  server->windowManagerPid_ =
      Spawn(openbox, {"openbox", "--sm-disable"}, EnvironmentWithDisplay(server->display_),
            {devNull.get(), devNull.get(), managerLog.get(), -1}, &spawnError);
  if (server->windowManagerPid_ < 0) {
    server->windowManagerPid_ = 0;
    SetError(error, "cannot start openbox: " + spawnError);
    return nullptr;
  }

  if (!WaitForWindowManager(connection.get(), &server->windowManagerPid_, &problem)) {
    SetError(error, problem + ReadTail(managerLog.get()));
    return nullptr;
  }
  return server;
}

void PrivateXServer::Stop(pid_t& pid) {
  if (pid <= 0) return;
  int status = 0;
  kill(pid, SIGTERM);
  if (!ReapUntil(pid, Clock::now() + kTerminateGrace, &status)) {
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pid = 0;
}

PrivateXServer::~PrivateXServer() {
  // The manager first: it is a client of the server and would otherwise log its lost connection.
  Stop(windowManagerPid_);
  Stop(serverPid_);
}

void PrivateXServer::ExportDisplay() const { setenv("DISPLAY", display_.c_str(), 1); }

}  // namespace hostkit
