// A host connection that keeps nothing: events are counted, settings are
// absent. For hosts whose memory must be the library's alone (benchmarks of
// memory, a flood of scans).
#pragma once

#include <atomic>

#include "abi/host_abi.h"

namespace hostkit {

class CountingConnection final : public IAddInDefBase {
 public:
  bool ReportError(std::uint16_t, const HostChar*, const HostChar*, long) override { return true; }
  bool ReadSetting(const HostChar*, HostVariant*, long*, HostChar**) override { return false; }
  bool WriteSetting(const HostChar*, HostVariant*) override { return true; }
  bool RegisterSettingsProfile(const HostChar*) override { return true; }
  bool UnusedSlot6(long) override { return false; }
  long UnusedSlot7() override { return 0; }
  bool SendExternalEvent(const HostChar*, const HostChar*, const HostChar*) override {
    events.fetch_add(1, std::memory_order_relaxed);
    return true;
  }
  std::atomic<long> events{0};
};

}  // namespace hostkit
