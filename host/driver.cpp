#include "host/driver.h"

#include "host/text.h"
#include "host/variant.h"

namespace hostkit {

bool Succeeded(bool called, const HostVariant& result) {
  return called && result.type == kVariantBool && result.boolValue;
}

long MethodNumber(Component& component, const char* method) {
  const std::u16string name = Host(method);
  return component.FindMethodIndex(Ptr(name));
}

bool CallNamedFunction(Component& component, const char* method, HostVariant* result,
                       std::vector<HostVariant>& parameters) {
  *result = Empty();
  return component.CallFunction(MethodNumber(component, method), result,
                                parameters.empty() ? nullptr : parameters.data(),
                                static_cast<long>(parameters.size()));
}

namespace {

bool SetParameter(Component& component, const std::string& name, const HostVariant& value) {
  const std::u16string hostName = Host(name);
  std::vector<HostVariant> parameters{String(hostName), value};
  HostVariant result;
  return Succeeded(CallNamedFunction(component, "SetParameter", &result, parameters), result);
}

}  // namespace

bool SetTextParameter(Component& component, const std::string& name, const std::string& value) {
  const std::u16string hostValue = Host(value);
  return SetParameter(component, name, String(hostValue));
}

bool SetFlagParameter(Component& component, const std::string& name, bool value) {
  return SetParameter(component, name, Boolean(value));
}

bool OpenDevice(Component& component, std::string* device) {
  std::vector<HostVariant> parameters{Empty()};  // receives the device name
  HostVariant result;
  const bool opened = Succeeded(CallNamedFunction(component, "Open", &result, parameters), result);
  if (device != nullptr) *device = TextOf(parameters[0]);
  return opened;
}

bool CloseDevice(Component& component) {
  std::vector<HostVariant> parameters{Empty()};
  HostVariant result;
  return Succeeded(CallNamedFunction(component, "Close", &result, parameters), result);
}

bool GenerateEvent(Component& component, const std::string& text, bool base64, bool activate) {
  const char* method = activate ? "GenerateExternalEventActivateWindow" : "GenerateExternalEvent";
  const std::u16string hostText = Host(text);
  std::vector<HostVariant> parameters{String(hostText), Boolean(base64)};
  return component.CallProcedure(MethodNumber(component, method), parameters.data(),
                                 static_cast<long>(parameters.size()));
}

}  // namespace hostkit
