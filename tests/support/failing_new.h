#pragma once
// While set, every operator new in the process (the loaded library's included) fails.
void SetAllocationsFailing(bool fail);
