// One client of the control channel as the server holds it: the bytes it sent
// that were not served yet and the replies it has not read yet, each within a
// fixed bound whatever the client does. What it sends beyond them waits in its
// own socket: input is read only when every whole line read was served and
// the replies are under their bound.
#pragma once

#include <poll.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "abi/fd.h"
#include "channel/protocol.h"

namespace wedgesim {

// Unserved input: one line at its longest, with its "\n".
inline constexpr std::size_t kPeerInputBound = kMaxLineBytes + 1;
// Unread replies: no line is served while this many bytes wait.
inline constexpr std::size_t kPeerReplyBound = std::size_t{16} * 1024;

class ChannelPeer {
 public:
  explicit ChannelPeer(int fd) noexcept : socket_(fd) {}
  ChannelPeer(const ChannelPeer&) = delete;
  ChannelPeer& operator=(const ChannelPeer&) = delete;

  int fd() const { return socket_.get(); }

  // What to wait for in poll(): input as described above, output while
  // replies wait. Nothing only in a state the server acts on at once: a
  // line to serve, or a peer that is done.
  short Events() const {
    return static_cast<short>((WantsInput() ? POLLIN : 0) | (Pending() > 0 ? POLLOUT : 0));
  }
  bool WantsInput() const { return !ended_ && !quit_ && !HasLine() && !Backlogged(); }

  // A whole line waits (one that was too long counts, as a line to refuse).
  bool HasLine() const { return tooLong_ || lineEnd_ != kNone; }
  bool CanServe() const { return HasLine() && !quit_ && !Backlogged(); }
  // Nothing is left to do: it quit, or its input ended and every line it
  // finished was served; and its replies are written, or it reads no more.
  bool Done() const { return (quit_ || (ended_ && !HasLine())) && Pending() == 0; }

  // One read of what the buffer has room for; the number of bytes that came.
  // At the end of the input (or a read error) a line not finished is dropped:
  // it posts nothing.
  std::size_t Receive();

  struct Line {
    std::string_view text;  // without its "\n"; valid until PopLine
    bool tooLong = false;   // its bytes were dropped as they came
  };
  Line FrontLine() const;  // when HasLine()
  void PopLine();
  // QUIT: nothing more is read, and the lines behind it are never served.
  void Quit();
  // The client closed its end entirely: it reads no answer any more, so it
  // gave up on what it sent (a runner that timed out), and nothing of it is
  // served. Only its writing half closed is the end of its input, not this.
  void Abandon();

  void Reply(std::string_view line);
  // Writes what the socket takes now. A peer that reads no more (the write
  // fails) is sent nothing more; the lines it sent are still served.
  void Flush();
  std::size_t Pending() const { return output_.size() - sent_; }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  bool Backlogged() const { return Pending() >= kPeerReplyBound; }
  void FindLine();

  UniqueFd socket_;
  // Input occupies [begin_, end_) of buffer_, which grows to kPeerInputBound
  // only for long lines; [begin_, searched_) holds no "\n" but at lineEnd_.
  std::vector<char> buffer_;
  std::size_t begin_ = 0, end_ = 0, searched_ = 0, lineEnd_ = kNone;
  bool discarding_ = false;  // inside a line that grew past the limit
  bool tooLong_ = false;     // such a line ended: it waits to be refused
  bool ended_ = false;       // its input ended
  bool quit_ = false;
  std::string output_;  // replies; the first sent_ bytes are written
  std::size_t sent_ = 0;
  bool deaf_ = false;  // it reads no more
};

}  // namespace wedgesim
