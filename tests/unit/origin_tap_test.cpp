// The command's pairing of events with the add-in's diagnostics lines that say
// where each came from: by the number of the event call, so a lost or late
// line never gives an event another one's origin.
#include "host/cli/origin_tap.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(OriginTap, EachEventGetsItsOwnCallsOriginWhateverLinesAreLostOrLate) {
  unsetenv("WEDGESIM_LOG");
  std::vector<std::pair<std::string, std::string>> shown;  // event, origin
  {
    cli::OriginTap tap([&](const hostkit::ExternalEvent& event, const std::string& origin) {
      shown.emplace_back(event.source, origin);
    });
    // Where the add-in would write: the path the tap put in WEDGESIM_LOG.
    const int log = open(std::getenv("WEDGESIM_LOG"), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(log, 0);
    for (const char* name : {"e1", "e2", "e3", "e4", "e5"}) tap.Event({name, "", u"x", {}, ""});
    const std::string prefix = "2026-12-08T10:00:00.000Z wedgesim[42]: ";
    const std::string lines = prefix + "scan posted: channel, 1 characters, event call 1\n" +
                              // call 2's line was lost
                              prefix + "the device started\n" + prefix +
                              "scan posted: hotkey 1, 1 characters, event call 3\n" + prefix +
                              "scan posted: hotkey 2, 1 characters, event call 2\n" +  // late
                              prefix +
                              "scan posted: GenerateExternalEvent, 1 characters, event call 4\n" +
                              prefix + "scan posted: hotkey 2, 1 characters\n";  // unnumbered
    ASSERT_EQ(write(log, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    close(log);
    tap.Settle();
  }
  EXPECT_EQ(shown, (std::vector<std::pair<std::string, std::string>>{{"e1", "channel"},
                                                                     {"e2", "unknown"},
                                                                     {"e3", "hotkey 1"},
                                                                     {"e4", "script method"},
                                                                     {"e5", "hotkey 2"}}));
}

}  // namespace
