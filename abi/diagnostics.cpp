#include "abi/diagnostics.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace wedgesim {

namespace {

bool toStandardError = false;
int logFile = -1;

bool Set(const char* value) {
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

// One write(2) per line: lines of the host's thread and the device thread
// never interleave, and O_APPEND keeps them whole beside other writers.
void WriteAll(int fd, const char* line, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, line, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    line += written;
    length -= static_cast<std::size_t>(written);
  }
}

// NOTE: a write to a pipe whose reader has gone (a host's standard error
// piped into a program that ended) raises SIGPIPE, whose default ends the
// host. The signal is blocked in this thread for the write, and one that the
// write raised is taken before it is unblocked; the host's own handling of
// SIGPIPE (disposition, a signal already pending) is left as it was.
void WriteWithoutSigpipe(int fd, const char* line, std::size_t length) {
  sigset_t sigpipe, previous, pending;
  sigemptyset(&sigpipe);
  sigaddset(&sigpipe, SIGPIPE);
  if (pthread_sigmask(SIG_BLOCK, &sigpipe, &previous) != 0) return;
  sigemptyset(&pending);
  sigpending(&pending);
  const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
  const int savedErrno = errno;
  WriteAll(fd, line, length);
  if (!alreadyPending) {
    sigemptyset(&pending);
    sigpending(&pending);
    if (sigismember(&pending, SIGPIPE) == 1) {
      const timespec now{};
      while (sigtimedwait(&sigpipe, nullptr, &now) < 0 && errno == EINTR) {
      }
    }
  }
  errno = savedErrno;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace

namespace diagnostics_detail {

std::atomic<bool> enabled{false};

void Write(const char* format, ...) {
  char line[512];
  // The time (UTC, milliseconds) first: a log read later, or beside a test
  // runner's own, is read by it.
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  const int prefix = std::snprintf(
      line, sizeof line, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ wedgesim[%ld]: ", utc.tm_year + 1900,
      utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, now.tv_nsec / 1000000,
      static_cast<long>(getpid()));
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(line + prefix, sizeof line - static_cast<std::size_t>(prefix) - 1, format,
                 arguments);
  va_end(arguments);
  std::size_t length = std::strlen(line);
  line[length++] = '\n';
  if (toStandardError) WriteWithoutSigpipe(STDERR_FILENO, line, length);
  if (logFile >= 0) WriteWithoutSigpipe(logFile, line, length);
}

}  // namespace diagnostics_detail

void InitializeDiagnostics() noexcept {
  toStandardError = Set(std::getenv("WEDGESIM_DEBUG"));
  const char* path = std::getenv("WEDGESIM_LOG");
  if (path != nullptr && *path != '\0') {
    // Non-blocking: a FIFO without a reader is refused at once instead of
    // holding the host's load, and a full one drops lines, never the host.
    logFile = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (logFile < 0) {
      char message[512];
      const int length = std::snprintf(message, sizeof message,
                                       "wedgesim: cannot open the log file %s (%s); "
                                       "diagnostics are not logged\n",
                                       path, std::strerror(errno));
      if (length > 0)
        WriteWithoutSigpipe(STDERR_FILENO, message,
                            std::min(static_cast<std::size_t>(length), sizeof message - 1));
    }
  }
  diagnostics_detail::enabled.store(toStandardError || logFile >= 0);
}

}  // namespace wedgesim
