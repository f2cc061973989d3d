// The modal window in which the user presses a new hotkey.
#pragma once

#include <cstdint>

#include "hotkey/hotkey.h"

namespace wedgesim {

enum class CaptureOutcome {
  Captured,      // a key was taken
  Cancelled,     // Escape (with any modifiers)
  NoHostWindow,  // no host window was found at load
  NoDisplay,
  NotShown,  // the window could not be made or could not take the focus
  Ended,     // the host's window went away during the wait
  Lost,      // the X connection was lost before a key was released
};

// Shows a small window inside the host's window and takes the first key
// released there that is not a modifier or lock key, with the modifiers held
// when it was pressed (or, when the press was not seen, released), into
// *key. Escape cancels, whatever happens to the connection after it.
CaptureOutcome CaptureKey(std::uint32_t hostWindow, Hotkey* key);

}  // namespace wedgesim
