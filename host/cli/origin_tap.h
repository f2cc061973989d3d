// What produced each event the add-in posts (hotkey 1 or 2, the control
// channel, a script method), which the event itself does not say: the add-in
// names it in its diagnostics right after the host's event call returns,
// numbering the calls, so `listen` reads them through a pipe of its own and
// pairs each line with the event of that number. An event whose line was lost
// (the add-in drops a line the pipe has no room for) is "unknown", never
// another event's origin. Lines are passed on to the file WEDGESIM_LOG named, if any.
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

  // What a diagnostics line about a posted scan says: its origin ("hotkey 1",
  // "channel", "script method"; "" for any other line) and the number of the
  // event call (0 when the line has none).
  struct Posted {
    std::string origin;
    unsigned long call = 0;
  };
  static Posted PostedOf(const std::string& line);

 private:
  struct Waiting {
    hostkit::ExternalEvent event;
    unsigned long call;  // the host's event calls are counted from 1, as the add-in counts them
    std::chrono::steady_clock::time_point since;
  };
  void Read();
  void Deliver(const Posted& posted);
  void DeliverFront(const std::string& origin);  // with the mutex held

  Delivery deliver_;
  wedgesim::UniqueFd readEnd_, writeEnd_, passOn_;
  wedgesim::WakeSignal stop_;
  std::mutex mutex_;
  std::condition_variable delivered_;
  std::deque<Waiting> waiting_;
  unsigned long calls_ = 0;
  std::thread reader_;
};

}  // namespace cli
