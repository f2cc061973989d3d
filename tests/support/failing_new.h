#pragma once
// While set, every operator new in the process (the loaded library's included) fails.
void SetAllocationsFailing(bool fail);
// The next `count` operator new calls made on other threads than the caller's fail.
void FailNextAllocationsElsewhere(int count);
// How many of those are still to fail.
int AllocationFailuresPending();
