#include "driver/lifecycle.h"

#include "abi/diagnostics.h"
#include "delivery/barcode_event.h"
#include "delivery/host_window.h"
#include "device/device.h"
#include "driver/description.h"
#include "driver/hotkey_profile.h"
#include "driver/settings.h"

namespace wedgesim {

std::atomic<IAddInDefBase*> ActiveHostConnection{nullptr};

namespace {

// What the device hands up becomes a barcode event, posted through the
// connection of the Open that started the device (not ActiveHostConnection,
// which a Close clears): a hotkey press posts the barcode of its slot, the
// control channel the barcode it was sent.
class DeviceScans final : public ScanSink {
 public:
  explicit DeviceScans(IAddInDefBase* connection) : connection_(connection) {}

  void HotkeyPressed(int slot) noexcept override {
    const ComposedBarcode& barcode = barcodes_.Current(slot);
    if (!barcode.hasText) {
      Diagnostic("hotkey %d pressed: its barcode (TestCode%s) is empty, nothing is sent", slot,
                 slot == 2 ? "2" : "");
      return;
    }
    PostBarcodeEvent(connection_, barcode.data.c_str(), slot == 2 ? "hotkey 2" : "hotkey 1");
  }

  ChannelScanResult ChannelScan(const std::u16string& data) noexcept override {
    switch (PostBarcodeEvent(connection_, data.c_str(), "channel")) {
      case PostResult::Posted:
        return ChannelScanResult::Posted;
      case PostResult::NoDevice:
        return ChannelScanResult::NoDevice;
      case PostResult::Failed:
        break;
    }
    return ChannelScanResult::HostFailed;
  }

 private:
  IAddInDefBase* const connection_;
  BarcodeReader barcodes_;  // read on the device thread only
};

}  // namespace

void OpenDevice(const DriverContext& context, HostVariant* parameters) {
  // The connection is published before the device starts: it posts through it.
  ActiveHostConnection.store(context.hostConnection);
  try {
    LoadHotkeys(context.hostConnection);
    StartDevice({{CurrentHotkey(1), CurrentHotkey(2)},
                 HostWindow,
                 std::make_shared<DeviceScans>(context.hostConnection)});
  } catch (...) {
    // The device is open all the same: the event methods work without hotkeys.
    Diagnostic("the device could not be started (out of memory?): the hotkeys are off");
  }
  SetStringResult(&parameters[0], context.memoryManager, kDeviceName);
}

void CloseDevice() {
  ActiveHostConnection.store(nullptr);
  StopDevice();
}

void ReleaseDevice() { StopDevice(); }

}  // namespace wedgesim
