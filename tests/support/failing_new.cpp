// A replaceable global operator new that can be told to fail, so tests can
// prove that an allocation failure inside the add-in never crosses the host
// boundary. The test programs export it (ENABLE_EXPORTS), so the loaded
// library's allocations come here too.
#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/support/failing_new.h"

namespace {
std::atomic<bool> failing{false};
}

void SetAllocationsFailing(bool fail) { failing.store(fail); }

void* operator new(std::size_t size) {
  if (failing.load(std::memory_order_relaxed)) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (failing.load(std::memory_order_relaxed)) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return ::operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
