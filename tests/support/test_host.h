// A host for tests: loads the library under test with the host kit, creates a
// component and gives it a connection and a memory manager, like the platform.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/connection.h"
#include "host/driver.h"
#include "host/library.h"
#include "host/memory.h"
#include "host/text.h"
#include "host/variant.h"

namespace testhost {

using hostkit::Host;
using hostkit::Ptr;
using hostkit::TextOf;

// Method numbers as the host finds them by name.
enum Method : long {
  GetVersion = 0,
  GetDescription,
  GetLastError,
  GetParameters,
  SetParameter,
  Open,
  Close,
  DeviceTest,
  GetAdditionalActions,
  DoAdditionalAction,
  GenerateExternalEvent,
  GenerateExternalEventActivateWindow,
};

class TestHost {
 public:
  // Loads the library (the display is whatever DISPLAY names at this moment).
  explicit TestHost(bool initialize = true);
  hostkit::HostConnection connection;
  hostkit::HostMemory memory;
  std::unique_ptr<hostkit::LoadedLibrary> library;
  std::unique_ptr<hostkit::Component> component;

  // CallFunction with `parameters` (a vector the size the method takes).
  bool Function(long method, HostVariant* result, std::vector<HostVariant>& parameters);
  bool Procedure(long method, std::vector<HostVariant>& parameters);

  bool SetText(const std::string& name, const std::string& value);
  bool SetFlag(const std::string& name, bool value);
  bool OpenDevice();
  bool CloseDevice();
  // GenerateExternalEvent (or the activating variant) with a text and a flag.
  bool Generate(const std::string& text, bool base64, bool activate = false);
  std::string Parameters();  // the settings XML
  std::string LastError();
  // DoAdditionalAction; the result record starts as the integer 77.
  bool Action(const std::string& name, HostVariant* result);
};

// The library under test: the one this build made.
inline std::string LibraryPath() { return WEDGESIM_LIBRARY_PATH; }

}  // namespace testhost

namespace testhost {
// Lets go of an object on purpose, as a host that drops it without cleaning
// up would: never destroyed, but still reachable, so leak checks stay quiet.
void KeepForever(void* object);
template <typename T>
void Abandon(std::unique_ptr<T>& owner) {
  KeepForever(owner.release());
}
}  // namespace testhost
