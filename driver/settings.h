// The emulator's settings: two test barcodes with their Base64 flags, kept in
// memory, and the settings XML that describes them to the host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "abi/host_abi.h"

namespace wedgesim {

// Empties the settings (load time).
void InitializeDriverSettings();

// Stores the value under the setting `name`. A barcode takes only a string
// value and a flag only a boolean; any other value, and any other name,
// changes nothing. Always true.
bool SetParameter(const std::u16string& name, const HostVariant& value);

// The settings template of the current language with the hotkeys (reloaded
// through `connection`) and the process id filled in.
std::u16string BuildSettingsXml(IAddInDefBase* connection);

// What a hotkey sends, composed when its setting changes (decoded, when its
// flag is set, and in host text), so a press only posts it.
struct ComposedBarcode {
  bool hasText = false;  // an empty barcode sends nothing
  std::u16string data;   // the event's data
};

// The composed barcodes as one reader (the device thread) sees them: a press
// takes them without a lock or a copy unless a setting changed since the last.
class BarcodeReader {
 public:
  // Slot 2 is TestCode2; any other slot is TestCode.
  const ComposedBarcode& Current(int slot);

 private:
  std::uint64_t generation_ = 0;
  std::shared_ptr<const ComposedBarcode> codes_[2];
};

}  // namespace wedgesim
