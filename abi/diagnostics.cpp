#include "abi/diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace diagnostics_detail {
std::atomic<bool> enabled{false};

void Write(const char* format, ...) {
  // One formatted line per call, written with a single fputs so lines of the
  // host's thread and the listeners do not interleave.
  char line[512];
  int used = std::snprintf(line, sizeof line, "wedgesim: ");
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(line + used, sizeof line - static_cast<std::size_t>(used) - 1, format, arguments);
  va_end(arguments);
  std::size_t length = std::strlen(line);
  line[length] = '\n';
  line[length + 1] = '\0';
  std::fputs(line, stderr);
}
}  // namespace diagnostics_detail

void InitializeDiagnostics() noexcept {
  const char* value = std::getenv("WEDGESIM_DEBUG");
  diagnostics_detail::enabled.store(value != nullptr && *value != '\0' &&
                                    std::strcmp(value, "0") != 0);
}
