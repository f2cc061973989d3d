// The driver methods every host here calls the same way: looked up by name,
// as the platform does, and given the parameters each one takes. Each answers
// whether the call succeeded and the method returned the boolean true.
#pragma once

#include <string>
#include <vector>

#include "abi/host_abi.h"
#include "host/library.h"

namespace hostkit {

// A driver function's outcome: the call succeeded and returned true.
bool Succeeded(bool called, const HostVariant& result);

// The method's number, -1 when the component has none of that name.
long MethodNumber(Component& component, const char* method);

// CallFunction of the named method; *result starts empty.
bool CallNamedFunction(Component& component, const char* method, HostVariant* result,
                       std::vector<HostVariant>& parameters);

// SetParameter with a text or a flag.
bool SetTextParameter(Component& component, const std::string& name, const std::string& value);
bool SetFlagParameter(Component& component, const std::string& name, bool value);

// Open and Close; Open gives the device name through `device` when asked.
bool OpenDevice(Component& component, std::string* device = nullptr);
bool CloseDevice(Component& component);

// GenerateExternalEvent, or GenerateExternalEventActivateWindow with `activate`.
bool GenerateEvent(Component& component, const std::string& text, bool base64, bool activate);

}  // namespace hostkit
