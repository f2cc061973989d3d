#include "tests/support/test_host.h"

namespace testhost {

TestHost::TestHost(bool initialize)
    : AddInSession(LibraryPath(), {.initialize = initialize, .closeOnTeardown = false}) {
  if (!ok()) ADD_FAILURE() << "cannot use " << LibraryPath() << ": " << error();
}

bool TestHost::Function(long method, HostVariant* result, std::vector<HostVariant>& parameters) {
  return component->CallFunction(method, result, parameters.empty() ? nullptr : parameters.data(),
                                 static_cast<long>(parameters.size()));
}

bool TestHost::Procedure(long method, std::vector<HostVariant>& parameters) {
  return component->CallProcedure(method, parameters.data(), static_cast<long>(parameters.size()));
}

bool TestHost::OpenDevice() {
  std::string device;
  return AddInSession::OpenDevice(&device) && device == "ZovedavUzuruvOriv";
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
  const std::u16string hostName = Host(name);
  std::vector<HostVariant> parameters{hostkit::String(hostName)};
  *result = hostkit::Int(77);
  return Function(DoAdditionalAction, result, parameters);
}

}  // namespace testhost

namespace testhost {
void KeepForever(void* object) {
  static auto* kept = new std::vector<void*>;
  kept->push_back(object);
}
}  // namespace testhost
