// Where the control channel listens: a Unix-domain stream socket only this
// user can reach, at $XDG_RUNTIME_DIR/wedgesim/<pid>-<suffix>.sock, or in
// /tmp/wedgesim-<uid>/ when XDG_RUNTIME_DIR is unset or unusable. The suffix
// is random: two copies of the library in one process (each with statics of
// its own) never share a name, and a name in use is never taken over.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "abi/fd.h"

namespace wedgesim {

// Where an add-in started with this environment listens:
// $XDG_RUNTIME_DIR/wedgesim when XDG_RUNTIME_DIR is usable, else
// /tmp/wedgesim-<uid>. It need not exist yet.
std::string PreferredEndpointDirectory();

// The directories this user's endpoints may be in, as a client looks for
// them: the preferred one first, then the other; only those that exist and
// are this user's alone (checked as the add-in checks them). Nothing is made.
std::vector<std::string> EndpointDirectories();

// An endpoint's file name: "<pid>-<suffix as 16 hex digits>.sock".
std::string EndpointName(long pid, std::uint64_t suffix);

// The pid an endpoint's file name belongs to ("<pid>-<suffix>.sock", or
// "<pid>.sock" as earlier versions name it), or 0 for any other name.
long EndpointPid(const std::string& name);

class Endpoint {
 public:
  // Binds and listens; check ok(). The directory is opened once and checked
  // as it is held (a real directory, ours, with no access for anyone else);
  // the socket is made inside that very directory, wherever a rename has
  // moved it meanwhile. No file is replaced or removed that it did not make.
  Endpoint();
  ~Endpoint();  // closes the socket; the file is removed by Remove()
  Endpoint(const Endpoint&) = delete;
  Endpoint& operator=(const Endpoint&) = delete;

  bool ok() const { return socket_.valid(); }
  int fd() const { return socket_.get(); }
  const std::string& path() const { return path_; }

  // Removes the socket file, once, and only in the process that made it and
  // while it is still the file it made.
  void Remove();

 private:
  UniqueFd directory_;
  UniqueFd socket_;
  std::string name_, path_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  pid_t owner_;
  bool removed_ = false;
};

}  // namespace wedgesim
