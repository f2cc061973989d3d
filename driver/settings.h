// The emulator's settings: two test barcodes with their Base64 flags, kept in
// memory, and the settings XML that describes them to the host.
#pragma once

#include <string>

#include "abi/host_abi.h"

// A barcode setting as one listener needs it, copied under the lock.
struct BarcodeSetting {
  std::wstring text;
  bool base64 = false;
};
// Slot 2 is TestCode2; any other slot is TestCode.
BarcodeSetting ReadBarcodeSetting(int slot);

// Empties the settings (load time).
void InitializeDriverSettings();

// Stores the value under the setting `name`. A barcode takes only a string
// value and a flag only a boolean; any other value, and any other name,
// changes nothing. Always true.
bool SetParameter(const std::wstring& name, const HostVariant& value);

// The settings template of the current language with the hotkeys (reloaded
// through `connection`) and the process id filled in.
std::wstring BuildSettingsXml(IAddInDefBase* connection);
