#include "host/cli/origin_tap.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

namespace cli {

namespace {

// An event whose line has not come by then is shown all the same.
constexpr auto kLineDeadline = std::chrono::seconds(1);
// Room for the lines written while the events are shown (a slow terminal,
// a paused pager): some ten thousand, where a plain pipe holds some 600.
constexpr int kPipeBytes = 1 << 20;

}  // namespace

OriginTap::OriginTap(Delivery deliver) : deliver_(std::move(deliver)) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return;  // no tap: every origin is "unknown"
  readEnd_.Reset(ends[0]);
  writeEnd_.Reset(ends[1]);
  // As a system call: the 32-bit fcntl symbol of newer C libraries is newer
  // than the oldest one the command runs on. Without it, the pipe's default size.
  syscall(SYS_fcntl, writeEnd_.get(), F_SETPIPE_SZ, kPipeBytes);
  if (const char* user = std::getenv("WEDGESIM_LOG"); user != nullptr && *user != '\0')
    passOn_.Reset(open(user, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  // The add-in opens this path at load: a descriptor of its own on our pipe.
  setenv("WEDGESIM_LOG", ("/proc/self/fd/" + std::to_string(writeEnd_.get())).c_str(), 1);
  reader_ = std::thread([this] { Read(); });
}

OriginTap::~OriginTap() {
  stop_.Signal();
  if (reader_.joinable()) reader_.join();
  std::lock_guard lock(mutex_);
  while (!waiting_.empty()) {
    deliver_(waiting_.front().event, "unknown");
    waiting_.pop_front();
  }
}

void OriginTap::Event(const hostkit::ExternalEvent& event) {
  std::lock_guard lock(mutex_);
  waiting_.push_back({event, ++calls_, std::chrono::steady_clock::now()});
}

OriginTap::Posted OriginTap::PostedOf(const std::string& line) {
  // "... wedgesim[<pid>]: scan posted: <origin>, <n> characters, event call <k>"
  constexpr std::string_view kPosted = "]: scan posted: ", kCall = ", event call ";
  Posted posted;
  const std::size_t at = line.find(kPosted);
  if (at == std::string::npos) return posted;
  const std::size_t start = at + kPosted.size();
  posted.origin = line.substr(start, line.find(',', start) - start);
  if (posted.origin.rfind("GenerateExternalEvent", 0) == 0) posted.origin = "script method";
  if (const std::size_t call = line.rfind(kCall); call != std::string::npos)
    posted.call = std::strtoul(line.c_str() + call + kCall.size(), nullptr, 10);
  return posted;
}

void OriginTap::DeliverFront(const std::string& origin) {
  deliver_(waiting_.front().event, origin);
  waiting_.pop_front();
  delivered_.notify_all();
}

void OriginTap::Deliver(const Posted& posted) {
  std::lock_guard lock(mutex_);
  // A line without a number pairs with the oldest event; a numbered one with
  // its own, and those before it whose lines were lost go as "unknown" (the
  // add-in writes its lines in the order of its calls). A line of an event
  // already shown as "unknown" is late: it is dropped.
  if (posted.call != 0) {
    while (!waiting_.empty() && waiting_.front().call < posted.call) DeliverFront("unknown");
    if (waiting_.empty() || waiting_.front().call != posted.call) return;
  }
  if (!waiting_.empty()) DeliverFront(posted.origin);
}

void OriginTap::Settle() {
  std::unique_lock lock(mutex_);
  // A system-clock wait: gcc 10's steady-clock one needs glibc 2.30.
  delivered_.wait_until(lock, std::chrono::system_clock::now() + 2 * kLineDeadline,
                        [this] { return waiting_.empty(); });
}

void OriginTap::Read() {
  std::string pending;
  for (;;) {
    pollfd waits[2] = {{readEnd_.get(), POLLIN, 0}, {stop_.fd(), POLLIN, 0}};
    const int ready = poll(waits, 2, 100);
    if (ready < 0 && errno != EINTR) return;
    if ((waits[0].revents & POLLIN) != 0) {
      char chunk[4096];
      const ssize_t got = read(readEnd_.get(), chunk, sizeof chunk);
      if (got > 0) {
        if (passOn_.valid()) {
          [[maybe_unused]] const ssize_t passed =
              write(passOn_.get(), chunk, static_cast<std::size_t>(got));
        }
        pending.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
          const Posted posted = PostedOf(pending.substr(0, end));
          pending.erase(0, end + 1);
          if (!posted.origin.empty()) Deliver(posted);
        }
      }
      continue;  // drain before stopping
    }
    {
      std::lock_guard lock(mutex_);
      while (!waiting_.empty() &&
             std::chrono::steady_clock::now() - waiting_.front().since > kLineDeadline)
        DeliverFront("unknown");
    }
    if ((waits[1].revents & POLLIN) != 0) return;
  }
}

}  // namespace cli
