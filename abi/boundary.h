// The host boundary is an exception barrier: nothing thrown inside the add-in
// may unwind into the host, whose frames know nothing of C++ exceptions.
#pragma once

#include <utility>

#include "abi/diagnostics.h"

namespace wedgesim {

// Runs `body` and returns its result, or `failure` if anything was thrown.
template <typename Result, typename Body>
Result Guarded(const char* operation, Result failure, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    Diagnostic("%s failed: an exception stopped at the host boundary", operation);
    return failure;
  }
}

// For operations without a result.
template <typename Body>
void GuardedVoid(const char* operation, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
    Diagnostic("%s failed: an exception stopped at the host boundary", operation);
  }
}

}  // namespace wedgesim
