// Opt-in diagnostics: with WEDGESIM_DEBUG set to a non-empty value other than
// "0", the add-in writes one line to standard error for each thing that went
// wrong or was decided. Off, a call costs one load of a flag.
#pragma once

#include <atomic>

namespace diagnostics_detail {
extern std::atomic<bool> enabled;
void Write(const char* format, ...) __attribute__((format(printf, 1, 2)));
}  // namespace diagnostics_detail

// Reads WEDGESIM_DEBUG; called once by the load-time initialiser.
void InitializeDiagnostics() noexcept;

#define Diagnostic(...)                                              \
  do {                                                               \
    if (diagnostics_detail::enabled.load(std::memory_order_relaxed)) \
      diagnostics_detail::Write(__VA_ARGS__);                        \
  } while (false)
