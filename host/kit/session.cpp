#include "host/kit/session.h"

#include "host/kit/text.h"
#include "host/kit/variant.h"

namespace hostkit {

AddInSession::AddInSession(const std::string& libraryPath, const SessionOptions& options)
    : closeOnTeardown_(options.closeOnTeardown) {
  library = std::make_unique<LoadedLibrary>(libraryPath);
  if (!library->ok()) {
    failure_ = SessionFailure::kLoad;
    error_ = library->error();
    return;
  }
  component = std::make_unique<Component>(*library);
  if (!component->ok()) {
    failure_ = SessionFailure::kNoComponent;
    error_ = "the library created no component";
    return;
  }
  if (!options.initialize) return;
  if (!component->Initialize(options.connection != nullptr ? options.connection : &connection)) {
    failure_ = SessionFailure::kRefused;
    error_ = "the component refused the host's connection";
  } else if (!component->AttachMemoryManager(options.memory != nullptr ? options.memory
                                                                       : &memory)) {
    failure_ = SessionFailure::kRefused;
    error_ = "the component refused the host's memory manager";
  }
}

AddInSession::~AddInSession() {
  // A listener left running would post through a connection about to be freed.
  if (closeOnTeardown_ && opened_ && Usable()) CloseDevice();
  component.reset();  // DestroyObject needs the library still mapped
  library.reset();
}

bool Succeeded(bool called, const HostVariant& result) {
  return called && result.type == kVariantBool && result.boolValue;
}

long AddInSession::MethodNumber(const char* method) {
  if (!Usable()) return -1;
  const std::u16string name = Host(method);
  return component->FindMethodIndex(Ptr(name));
}

bool AddInSession::CallFunction(const char* method, HostVariant* result,
                                std::vector<HostVariant>& parameters) {
  *result = Empty();
  const long number = MethodNumber(method);
  if (number < 0) return false;
  return component->CallFunction(number, result, parameters.empty() ? nullptr : parameters.data(),
                                 static_cast<long>(parameters.size()));
}

bool AddInSession::SetParameter(const std::string& name, const HostVariant& value) {
  const std::u16string hostName = Host(name);
  std::vector<HostVariant> parameters{String(hostName), value};
  HostVariant result;
  return Succeeded(CallFunction("SetParameter", &result, parameters), result);
}

bool AddInSession::SetText(const std::string& name, const std::string& value) {
  const std::u16string hostValue = Host(value);
  return SetParameter(name, String(hostValue));
}

bool AddInSession::SetFlag(const std::string& name, bool value) {
  return SetParameter(name, Boolean(value));
}

bool AddInSession::OpenDevice(std::string* device) {
  std::vector<HostVariant> parameters{Empty()};  // receives the device name
  HostVariant result;
  const bool opened = Succeeded(CallFunction("Open", &result, parameters), result);
  if (device != nullptr) *device = TextOf(parameters[0]);
  if (opened) opened_ = true;
  return opened;
}

bool AddInSession::CloseDevice() {
  opened_ = false;  // a Close that failed is not tried again at teardown
  std::vector<HostVariant> parameters{Empty()};
  HostVariant result;
  return Succeeded(CallFunction("Close", &result, parameters), result);
}

bool AddInSession::Generate(const std::string& text, bool base64, bool activate) {
  const long number =
      MethodNumber(activate ? "GenerateExternalEventActivateWindow" : "GenerateExternalEvent");
  if (number < 0) return false;
  const std::u16string hostText = Host(text);
  std::vector<HostVariant> parameters{String(hostText), Boolean(base64)};
  return component->CallProcedure(number, parameters.data(), static_cast<long>(parameters.size()));
}

}  // namespace hostkit
