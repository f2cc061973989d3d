// The host's memory manager: hands out blocks for texts the add-in returns,
// counts them, can be told to refuse, and frees everything at the end.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <vector>

#include "abi/host_abi.h"

namespace hostkit {

class HostMemory final : public HostMemoryManager {
 public:
  // Room for many blocks up front: granting one allocates nothing of its own.
  HostMemory() { blocks_.reserve(4096); }
  ~HostMemory() override;
  HostMemory(const HostMemory&) = delete;
  HostMemory& operator=(const HostMemory&) = delete;

  bool Allocate(void** block, unsigned long byteCount) override;

  // While refusing, Allocate returns false and leaves the block pointer alone.
  void SetRefusing(bool refusing) { refusing_ = refusing; }
  std::size_t allocations() const;  // granted
  std::size_t refusals() const { return refusals_; }

 private:
  mutable std::mutex mutex_;
  std::vector<void*> blocks_;
  std::atomic<bool> refusing_{false};
  std::atomic<std::size_t> refusals_{0};
};

}  // namespace hostkit
