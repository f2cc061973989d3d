// The modal window in which the user presses a new hotkey.
#pragma once

#include "abi/host_abi.h"

// Shows a small window inside the host's window and takes the first key
// released there, with the modifier state of that moment, as hotkey `slot`
// (2, or 1 for anything else), written to the settings profile through
// `connection`. Escape cancels (false, and the last error says so). Also false,
// without showing anything, when there is no connection to store the key, no
// host window, no display, or the window cannot take the keyboard focus.
bool CaptureHotkey(int slot, IAddInDefBase* connection);
