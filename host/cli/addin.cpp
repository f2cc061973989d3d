#include "host/cli/addin.h"

#include <unistd.h>

#include <cstdlib>

#include "host/cli/errors.h"
#include "host/cli/xml.h"
#include "host/driver.h"
#include "host/text.h"
#include "host/variant.h"

namespace cli {

using hostkit::Succeeded;

namespace {

// Splits the class-name list the library exports ("|"-separated; one name has none).
std::vector<std::string> SplitNames(const std::string& list) {
  std::vector<std::string> names;
  std::size_t at = 0;
  while (at <= list.size()) {
    const std::size_t bar = list.find('|', at);
    const std::string name = list.substr(at, bar == std::string::npos ? bar : bar - at);
    if (!name.empty()) names.push_back(name);
    if (bar == std::string::npos) break;
    at = bar + 1;
  }
  return names;
}

}  // namespace

AddIn::AddIn(const std::string& path, bool verbose) : path_(path) {
  if (verbose) setenv("WEDGESIM_DEBUG", "1", 1);
  // dlopen's own message for a missing file names the search, not the file,
  // when the path has no slash; say plainly what is missing instead.
  if (access(path.c_str(), F_OK) != 0)
    throw CliError(kExitLibrary, "the add-in library " + path +
                                     " does not exist (build it, or give its path with --lib)");
  library_ = std::make_unique<hostkit::LoadedLibrary>(path);
  if (!library_->ok()) {
    // A host loads only libraries of its own width: point to the other build.
    const bool otherWidth = library_->error().find("wrong ELF class") != std::string::npos;
    throw CliError(
        kExitLibrary,
        "cannot load the add-in library " + path + ": " + library_->error() +
            (otherWidth ? std::string(" (this wedgesim is ") + std::to_string(8 * sizeof(void*)) +
                              "-bit; run the wedgesim built beside that library)"
                        : std::string()));
  }
  component_ = std::make_unique<hostkit::Component>(*library_);
  if (!component_->ok())
    throw CliError(kExitLibrary, "the add-in library " + path + " created no component");
  if (!component_->Initialize(&connection_) || !component_->AttachMemoryManager(&memory_))
    throw CliError(kExitLibrary, "the add-in's component refused the host's connection");
}

AddIn::~AddIn() {
  // A listener still holding its grabs after we are gone would post through
  // a connection that no longer exists.
  if (open_) {
    try {
      Close();
    } catch (const CliError&) {
      // Nothing more can be done on the way out; the component's destructor
      // stops the listeners as well.
    }
  }
  component_.reset();
  library_.reset();
}

void AddIn::ApplyLanguage(const std::string& lang) {
  if (lang != "ru") return;
  const std::u16string locale = hostkit::Host("ru_RU");
  component_->ApplyLocale(hostkit::Ptr(locale));
}

std::vector<std::string> AddIn::ClassNames() const {
  return SplitNames(hostkit::Utf8(library_->GetClassNames()));
}

std::string AddIn::ExtensionName() {
  HostChar* name = nullptr;
  if (!component_->RegisterExtension(&name)) return {};
  return hostkit::Utf8(name);  // the block is ours (HostMemory) and freed with it
}

long AddIn::QueryInfo() { return component_->QueryInfo(); }

std::vector<MethodInfo> AddIn::Methods() {
  std::vector<MethodInfo> methods;
  const long count = component_->GetMethodCount();
  for (long i = 0; i < count; ++i) {
    methods.push_back({i, hostkit::Utf8(component_->GetMethodName(i, 0)),
                       hostkit::Utf8(component_->GetMethodName(i, 1)),
                       component_->GetParameterCount(i), component_->MethodHasResult(i)});
  }
  return methods;
}

long AddIn::Number(const char* method) {
  const long number = hostkit::MethodNumber(*component_, method);
  if (number < 0) throw CliError(kExitLibrary, std::string("the add-in has no method ") + method);
  return number;
}

bool AddIn::CallFunction(const char* method, HostVariant* result,
                         std::vector<HostVariant>& parameters) {
  *result = hostkit::Empty();
  return component_->CallFunction(Number(method), result,
                                  parameters.empty() ? nullptr : parameters.data(),
                                  static_cast<long>(parameters.size()));
}

namespace {

[[noreturn]] void Fail(const char* method) {
  throw CliError(kExitFailed, std::string("the add-in's ") + method + " failed");
}

}  // namespace

std::string AddIn::Version() {
  HostVariant result;
  std::vector<HostVariant> none;
  if (!CallFunction("GetVersion", &result, none) || result.type != kVariantString)
    Fail("GetVersion");
  return hostkit::TextOf(result);
}

Description AddIn::GetDescription() {
  HostVariant result;
  std::vector<HostVariant> out(7, hostkit::Empty());
  if (!Succeeded(CallFunction("GetDescription", &result, out), result)) Fail("GetDescription");
  return {hostkit::TextOf(out[0]), hostkit::TextOf(out[1]), hostkit::TextOf(out[2]),
          out[3].intValue,         out[4].boolValue,        out[5].boolValue,
          hostkit::TextOf(out[6])};
}

LastError AddIn::GetLastError() {
  HostVariant result;
  std::vector<HostVariant> out(1, hostkit::Empty());
  if (!CallFunction("GetLastError", &result, out) || result.type != kVariantInt32)
    Fail("GetLastError");
  return {result.intValue, hostkit::TextOf(out[0])};
}

std::string AddIn::Parameters() {
  HostVariant result;
  std::vector<HostVariant> out(1, hostkit::Empty());
  if (!Succeeded(CallFunction("GetParameters", &result, out), result)) Fail("GetParameters");
  return hostkit::TextOf(out[0]);
}

void AddIn::SetText(const std::string& name, const std::string& value) {
  if (!hostkit::SetTextParameter(*component_, name, value)) Fail("SetParameter");
}

void AddIn::SetFlag(const std::string& name, bool value) {
  if (!hostkit::SetFlagParameter(*component_, name, value)) Fail("SetParameter");
}

std::string AddIn::Open() {
  std::string device;
  if (!hostkit::OpenDevice(*component_, &device)) Fail("Open");
  open_ = true;
  return device;
}

void AddIn::Close() {
  open_ = false;
  if (!hostkit::CloseDevice(*component_)) Fail("Close");
}

DeviceTestResult AddIn::DeviceTest() {
  HostVariant result;
  std::vector<HostVariant> out(2, hostkit::Empty());
  if (!Succeeded(CallFunction("DeviceTest", &result, out), result)) Fail("DeviceTest");
  return {hostkit::TextOf(out[0]), hostkit::TextOf(out[1])};
}

std::string AddIn::Actions() {
  HostVariant result;
  std::vector<HostVariant> out(1, hostkit::Empty());
  if (!Succeeded(CallFunction("GetAdditionalActions", &result, out), result))
    Fail("GetAdditionalActions");
  return hostkit::TextOf(out[0]);
}

bool AddIn::DoAction(const std::string& action) {
  const std::u16string name = hostkit::Host(action);
  HostVariant result;
  std::vector<HostVariant> parameters{hostkit::String(name)};
  if (!CallFunction("DoAdditionalAction", &result, parameters)) Fail("DoAdditionalAction");
  return result.type == kVariantBool && result.boolValue;
}

bool AddIn::Generate(const std::string& text, bool base64, bool activate) {
  return hostkit::GenerateEvent(*component_, text, base64, activate);
}

std::string HotkeyTextOf(const std::string& settingsXml, int slot) {
  const std::string parameter = slot == 2 ? "HotKey2" : "HotKey1";
  return NamedAttribute(settingsXml, parameter, "DefaultValue").value_or("?");
}

}  // namespace cli
