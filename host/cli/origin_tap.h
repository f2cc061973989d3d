// What produced each event the add-in posts (hotkey 1 or 2, the control
// channel, a script method), which the event itself does not say: the add-in
// names it in its diagnostics right after the host's event call returns, so
// `listen` reads them through a pipe of its own and pairs each line with the
// event before it. Lines are passed on to the file WEDGESIM_LOG named, if any.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "abi/fd.h"
#include "host/kit/host_connection.h"

namespace cli {

class OriginTap {
 public:
  using Delivery = std::function<void(const hostkit::ExternalEvent&, const std::string& origin)>;

  // Before the library is loaded (it opens WEDGESIM_LOG then). `deliver` is
  // called on the tap's thread, once an event, in the order they came.
  explicit OriginTap(Delivery deliver);
  // Delivers what is still waiting ("unknown" where no line came), then stops.
  ~OriginTap();
  OriginTap(const OriginTap&) = delete;
  OriginTap& operator=(const OriginTap&) = delete;

  // From the host's event callback: the event waits for its line.
  void Event(const hostkit::ExternalEvent& event);

  // Waits until every event so far has been delivered (with its line, or
  // without once the line is overdue).
  void Settle();

  // The origin a diagnostics line names ("hotkey 1", "channel", "script
  // method"), or "" when it is no line about a posted scan.
  static std::string OriginOf(const std::string& line);

 private:
  struct Waiting {
    hostkit::ExternalEvent event;
    std::chrono::steady_clock::time_point since;
  };
  void Read();
  void Deliver(const std::string& origin);

  Delivery deliver_;
  wedgesim::UniqueFd readEnd_, writeEnd_, passOn_;
  wedgesim::WakeSignal stop_;
  std::mutex mutex_;
  std::condition_variable delivered_;
  std::deque<Waiting> waiting_;
  std::thread reader_;
};

}  // namespace cli
