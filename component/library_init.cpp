// Load-time initialisation: the process-wide state of every subsystem, built
// once, in one defined order, before the host can call anything. Nothing here
// is torn down at unload: the library is linked to stay resident, and its
// state outlives every thread that might still read it.
#include "abi/boundary.h"
#include "abi/diagnostics.h"
#include "delivery/host_window.h"
#include "driver/driver_texts.h"
#include "driver/hotkey_profile.h"
#include "driver/settings.h"

namespace wedgesim {

void InitializeLibrary() noexcept {
  // Each step stands alone: one that fails (memory, say) does not keep the
  // others from running, and what it would have built is made on first use.
  InitializeDiagnostics();
  GuardedVoid("loading the driver texts",
              InitializeDriverTexts);  // both records, the XML, the last error
  GuardedVoid("loading the settings", InitializeDriverSettings);  // empty test barcodes
  InitializeHotkeys();                                            // 49/0 and 49/ShiftMask
  GuardedVoid("finding the host window", InitializeHostWindow);   // pid, its text, the window
}

}  // namespace wedgesim
