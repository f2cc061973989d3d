#include "tests/support/forked_child.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<int> forkedChild{0};
}

// LeakSanitizer asks this, when it is there, before its check at exit.
extern "C" int __lsan_is_turned_off() { return forkedChild.load(); }

void ExitForkedChild(int status) {
  forkedChild.store(1);
  std::exit(status);
}
