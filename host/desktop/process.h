// The desktop's child processes (Xvfb, openbox): found through PATH, started
// with fork and execve, stopped and reaped by pid with a deadline, and their
// stderr kept in memory so a failure can quote its end.
#pragma once

#include "abi/fd.h"

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace hostkit::process {

// One owner of a descriptor for the library and the hosts alike.
using wedgesim::UniqueFd;

// `fd` moved to a number above 0..3 (close-on-exec), which the child's dup2s
// install: a source already sitting on one of those could be overwritten by
// an earlier dup2. Closes `fd`; invalid when `fd` is.
UniqueFd Elevate(int fd);

// An anonymous in-memory file for a child's stderr, read back by ReadTail.
UniqueFd MakeLog(const char* name);

// "; its stderr ends with:\n..." and the last few hundred bytes written to
// `fd`, or "" when nothing was.
std::string ReadTail(int fd);

// The full path of `program` found through PATH, or "" when it is not there,
// so a missing program is reported as such rather than as the child's anonymous status 127.
std::string FindInPath(const std::string& program);

// "exited with status N", "was killed by signal N", for a waitpid status.
std::string DescribeStatus(int status);

// "what: " and strerror(errno).
std::string ErrnoText(const char* what);

// This process's environment, with `name` set to `value` when a name is given.
std::vector<std::string> Environment(const std::string& name = {}, const std::string& value = {});

// What the child gets as fds 0, 1, 2 and, when valid, 3.
struct ChildFds {
  int in = -1, out = -1, err = -1;
  int extra = -1;
};

// Starts `path` with argv `args` and environment `env`; the child gets a
// parent-death SIGTERM tied to the calling thread. -1 (and *error) on failure.
pid_t Spawn(const std::string& path, const std::vector<std::string>& args,
            const std::vector<std::string>& env, const ChildFds& fds, std::string* error);

// Waits for `pid` to exit until `deadline`; true (and *status set) once it is
// reaped, or when it is not our child any more.
bool ReapUntil(pid_t pid, std::chrono::steady_clock::time_point deadline, int* status);

// SIGTERM, up to `grace` to exit, then SIGKILL; reaped either way. Sets pid
// to 0; does nothing for a pid of 0.
void Terminate(pid_t& pid, std::chrono::milliseconds grace);

}  // namespace hostkit::process
