#pragma once
// While set, every operator new in the process (the loaded library's included) fails.
void SetAllocationsFailing(bool fail);
// The next `count` operator new calls made on other threads than the caller's fail.
void FailNextAllocationsElsewhere(int count);
// How many of those are still to fail.
int AllocationFailuresPending();
// Whether a loaded library's allocations come here at all: a library with
// libstdc++ linked in (the release build) has an operator new of its own.
bool AllocationsReach(void* libraryHandle);
inline constexpr const char* kOwnAllocator =
    "the library has an operator new of its own (libstdc++ linked in)";
