// A host for tests: one add-in session of the library under test (loaded, a
// component made and given a connection and a memory manager, like the
// platform does), plus the calls by method number the tests make.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host/kit/session.h"
#include "host/kit/text.h"
#include "host/kit/variant.h"

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

// Its connection, memory, library and component are the session's, public:
// tests reset or abandon the library and destroy or abandon the component.
class TestHost : public hostkit::AddInSession {
 public:
  // Loads the library (the display is whatever DISPLAY names at this moment).
  // A test host leaves the device as the test left it: the component is
  // destroyed with it open when the test did not close it.
  explicit TestHost(bool initialize = true);

  // CallFunction with `parameters` (a vector the size the method takes).
  bool Function(long method, HostVariant* result, std::vector<HostVariant>& parameters);
  bool Procedure(long method, std::vector<HostVariant>& parameters);

  // Open, which must name the device as the add-in does.
  bool OpenDevice();
  std::string Parameters();  // the settings XML
  std::string LastError();
  // DoAdditionalAction; the result record starts as the integer 77.
  bool Action(const std::string& name, HostVariant* result);
};

// The library under test: the one this build made, or WEDGESIM_TEST_LIBRARY
// (the release libraries are tested with the tests of a regular build).
inline std::string LibraryPath() {
  const char* chosen = std::getenv("WEDGESIM_TEST_LIBRARY");
  return chosen != nullptr && *chosen != '\0' ? chosen : WEDGESIM_LIBRARY_PATH;
}

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
