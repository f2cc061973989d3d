// Which open device a runner's command talks to: the one --pid, --display,
// --name or --socket names, or else the one of this runtime directory and
// display; waited for with --wait.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "host/kit/channel_client.h"

namespace cli {

struct DeviceFilter {
  long pid = 0;         // 0: any
  std::string display;  // "": this command's own DISPLAY, when it has one
  std::string name;     // the program's name; "": any
  std::string socket;   // a path: that endpoint and no search
};

// ":0", ":0.0" and "unix:0" are one display.
std::string NormalDisplay(const std::string& display);

// The devices that match: open, of this environment's runtime directory
// (unless a pid is named), of the display and program asked for.
std::vector<hostkit::Endpoint> Matching(const std::vector<hostkit::Endpoint>& endpoints,
                                        const DeviceFilter& filter);

// The one device to use, waiting up to `wait` for it to open. Throws
// CliError: kExitNoDevice when none matches (naming the open ones that did
// not), kExitUsage when several do (listing them), kExitTimedOut when the one
// named does not answer.
hostkit::Endpoint ChooseDevice(const DeviceFilter& filter, std::chrono::milliseconds wait,
                               std::chrono::milliseconds timeout);

// "pid 4711 (myapp on :0, session 3)".
std::string DeviceText(const hostkit::Endpoint& endpoint);

}  // namespace cli
