#include "host/desktop/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace hostkit::process {

namespace {

constexpr std::size_t kStderrTail = 800;
constexpr std::chrono::milliseconds kReapInterval{2};

}  // namespace

UniqueFd Elevate(int fd) {
  if (fd < 0) return UniqueFd();
    // NOTE: the system call itself on 32-bit x86, where glibc 2.28 gave fcntl a
    // new symbol version: the command then runs on the glibc its library needs.
#if defined(__i386__)
  const int high = static_cast<int>(syscall(SYS_fcntl64, fd, F_DUPFD_CLOEXEC, 10));
#else
  const int high = fcntl(fd, F_DUPFD_CLOEXEC, 10);
#endif
  close(fd);
  return UniqueFd(high);
}

UniqueFd MakeLog(const char* name) {
  // An unlinked file: it lives as long as its descriptor (memfd_create would
  // need glibc 2.27).
  std::string path = std::string("/tmp/wedgesim-") + name + "-XXXXXX";
  const int fd = mkostemp(path.data(), O_CLOEXEC);
  if (fd >= 0) unlink(path.c_str());
  return Elevate(fd);
}

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

std::string FindInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start);
    if (candidate.empty()) candidate = ".";
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

std::string DescribeStatus(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "was killed by signal " + std::to_string(WTERMSIG(status));
  return "stopped";
}

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

std::vector<std::string> Environment(const std::string& name, const std::string& value) {
  const std::string prefix = name + "=";
  std::vector<std::string> env;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (name.empty() || std::strncmp(*entry, prefix.c_str(), prefix.size()) != 0) {
      env.emplace_back(*entry);
    }
  }
  if (!name.empty()) env.push_back(prefix + value);
  return env;
}

// Between fork and exec only async-signal-safe calls are made: everything the
// child needs is prepared before the fork.
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
    if (error != nullptr) *error = ErrnoText("fork");
    return -1;
  }
  if (pid == 0) {
    for (int i = 0; i < 4; ++i) {
      if (sources[i] >= 0 && dup2(sources[i], targets[i]) < 0) _exit(126);
    }
    // The system call itself: glibc wraps it only from 2.34, and kernels before 5.9 refuse it.
#ifdef __NR_close_range
    if (syscall(__NR_close_range, firstUnmapped, ~0U, 0) != 0)
#endif
    {
      for (int fd = firstUnmapped; fd < fdLimit; ++fd) close(fd);
    }
    // Ignored signals stay ignored across exec, and a blocked SIGTERM would make the child
    // unstoppable by Terminate, so both are reset.
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

bool ReapUntil(pid_t pid, std::chrono::steady_clock::time_point deadline, int* status) {
  for (;;) {
    pid_t got = waitpid(pid, status, WNOHANG);
    if (got == pid) return true;
    if (got < 0 && errno != EINTR) return true;  // not our child any more; nothing to wait for
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kReapInterval);
  }
}

void Terminate(pid_t& pid, std::chrono::milliseconds grace) {
  if (pid <= 0) return;
  int status = 0;
  kill(pid, SIGTERM);
  if (!ReapUntil(pid, std::chrono::steady_clock::now() + grace, &status)) {
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pid = 0;
}

}  // namespace hostkit::process
