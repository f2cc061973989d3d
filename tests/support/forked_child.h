#pragma once
// Ends a child forked by a test the way a host's child ends: std::exit, so
// the exit handlers (the library's included) run. LeakSanitizer's check at
// exit is left out there: in a child forked from a threaded process it waits
// for allocator locks held, at the fork, by threads the child does not have.
[[noreturn]] void ExitForkedChild(int status);
