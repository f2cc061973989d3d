// How a command fails: a message for people (and for --json), and an exit
// status scripts can tell apart. The table is the README's.
#pragma once

#include <stdexcept>
#include <string>

namespace cli {

enum ExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1,       // the command ran but did not get what it asked for
  kExitUsage = 2,        // a bad command line, or a barcode no device could take
  kExitEnvironment = 3,  // no display, no window manager, no Xvfb or openbox
  kExitLibrary = 4,      // the add-in library cannot be found or loaded
  kExitNoDevice = 5,     // nothing to scan into: no open device matched (after --wait)
  kExitRefused = 6,      // the device answered, and refused at least one barcode
  kExitTimedOut = 7,     // a device, or the capture, did not answer in time
  kExitPartly = 8,       // the run stopped before every barcode was answered
  kExitNoBarcode = 9,    // an image holds no barcode (or not the one --pick names)
  kExitBadImage = 10,    // a file that is no image, or one that cannot be read
  kExitTruncated = 11,   // an image file that ends early or is corrupt
  kExitTooLarge = 12,    // an image over the pixel limit
};

// A word for each status, as JSON errors name it ("error": "timed-out"), and
// what it means, as the manual says it.
const char* ExitWord(int status);
const char* ExitMeaning(int status);

class CliError : public std::runtime_error {
 public:
  CliError(ExitStatus status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  ExitStatus status() const { return status_; }

 private:
  ExitStatus status_;
};

}  // namespace cli
