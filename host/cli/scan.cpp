// `wedgesim scan` and `wedgesim devices`: a test runner's side of the
// add-in's control channel. Neither loads the library: they talk to the one
// loaded in the application (or in `wedgesim listen`), of either width.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <thread>

#include "host/cli/arguments.h"
#include "host/cli/commands.h"
#include "host/cli/errors.h"
#include "host/cli/events.h"
#include "host/cli/gs1.h"
#include "host/cli/output.h"
#include "host/kit/channel_client.h"
#include "host/kit/text.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;

// The host's event call may be slow; the add-in answers once it has returned.
constexpr std::chrono::seconds kReplyDeadline{30};

struct Scan {
  std::string shown;  // as the runner gave it
  std::string line;   // what goes to the channel
};

Scan TextScan(const std::string& code, const std::string& origin) {
  if (code.find_first_of("\r\n") != std::string::npos)
    throw CliError(kExitUsage, origin +
                                   ": a barcode cannot hold a line break (give its bytes "
                                   "in Base64 with --base64)");
  return {code, "SCAN " + code};
}

Scan BytesScan(const std::string& code, const std::string& origin) {
  RequireBase64(code, origin);
  return {code, "SCAN64 " + code};
}

std::vector<Scan> Collect(const ScanOptions& options) {
  std::vector<Scan> scans;
  auto add = [&](const std::string& code, const std::string& origin) {
    scans.push_back(options.base64 ? BytesScan(code, origin) : TextScan(code, origin));
  };
  for (const std::string& code : options.codes) add(code, "scan");
  for (const std::string& notation : options.gs1) {
    const std::string element = BuildGs1(notation);
    scans.push_back({notation, "SCAN " + element});
  }
  if (!options.file.empty()) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (options.file != "-") {
      file.open(options.file);
      if (!file) throw CliError(kExitUsage, "scan --file: cannot read " + options.file);
      in = &file;
    }
    std::size_t number = 0;
    for (std::string line; std::getline(*in, line);) {
      ++number;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;  // blank lines separate groups; they are no barcode
      add(line, "scan --file line " + std::to_string(number));
    }
  }
  if (scans.empty())
    throw CliError(kExitUsage, "scan: nothing to scan (give barcodes, --gs1 or --file)");
  return scans;
}

std::string PidList(const std::vector<hostkit::Endpoint>& endpoints) {
  std::string list;
  for (const auto& endpoint : endpoints)
    list += (list.empty() ? "" : ", ") + std::to_string(endpoint.pid);
  return list;
}

// The endpoint to scan into: the one of --pid, or the one open device (where
// an add-in with this environment would listen, else anywhere of this user's).
hostkit::Endpoint Choose(long pid) {
  std::vector<hostkit::Endpoint> live, preferred;
  for (const auto& endpoint : hostkit::FindEndpoints()) {
    if (!endpoint.live) continue;
    live.push_back(endpoint);
    if (endpoint.preferred) preferred.push_back(endpoint);
  }
  if (pid != 0) {
    for (const auto& endpoint : live)
      if (endpoint.pid == pid) return endpoint;
    throw CliError(kExitEnvironment, "no open device in process " + std::to_string(pid) +
                                         (live.empty() ? "" : " (open: " + PidList(live) + ")"));
  }
  if (live.empty())
    throw CliError(kExitEnvironment,
                   "no open device of this user: open it in the application (or run `wedgesim "
                   "listen`) first");
  const auto& candidates = preferred.empty() ? live : preferred;
  if (candidates.size() > 1)
    throw CliError(kExitUsage, "several devices are open (pids " + PidList(candidates) +
                                   "): choose one with --pid");
  return candidates.front();
}

// The barcode as people read it: control characters escaped.
std::string Shown(const std::string& text) { return Printable(hostkit::Host(text)); }

}  // namespace

int RunScan(const CommonOptions& common, const ScanOptions& options) {
  const std::vector<Scan> scans = Collect(options);
  const hostkit::Endpoint endpoint = Choose(options.pid);
  hostkit::ChannelClient channel(endpoint.path);
  const auto greeting = channel.ok() ? channel.ReadLine() : std::nullopt;
  if (!greeting)
    throw CliError(kExitEnvironment, "the device in process " + std::to_string(endpoint.pid) +
                                         " does not answer at " + endpoint.path);

  int failed = 0;
  for (std::size_t i = 0; i < scans.size(); ++i) {
    if (i > 0 && options.intervalMs > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(options.intervalMs));
    const auto start = Clock::now();
    const auto reply = channel.Ask(scans[i].line, kReplyDeadline);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const bool ok = reply && reply->rfind("OK ", 0) == 0;
    std::string reason = "closed", message = "the device closed the connection";
    if (reply && !ok) {
      // "ERR <reason> <why>"
      const std::size_t blank = reply->find(' ', 4);
      reason = reply->substr(4, blank == std::string::npos ? std::string::npos : blank - 4);
      message = blank == std::string::npos ? "" : reply->substr(blank + 1);
    }
    if (!ok) ++failed;
    if (common.json) {
      json::Value ack;
      ack.Add("ok", ok).Add("barcode", scans[i].shown).Add("pid", endpoint.pid);
      if (ok)
        ack.Add("characters", std::stol(reply->substr(3)));
      else
        ack.Add("error", reason).Add("message", message);
      ack.Add("ms", ms);
      EmitLine(ack);
    } else if (ok) {
      char took[32];
      std::snprintf(took, sizeof took, "%.2f ms", ms);
      std::cout << "ok " << Shown(scans[i].shown) << " (" << reply->substr(3) << " characters, "
                << took << ")" << std::endl;
    } else {
      std::cout << "failed " << Shown(scans[i].shown) << ": " << reason << ": " << message
                << std::endl;
    }
    if (!reply) {
      // The connection is gone: what is left was never sent.
      for (std::size_t rest = i + 1; rest < scans.size(); ++rest) ++failed;
      break;
    }
  }
  return failed == 0 ? kExitOk : kExitFailed;
}

int RunDevices(const CommonOptions& common) {
  const std::vector<hostkit::Endpoint> endpoints = hostkit::FindEndpoints();
  json::Value document, list = json::Array{};
  std::string text;
  for (const auto& endpoint : endpoints) {
    json::Value entry;
    entry.Add("pid", endpoint.pid)
        .Add("protocol", endpoint.live ? json::Value(endpoint.protocolVersion) : json::Value())
        .Add("open", endpoint.live)
        .Add("endpoint", endpoint.path);
    list.Push(entry);
    text += "pid " + Pad(std::to_string(endpoint.pid), 8) +
            (endpoint.live ? "protocol " + std::to_string(endpoint.protocolVersion) + "  open  "
                           : "gone (the process left its endpoint behind)  ") +
            endpoint.path + "\n";
  }
  if (endpoints.empty()) text = "no open devices of this user\n";
  document.Add("devices", list);
  Emit(common.json, document, text);
  return kExitOk;
}

}  // namespace cli
