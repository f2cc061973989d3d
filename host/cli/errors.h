// How a command fails: a message for people (and for --json), and the exit
// status scripts can tell apart.
#pragma once

#include <stdexcept>
#include <string>

namespace cli {

enum ExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1,       // the command ran but did not get what it asked for
  kExitUsage = 2,        // bad command line
  kExitEnvironment = 3,  // no display, no window manager, no Xvfb or openbox
  kExitLibrary = 4,      // the add-in library cannot be found or loaded
};

class CliError : public std::runtime_error {
 public:
  CliError(ExitStatus status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  ExitStatus status() const { return status_; }

 private:
  ExitStatus status_;
};

}  // namespace cli
