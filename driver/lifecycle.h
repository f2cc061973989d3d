// The device lifecycle: Open starts the device (its hotkeys and control
// channel, posting through the host connection of that Open), Close and
// destruction stop it.
#pragma once

#include <atomic>

#include "abi/host_abi.h"
#include "driver/dispatch.h"

namespace wedgesim {

// The host connection of the open device: set by Open, cleared by Close;
// GenerateExternalEvent posts through it.
extern std::atomic<IAddInDefBase*> ActiveHostConnection;

// Open: publishes the component's host connection as the open device's,
// reloads the hotkeys through it, starts the device, and gives the device
// name in parameter 1.
void OpenDevice(const DriverContext& context, HostVariant* parameters);

// Close: clears the open device's connection, then stops the device; when it
// returns nothing is posted from the hotkeys and their keys are free.
void CloseDevice();

// What destroying a component does: stops the device, whether or not it was
// ever opened, and leaves the open device's connection as it is.
void ReleaseDevice();

}  // namespace wedgesim
