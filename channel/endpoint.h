// Where the control channel listens: a Unix-domain stream socket only this
// user can reach, at $XDG_RUNTIME_DIR/wedgesim/<pid>.sock, or at
// /tmp/wedgesim-<uid>/<pid>.sock when XDG_RUNTIME_DIR is unset or unusable.
#pragma once

#include <sys/types.h>

#include <string>

#include "abi/fd.h"

namespace wedgesim {

// The directory of this user's endpoints (made with mode 0700 when missing),
// or "" with the reason in *why when none is safe: an existing directory must
// be a real directory (not a link), owned by this user, with no access for
// anyone else.
std::string EndpointDirectory(std::string* why);

class Endpoint {
 public:
  // Binds and listens; check ok(). A stale socket file of this pid (a dead
  // process's, since the pid is ours now) is replaced.
  Endpoint();
  ~Endpoint();  // closes the socket; the file is removed by Remove()
  Endpoint(const Endpoint&) = delete;
  Endpoint& operator=(const Endpoint&) = delete;

  bool ok() const { return socket_.valid(); }
  int fd() const { return socket_.get(); }
  const std::string& path() const { return path_; }

  // Removes the socket file, once, and only in the process that made it.
  void Remove();

 private:
  UniqueFd socket_;
  std::string path_;
  pid_t owner_;
  bool removed_ = false;
};

}  // namespace wedgesim
