// Load-time initialisation: the process-wide state of every subsystem, built
// once, in one defined order, before the host can call anything. Nothing here
// is torn down at unload: the library is linked to stay resident, and its
// state outlives every thread that might still read it.
#include "component/diagnostics.h"
#include "delivery/host_window.h"
#include "driver/driver_texts.h"
#include "driver/settings.h"
#include "hotkey/hotkeys.h"

void InitializeLibrary() {
  InitializeDiagnostics();
  InitializeDriverTexts();     // both text records, the XML documents, the empty last error
  InitializeDriverSettings();  // empty test barcodes
  InitializeHotkeys();         // 49/0 and 49/ShiftMask
  InitializeHostWindow();      // process id, its text, and the host's window through X
}
