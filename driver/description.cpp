#include "driver/description.h"

#include "abi/diagnostics.h"
#include "abi/host_text.h"
#include "delivery/barcode_event.h"
#include "delivery/host_window.h"
#include "driver/driver_texts.h"
#include "driver/hotkey_profile.h"
#include "hotkey/capture.h"

namespace wedgesim {

bool SetStringResult(HostVariant* record, HostMemoryManager* manager, std::u16string_view text) {
  SetStringVariant(record, manager, text);
  if (record->stringValue != nullptr) return true;
  record->type = kVariantEmpty;
  record->stringLength = 0;
  return false;
}

bool GetVersion(const DriverContext& context, HostVariant* result) {
  return SetStringResult(result, context.memoryManager, kDriverVersion);
}

void GetDescription(const DriverContext& context, HostVariant* parameters) {
  const DriverTexts& texts = CurrentDriverTexts();
  SetStringResult(&parameters[0], context.memoryManager, texts.DriverName);
  SetStringResult(&parameters[1], context.memoryManager, texts.DriverDescription);
  SetStringResult(&parameters[2], context.memoryManager, kEquipmentKind);
  SetInt32Variant(&parameters[3], kInterfaceRevision);
  SetBoolVariant(&parameters[4], false);
  SetBoolVariant(&parameters[5], true);
  SetStringResult(&parameters[6], context.memoryManager, u"");
}

void DeviceTest(const DriverContext& context, HostVariant* parameters) {
  const DriverTexts& texts = CurrentDriverTexts();
  SetStringResult(&parameters[0], context.memoryManager, texts.DeviceTestText);
  SetStringResult(&parameters[1], context.memoryManager, texts.EmptyText);
}

void GetAdditionalActions(const DriverContext& context, HostVariant* parameters) {
  SetStringResult(&parameters[0], context.memoryManager, CurrentDriverTexts().ActionsXml);
}

void DoAdditionalAction(const DriverContext& context, const HostVariant& action,
                        HostVariant* result) {
  // A value that is not text names no action (and is never read as a pointer).
  std::u16string name;
  if (!TextOf(action, &name)) return;
  int slot = 0;
  if (name == u"SetHotkey1") slot = 1;
  if (name == u"SetHotkey2") slot = 2;
  if (slot == 0) return;
  if (context.hostConnection == nullptr) {
    Diagnostic("capture: no host connection, a hotkey could not be stored");
    SetBoolVariant(result, false);
    return;
  }
  Hotkey captured{};
  const CaptureOutcome outcome = CaptureKey(HostWindow, &captured);
  if (outcome == CaptureOutcome::Cancelled) {
    Diagnostic("capture of hotkey %d cancelled", slot);
    SetLastErrorText(CurrentDriverTexts().CancelledText);
  } else if (outcome == CaptureOutcome::Captured) {
    StoreHotkey(context.hostConnection, slot, captured);
    Diagnostic("captured hotkey %d: keycode %d, modifiers 0x%x", slot, captured.keycode,
               static_cast<unsigned>(captured.modifiers));
  }
  SetBoolVariant(result, outcome == CaptureOutcome::Captured);
}

}  // namespace wedgesim
