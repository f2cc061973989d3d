// Opt-in diagnostics: one line for each thing that went wrong or was decided.
// WEDGESIM_DEBUG (a non-empty value other than "0") writes them to standard
// error; WEDGESIM_LOG=FILE appends them to FILE (a host's standard error is
// often invisible). Off, a call costs one load of a flag.
#pragma once

#include <atomic>

namespace wedgesim {

namespace diagnostics_detail {
extern std::atomic<bool> enabled;
void Write(const char* format, ...) __attribute__((format(printf, 1, 2)));
}  // namespace diagnostics_detail

// Reads the environment and opens the log file; called once by the
// load-time initialiser. A log file that cannot be opened is reported once on
// standard error and never fails anything.
void InitializeDiagnostics() noexcept;

inline bool DiagnosticsEnabled() {
  return diagnostics_detail::enabled.load(std::memory_order_relaxed);
}

}  // namespace wedgesim

#define Diagnostic(...)                                                                       \
  do {                                                                                        \
    if (::wedgesim::DiagnosticsEnabled()) ::wedgesim::diagnostics_detail::Write(__VA_ARGS__); \
  } while (false)
