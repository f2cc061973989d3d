#include "host/cli/addin.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "host/cli/errors.h"
#include "host/kit/text.h"
#include "host/kit/variant.h"

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

// dlopen looks for a name without a slash only on the library search path,
// never in the current directory; a person who names a file there means it.
std::string LibraryToLoad(const std::string& path, bool verbose) {
  if (verbose) setenv("WEDGESIM_DEBUG", "1", 1);
  const bool bare = path.find('/') == std::string::npos;
  if (access(path.c_str(), F_OK) == 0)
    return bare ? std::filesystem::absolute(path).string() : path;
  // dlopen's own message for a missing file names its search, not the file.
  if (!bare)
    throw CliError(kExitLibrary, "the add-in library " + path +
                                     " does not exist (build it, or give its path with --lib)");
  return path;
}

[[noreturn]] void Fail(const char* method) {
  throw CliError(kExitFailed, std::string("the add-in's ") + method + " failed");
}

}  // namespace

AddIn::AddIn(const std::string& path, bool verbose)
    : path_(LibraryToLoad(path, verbose)), session_(path_) {
  switch (session_.failure()) {
    case hostkit::SessionFailure::kNone:
      return;
    case hostkit::SessionFailure::kLoad: {
      // A host loads only libraries of its own width: point to the other build.
      std::string hint;
      if (session_.error().find("wrong ELF class") != std::string::npos)
        hint = " (this wedgesim is " + std::to_string(8 * sizeof(void*)) +
               "-bit; run the wedgesim built beside that library)";
      else if (path_.find('/') == std::string::npos)
        hint = " (not in the current directory either; give its path with --lib)";
      throw CliError(kExitLibrary,
                     "cannot load the add-in library " + path_ + ": " + session_.error() + hint);
    }
    case hostkit::SessionFailure::kNoComponent:
    case hostkit::SessionFailure::kRefused:
      throw CliError(kExitLibrary, "the add-in library " + path_ + ": " + session_.error());
  }
}

void AddIn::ApplyLanguage(const std::string& lang) {
  if (lang != "ru") return;
  const std::u16string locale = hostkit::Host("ru_RU");
  session_.component->ApplyLocale(hostkit::Ptr(locale));
}

std::vector<std::string> AddIn::ClassNames() const {
  return SplitNames(hostkit::Utf8(session_.library->GetClassNames()));
}

std::string AddIn::ExtensionName() {
  HostChar* name = nullptr;
  if (!session_.component->RegisterExtension(&name)) return {};
  return hostkit::Utf8(name);  // the block is ours (HostMemory) and freed with it
}

long AddIn::QueryInfo() { return session_.component->QueryInfo(); }

std::vector<MethodInfo> AddIn::Methods() {
  hostkit::Component& component = *session_.component;
  std::vector<MethodInfo> methods;
  const long count = component.GetMethodCount();
  for (long i = 0; i < count; ++i) {
    methods.push_back({i, hostkit::Utf8(component.GetMethodName(i, 0)),
                       hostkit::Utf8(component.GetMethodName(i, 1)), component.GetParameterCount(i),
                       component.MethodHasResult(i)});
  }
  return methods;
}

std::string AddIn::Version() {
  HostVariant result;
  std::vector<HostVariant> none;
  if (!session_.CallFunction("GetVersion", &result, none) || result.type != kVariantString)
    Fail("GetVersion");
  return hostkit::TextOf(result);
}

Description AddIn::GetDescription() {
  HostVariant result;
  std::vector<HostVariant> out(7, hostkit::Empty());
  if (!Succeeded(session_.CallFunction("GetDescription", &result, out), result))
    Fail("GetDescription");
  return {hostkit::TextOf(out[0]), hostkit::TextOf(out[1]), hostkit::TextOf(out[2]),
          out[3].intValue,         out[4].boolValue,        out[5].boolValue,
          hostkit::TextOf(out[6])};
}

LastError AddIn::GetLastError() {
  HostVariant result;
  std::vector<HostVariant> out(1, hostkit::Empty());
  if (!session_.CallFunction("GetLastError", &result, out) || result.type != kVariantInt32)
    Fail("GetLastError");
  return {result.intValue, hostkit::TextOf(out[0])};
}

std::string AddIn::Parameters() {
  HostVariant result;
  std::vector<HostVariant> out(1, hostkit::Empty());
  if (!Succeeded(session_.CallFunction("GetParameters", &result, out), result))
    Fail("GetParameters");
  return hostkit::TextOf(out[0]);
}

void AddIn::SetText(const std::string& name, const std::string& value) {
  if (!session_.SetText(name, value)) Fail("SetParameter");
}

void AddIn::SetFlag(const std::string& name, bool value) {
  if (!session_.SetFlag(name, value)) Fail("SetParameter");
}

std::string AddIn::Open() {
  std::string device;
  if (!session_.OpenDevice(&device)) Fail("Open");
  return device;
}

void AddIn::Close() {
  if (!session_.CloseDevice()) Fail("Close");
}

DeviceTestResult AddIn::DeviceTest() {
  HostVariant result;
  std::vector<HostVariant> out(2, hostkit::Empty());
  if (!Succeeded(session_.CallFunction("DeviceTest", &result, out), result)) Fail("DeviceTest");
  return {hostkit::TextOf(out[0]), hostkit::TextOf(out[1])};
}

std::string AddIn::Actions() {
  HostVariant result;
  std::vector<HostVariant> out(1, hostkit::Empty());
  if (!Succeeded(session_.CallFunction("GetAdditionalActions", &result, out), result))
    Fail("GetAdditionalActions");
  return hostkit::TextOf(out[0]);
}

bool AddIn::DoAction(const std::string& action) {
  const std::u16string name = hostkit::Host(action);
  HostVariant result;
  std::vector<HostVariant> parameters{hostkit::String(name)};
  if (!session_.CallFunction("DoAdditionalAction", &result, parameters)) Fail("DoAdditionalAction");
  return result.type == kVariantBool && result.boolValue;
}

bool AddIn::Generate(const std::string& text, bool base64, bool activate) {
  return session_.Generate(text, base64, activate);
}

}  // namespace cli
