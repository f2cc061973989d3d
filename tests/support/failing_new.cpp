// A replaceable global operator new that can be told to fail, so tests can
// prove that an allocation failure inside the add-in never crosses the host
// boundary. The test programs export it (ENABLE_EXPORTS), so the loaded
// library's allocations come here too.
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/support/failing_new.h"

namespace {
std::atomic<bool> failing{false};
std::atomic<int> elsewhere{0};
thread_local bool exempt = false;

// Takes one of the pending failures for another thread's allocation.
bool FailsElsewhere() {
  if (exempt || elsewhere.load(std::memory_order_relaxed) <= 0) return false;
  int pending = elsewhere.load();
  while (pending > 0 && !elsewhere.compare_exchange_weak(pending, pending - 1)) {
  }
  return pending > 0;
}
}  // namespace

void SetAllocationsFailing(bool fail) { failing.store(fail); }

void FailNextAllocationsElsewhere(int count) {
  exempt = true;
  elsewhere.store(count);
}

int AllocationFailuresPending() { return elsewhere.load(); }

bool AllocationsReach(void* libraryHandle) {
  // operator new(size_t) as the library's dependencies export it: found only
  // when it takes it from a shared libstdc++, which this program's replaces.
  return dlsym(libraryHandle, sizeof(std::size_t) == 8 ? "_Znwm" : "_Znwj") != nullptr;
}

void* operator new(std::size_t size) {
  if (failing.load(std::memory_order_relaxed) || FailsElsewhere()) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (failing.load(std::memory_order_relaxed) || FailsElsewhere()) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return ::operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
