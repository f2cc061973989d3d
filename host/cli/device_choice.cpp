#include "host/cli/device_choice.h"

#include <cstdlib>
#include <thread>

#include "host/cli/errors.h"

namespace cli {

namespace {

std::string ListOf(const std::vector<hostkit::Endpoint>& endpoints) {
  std::string list;
  for (const auto& endpoint : endpoints) list += "\n  " + DeviceText(endpoint);
  return list;
}

}  // namespace

std::string NormalDisplay(const std::string& display) {
  std::string normal = display.rfind("unix:", 0) == 0 ? display.substr(4) : display;
  const std::size_t colon = normal.rfind(':');
  const std::size_t dot = normal.find('.', colon == std::string::npos ? 0 : colon);
  if (colon != std::string::npos && dot != std::string::npos) normal.erase(dot);
  return normal;
}

std::vector<hostkit::Endpoint> Matching(const std::vector<hostkit::Endpoint>& endpoints,
                                        const DeviceFilter& filter) {
  // A runner without a display (ssh, CI) scans into any display's device;
  // one with a display, only into its own, unless it names another or a pid.
  const char* own = std::getenv("DISPLAY");
  const std::string display = !filter.display.empty()             ? filter.display
                              : filter.pid == 0 && own != nullptr ? std::string(own)
                                                                  : std::string();
  std::vector<hostkit::Endpoint> matching;
  for (const auto& endpoint : endpoints) {
    if (endpoint.state != hostkit::Endpoint::State::kOpen) continue;
    if (filter.pid != 0 ? endpoint.pid != filter.pid : !endpoint.preferred) continue;
    if (!filter.name.empty() && endpoint.greeting.program != filter.name) continue;
    if (!display.empty() && NormalDisplay(endpoint.greeting.display) != NormalDisplay(display))
      continue;
    matching.push_back(endpoint);
  }
  return matching;
}

hostkit::Endpoint ChooseDevice(const DeviceFilter& filter, std::chrono::milliseconds wait,
                               std::chrono::milliseconds timeout) {
  if (!filter.socket.empty()) {
    hostkit::Endpoint endpoint = hostkit::ProbeEndpoint(filter.socket, timeout);
    if (endpoint.state == hostkit::Endpoint::State::kOpen) return endpoint;
    if (endpoint.state == hostkit::Endpoint::State::kNotAnswering)
      throw CliError(kExitTimedOut, "the device at " + filter.socket + " is not answering");
    throw CliError(kExitNoDevice, "no open device at " + filter.socket);
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const std::vector<hostkit::Endpoint> all = hostkit::FindEndpoints(timeout);
    const std::vector<hostkit::Endpoint> matching = Matching(all, filter);
    if (matching.size() == 1) return matching.front();
    if (matching.size() > 1)
      throw CliError(
          kExitUsage,
          "several devices match; choose one with --pid, --display or --name:" + ListOf(matching));
    if (std::chrono::steady_clock::now() >= deadline) {
      std::vector<hostkit::Endpoint> others, silent;
      for (const auto& endpoint : all) {
        if (endpoint.state == hostkit::Endpoint::State::kOpen) others.push_back(endpoint);
        if (endpoint.state == hostkit::Endpoint::State::kNotAnswering &&
            (filter.pid == 0 || endpoint.pid == filter.pid))
          silent.push_back(endpoint);
      }
      if (!silent.empty() && filter.pid != 0)
        throw CliError(kExitTimedOut, "the device of process " + std::to_string(filter.pid) +
                                          " is not answering (stopped, or busy)");
      std::string message =
          filter.pid != 0 ? "no open device in process " + std::to_string(filter.pid)
                          : "no open device of this user in this runtime directory and display";
      if (wait.count() > 0)
        message += " after waiting " + std::to_string(wait.count() / 1000) + " s";
      if (!others.empty()) message += "; open elsewhere:" + ListOf(others);
      if (!silent.empty()) message += "\nnot answering:" + ListOf(silent);
      if (others.empty() && silent.empty())
        message +=
            ": open it in the application (or run `wedgesim listen`) first, or wait "
            "for it with --wait";
      throw CliError(kExitNoDevice, message);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

std::string DeviceText(const hostkit::Endpoint& endpoint) {
  const hostkit::Greeting& greeting = endpoint.greeting;
  std::string text = "pid " + std::to_string(endpoint.pid);
  std::string about = greeting.program.empty() ? "" : greeting.program;
  if (!greeting.display.empty())
    about += (about.empty() ? "" : " ") + std::string("on ") + greeting.display;
  if (!greeting.session.empty())
    about += (about.empty() ? "" : ", ") + std::string("session ") + greeting.session;
  if (!about.empty()) text += " (" + about + ")";
  return text + " at " + endpoint.path;
}

}  // namespace cli
