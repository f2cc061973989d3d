#include "host/kit/memory.h"

#include <cstdlib>

namespace hostkit {

HostMemory::~HostMemory() {
  for (void* block : blocks_) std::free(block);
}

bool HostMemory::Allocate(void** block, unsigned long byteCount) {
  if (refusing_) {
    ++refusals_;
    return false;
  }
  void* memory = std::malloc(byteCount == 0 ? 1 : byteCount);
  if (memory == nullptr) return false;
  {
    std::lock_guard lock(mutex_);
    blocks_.push_back(memory);
  }
  *block = memory;
  return true;
}

std::size_t HostMemory::allocations() const {
  std::lock_guard lock(mutex_);
  return blocks_.size();
}

}  // namespace hostkit
