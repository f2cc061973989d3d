// The open device: one thread per Open that waits in poll() on the stop
// signal, on the connection of each hotkey and on the control channel, and
// hands what happens there up to the driver through a ScanSink. It reads
// nothing above itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "channel/server.h"
#include "hotkey/hotkey.h"

namespace wedgesim {

// What the device thread hands up, on the device thread. The driver
// implements it: it knows the barcodes and the host connection.
class ScanSink {
 public:
  virtual ~ScanSink() = default;
  // Hotkey 1 or 2 was pressed.
  virtual void HotkeyPressed(int slot) noexcept = 0;
  // A client of the control channel sent a barcode (host text); the reply
  // waits for what this returns.
  virtual ChannelScanResult ChannelScan(const std::u16string& data) noexcept = 0;
};

struct DeviceConfig {
  Hotkey hotkeys[2];
  std::uint32_t window = 0;  // the host's window, where the keys are grabbed; 0 when none
  std::shared_ptr<ScanSink> sink;
};

// Replaces the running device, if any (stopped as StopDevice stops it), and
// opens a new one: the hotkeys are grabbed and the channel listens before
// it returns; then its thread starts. Nothing is grabbed without a display
// or a host window; the channel needs neither. Never throws: what cannot be
// started is reported in the diagnostics and left out.
void StartDevice(DeviceConfig config) noexcept;

// Stops the running device. When it returns, its keys are free, its
// endpoint is gone, and it hands nothing up any more: its thread is joined, or, when the caller is
// that thread (a host that closes the device from its event handler), the keys are released here
// and the thread ends when the handler returns. Threads the host holds inside its event slot are
// waited for at most two seconds in all, however many earlier stops left. In a forked child the
// parent's device is only forgotten: nothing of it is touched. Harmless when no device runs.
void StopDevice() noexcept;

}  // namespace wedgesim
