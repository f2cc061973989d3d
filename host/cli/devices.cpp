// `wedgesim devices`: this user's devices, open or left behind, with the
// program, display and session each belongs to; --prune removes the
// endpoints that dead processes left (never one of a live process).
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "host/cli/app.h"
#include "host/cli/device_choice.h"
#include "host/cli/errors.h"
#include "host/cli/output.h"

namespace cli {

namespace {

const char* StateWord(hostkit::Endpoint::State state) {
  switch (state) {
    case hostkit::Endpoint::State::kOpen:
      return "open";
    case hostkit::Endpoint::State::kNotAnswering:
      return "not answering";
    case hostkit::Endpoint::State::kGone:
      break;
  }
  return "gone";
}

bool ProcessExists(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

int Devices(const CommonOptions& common, bool prune, const std::string& timeoutText) {
  const auto timeout = std::chrono::milliseconds(
      static_cast<long>(ParseSeconds(timeoutText, "--timeout", 0.1, 60) * 1000));
  const std::vector<hostkit::Endpoint> endpoints = hostkit::FindEndpoints(timeout);
  std::size_t removed = 0;
  for (const auto& endpoint : endpoints) {
    const bool dead =
        endpoint.state == hostkit::Endpoint::State::kGone && !ProcessExists(endpoint.pid);
    const bool pruned = prune && dead && unlink(endpoint.path.c_str()) == 0;
    removed += pruned ? 1 : 0;
    const hostkit::Greeting& greeting = endpoint.greeting;
    Json line = Record("device");
    line["pid"] = endpoint.pid;
    line["state"] = StateWord(endpoint.state);
    line["program"] = greeting.program.empty() ? Json() : Json(greeting.program);
    line["display"] = greeting.display.empty() ? Json() : Json(greeting.display);
    line["session"] = greeting.session.empty() ? Json() : Json(greeting.session);
    line["protocol"] = greeting.version > 0 ? Json(greeting.version) : Json();
    line["endpoint"] = endpoint.path;
    line["thisEnvironment"] = endpoint.preferred;
    if (prune) line["pruned"] = pruned;
    std::string text =
        Pad("pid " + std::to_string(endpoint.pid), 12) + Pad(StateWord(endpoint.state), 15) +
        Pad(greeting.program.empty() ? "-" : greeting.program, 16) +
        Pad(greeting.display.empty() ? "-" : greeting.display, 8) +
        Pad(greeting.session.empty() ? "-" : "session " + greeting.session, 12) + endpoint.path;
    if (pruned) text += "  (removed)";
    if (dead && !prune) text += "  (its process is gone: devices --prune removes it)";
    Emit(common.json, line, text);
  }
  Json summary = Record("summary");
  summary["devices"] = endpoints.size();
  if (prune) summary["pruned"] = removed;
  Emit(common.json, summary,
       endpoints.empty() ? std::string("no devices of this user")
                         : Count(endpoints.size(), "endpoint") +
                               (prune ? ", " + std::to_string(removed) + " removed" : ""));
  return kExitOk;
}

}  // namespace

Subcommand AddDevices(CLI::App& app, const CommonOptions& common) {
  auto prune = std::make_shared<bool>(false);
  auto timeout = std::make_shared<std::string>("2");
  CLI::App* parser = app.add_subcommand(
      "devices", "list this user's devices: pid, state, program, display, session, endpoint");
  parser->group("Commands");
  parser->add_flag("--prune", *prune,
                   "remove the endpoints that processes which are gone left behind");
  parser->add_option("--timeout", *timeout, "seconds each device may take to answer")
      ->type_name("SECONDS");
  return {parser, [&common, prune, timeout] { return Devices(common, *prune, *timeout); }};
}

}  // namespace cli
