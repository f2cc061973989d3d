// What every test program sets up before its tests: the same environment
// whatever the developer's shell holds, and the sanitizers' settings, here
// rather than in CTest's environment so a test run by hand gets them too
// (and the programs the tests start inherit them).
#include <cstdlib>

extern "C" {
// Read by the sanitizers' runtimes at start-up, in the builds that have them.
__attribute__((visibility("default"))) const char* __asan_default_options() {
  return "detect_leaks=1:abort_on_error=1";
}
__attribute__((visibility("default"))) const char* __ubsan_default_options() {
  return "print_stacktrace=1:halt_on_error=1";
}
__attribute__((visibility("default"))) const char* __tsan_default_options() {
  return "halt_on_error=1:second_deadlock_stack=1";
}
}

namespace {

const bool prepared = [] {
  // A developer's diagnostics settings would change what tests read.
  unsetenv("WEDGESIM_DEBUG");
  unsetenv("WEDGESIM_LOG");
  // The command the tests start is built with the same sanitizers.
  setenv("ASAN_OPTIONS", __asan_default_options(), 0);
  setenv("UBSAN_OPTIONS", __ubsan_default_options(), 0);
  setenv("TSAN_OPTIONS", __tsan_default_options(), 0);
  return true;
}();

}  // namespace
