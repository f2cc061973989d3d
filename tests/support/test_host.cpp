#include "tests/support/test_host.h"

namespace testhost {

TestHost::TestHost(bool initialize) {
  library = std::make_unique<hostkit::LoadedLibrary>(LibraryPath());
  if (!library->ok()) {
    ADD_FAILURE() << "cannot load " << LibraryPath() << ": " << library->error();
    return;
  }
  component = std::make_unique<hostkit::Component>(*library);
  if (!component->ok()) {
    ADD_FAILURE() << "no component created";
    return;
  }
  if (initialize) {
    EXPECT_TRUE(component->Initialize(&connection));
    EXPECT_TRUE(component->AttachMemoryManager(&memory));
  }
}

bool TestHost::Function(long method, HostVariant* result, std::vector<HostVariant>& parameters) {
  return component->CallFunction(method, result, parameters.empty() ? nullptr : parameters.data(),
                                 static_cast<long>(parameters.size()));
}

bool TestHost::Procedure(long method, std::vector<HostVariant>& parameters) {
  return component->CallProcedure(method, parameters.data(), static_cast<long>(parameters.size()));
}

bool TestHost::SetText(const std::string& name, const std::string& value) {
  storage_.push_back(Host(name));
  const std::u16string& hostName = storage_.back();
  storage_.push_back(Host(value));
  std::vector<HostVariant> parameters{hostkit::String(hostName), hostkit::String(storage_.back())};
  HostVariant result = hostkit::Empty();
  return Function(SetParameter, &result, parameters) && result.type == kVariantBool &&
         result.boolValue;
}

bool TestHost::SetFlag(const std::string& name, bool value) {
  storage_.push_back(Host(name));
  std::vector<HostVariant> parameters{hostkit::String(storage_.back()), hostkit::Boolean(value)};
  HostVariant result = hostkit::Empty();
  return Function(SetParameter, &result, parameters) && result.boolValue;
}

bool TestHost::OpenDevice() {
  std::vector<HostVariant> parameters{hostkit::Empty()};
  HostVariant result = hostkit::Empty();
  return Function(Open, &result, parameters) && result.boolValue &&
         TextOf(parameters[0]) == "ZovedavUzuruvOriv";
}

bool TestHost::CloseDevice() {
  std::vector<HostVariant> parameters{hostkit::Empty()};
  HostVariant result = hostkit::Empty();
  return Function(Close, &result, parameters) && result.boolValue;
}

bool TestHost::Generate(const std::string& text, bool base64, bool activate) {
  storage_.push_back(Host(text));
  std::vector<HostVariant> parameters{hostkit::String(storage_.back()), hostkit::Boolean(base64)};
  return Procedure(activate ? GenerateExternalEventActivateWindow : GenerateExternalEvent,
                   parameters);
}

std::string TestHost::Parameters() {
  std::vector<HostVariant> parameters{hostkit::Empty()};
  HostVariant result = hostkit::Empty();
  EXPECT_TRUE(Function(GetParameters, &result, parameters));
  EXPECT_TRUE(result.type == kVariantBool && result.boolValue);
  return TextOf(parameters[0]);
}

std::string TestHost::LastError() {
  std::vector<HostVariant> parameters{hostkit::Empty()};
  HostVariant result = hostkit::Empty();
  EXPECT_TRUE(Function(GetLastError, &result, parameters));
  EXPECT_EQ(result.type, kVariantInt32);
  EXPECT_EQ(result.intValue, 998);
  return TextOf(parameters[0]);
}

bool TestHost::Action(const std::string& name, HostVariant* result) {
  storage_.push_back(Host(name));
  std::vector<HostVariant> parameters{hostkit::String(storage_.back())};
  *result = hostkit::Int(77);
  return Function(DoAdditionalAction, result, parameters);
}

std::string Utf8Of(const std::u16string& text) { return hostkit::Utf8(text); }

}  // namespace testhost

namespace testhost {
void KeepForever(void* object) {
  static auto* kept = new std::vector<void*>;
  kept->push_back(object);
}
}  // namespace testhost
