// The two hotkey listeners: while the device is open, each holds a passive
// grab of its hotkey on the host's window, on a display connection of its
// own, and posts its test barcode when the key is pressed. Each start's pair
// has a stop flag of its own, so a listener of an earlier start can never be
// revived by a later one.
#pragma once

// Replaces any running pair: stops and joins it, reloads the hotkeys through
// ActiveHostConnection and starts two listeners posting through that
// connection. Returns once both have made (or failed to make) their grabs.
// Never throws: a listener that cannot be started is reported and skipped.
void StartHotkeyListeners() noexcept;

// Wakes both listeners and joins them: when it returns, no listener posts
// again and their grabs are released. Harmless when none runs.
void StopHotkeyListeners() noexcept;
