// The modal window in which the user presses a new hotkey.
#pragma once

#include <cstdint>

#include "abi/host_abi.h"

namespace wedgesim {

enum class CaptureOutcome {
  Captured,      // a key was taken and stored
  Cancelled,     // Escape (with any modifiers)
  NoConnection,  // no host connection to store a key through
  NoHostWindow,  // no host window was found at load
  NoDisplay,
  NotShown,  // the window could not be made or could not take the focus
  Ended,     // the host's window went away during the wait
  Lost,      // the X connection was lost before a key was released
};

// Shows a small window inside the host's window and takes the first key
// released there that is not a modifier or lock key, with the modifiers held
// when it was pressed (or, when the press was not seen, released), as hotkey `slot`
// (2, or 1 for anything else), written to the settings profile through
// `connection`. Escape cancels, whatever happens to the connection after it.
// Nothing is stored unless the outcome is Captured.
CaptureOutcome CaptureHotkey(int slot, IAddInDefBase* connection, std::uint32_t hostWindow);

}  // namespace wedgesim
