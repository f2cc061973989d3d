// Owners of file descriptors: one closes its descriptor, the other is an
// eventfd used to wake a thread that waits in poll().
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

namespace wedgesim {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }
  void Reset(int fd = -1) noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Gives the descriptor up without closing it (a forked child must never
  // close what its parent still uses).
  int Release() noexcept { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

// Stays readable once signalled until Clear(): a thread that polls it wakes
// however late it looks.
class WakeSignal {
 public:
  WakeSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!fd_.valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
  }
  int fd() const noexcept { return fd_.get(); }
  void Signal() const noexcept {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd_.get(), &one, sizeof one);
  }
  void Clear() const noexcept {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(fd_.get(), &count, sizeof count);
  }
  UniqueFd& owner() noexcept { return fd_; }

 private:
  UniqueFd fd_;
};

}  // namespace wedgesim
