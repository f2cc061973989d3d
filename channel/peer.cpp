#include "channel/peer.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace wedgesim {

namespace {

// Most lines are short: the buffer starts small and doubles only for long ones.
constexpr std::size_t kInitialInput = 4096;

}  // namespace

std::size_t ChannelPeer::Receive() {
  // Every whole line read was served, so what is left is the start of one:
  // moved to the front once, before more of it comes.
  if (begin_ > 0) {
    if (end_ > begin_) std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    searched_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) {
    const std::size_t size = std::min(kPeerInputBound, std::max(kInitialInput, 2 * end_));
    buffer_.reserve(size);  // exactly, where resize alone might double
    buffer_.resize(size);
  }
  ssize_t got = 0;
  do {
    got = recv(socket_.get(), buffer_.data() + end_, buffer_.size() - end_, MSG_DONTWAIT);
  } while (got < 0 && errno == EINTR);
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
  if (got <= 0) {
    ended_ = true;
    begin_ = end_ = searched_ = 0;
    discarding_ = false;
    std::vector<char>().swap(buffer_);
    return 0;
  }
  end_ += static_cast<std::size_t>(got);
  FindLine();
  return static_cast<std::size_t>(got);
}

// Searches each byte once: from where the last search stopped.
void ChannelPeer::FindLine() {
  if (HasLine()) return;
  const void* found =
      searched_ < end_ ? std::memchr(buffer_.data() + searched_, '\n', end_ - searched_) : nullptr;
  if (found == nullptr) {
    searched_ = end_;
    // The middle of a line past the limit is dropped as it comes; a line
    // that reaches the limit unfinished starts being dropped.
    if (discarding_ || end_ - begin_ == kPeerInputBound) {
      discarding_ = true;
      begin_ = end_ = searched_ = 0;
    }
    return;
  }
  const auto at = static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data());
  searched_ = at + 1;
  if (discarding_) {
    discarding_ = false;
    tooLong_ = true;
    begin_ = at + 1;
  } else {
    lineEnd_ = at;
  }
}

ChannelPeer::Line ChannelPeer::FrontLine() const {
  if (tooLong_) return {{}, true};
  return {{buffer_.data() + begin_, lineEnd_ - begin_}, false};
}

void ChannelPeer::PopLine() {
  if (tooLong_) {
    tooLong_ = false;
  } else {
    begin_ = lineEnd_ + 1;
    lineEnd_ = kNone;
  }
  FindLine();
}

void ChannelPeer::Quit() {
  quit_ = true;
  begin_ = end_ = searched_ = 0;
  lineEnd_ = kNone;
  discarding_ = tooLong_ = false;
  std::vector<char>().swap(buffer_);
}

void ChannelPeer::Abandon() {
  Quit();
  deaf_ = true;
  std::string().swap(output_);
  sent_ = 0;
}

void ChannelPeer::Reply(std::string_view line) {
  if (deaf_) return;
  // The written part goes once it is half the string: each byte moves at most once.
  if (sent_ > 0 && sent_ >= output_.size() / 2) {
    output_.erase(0, sent_);
    sent_ = 0;
  }
  output_.append(line);
}

void ChannelPeer::Flush() {
  while (sent_ < output_.size()) {
    const ssize_t written = send(socket_.get(), output_.data() + sent_, output_.size() - sent_,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (written <= 0) {
      deaf_ = true;
      std::string().swap(output_);
      sent_ = 0;
      return;
    }
    sent_ += static_cast<std::size_t>(written);
  }
  output_.clear();
  sent_ = 0;
}

}  // namespace wedgesim
