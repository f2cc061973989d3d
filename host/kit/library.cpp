#include "host/kit/library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace hostkit {

std::string DefaultLibraryPath() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return WEDGESIM_LIBRARY_FILE;
  std::string path(self, static_cast<std::size_t>(length));
  return path.substr(0, path.rfind('/') + 1) + WEDGESIM_LIBRARY_FILE;
}

LoadedLibrary::LoadedLibrary(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    error_ = reason != nullptr ? reason : "cannot load " + path;
    return;
  }
  auto resolve = [this](const char* name) {
    void* symbol = dlsym(handle_, name);
    if (symbol == nullptr && error_.empty()) error_ = std::string("missing export ") + name;
    return symbol;
  };
  getClassNames_ = reinterpret_cast<GetClassNamesFn>(resolve("GetClassNames"));
  getClassObject_ = reinterpret_cast<GetClassObjectFn>(resolve("GetClassObject"));
  destroyObject_ = reinterpret_cast<DestroyObjectFn>(resolve("DestroyObject"));
  setPlatformCapabilities_ =
      reinterpret_cast<SetPlatformCapabilitiesFn>(resolve("SetPlatformCapabilities"));
}

LoadedLibrary::~LoadedLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

int SlotInTable(Slot slot, Table table) {
  const int primary = static_cast<int>(slot);
  switch (table) {
    case Table::InitDone:
      return primary;
    case Table::LanguageExtender:
      return primary - static_cast<int>(Slot::RegisterExtension) + 2;
    case Table::Locale:
      return primary - static_cast<int>(Slot::ApplyLocale) + 2;
    case Table::UserLanguage:
      return primary - static_cast<int>(Slot::ApplyInterfaceLanguage) + 2;
  }
  return -1;
}

Component::Component(const LoadedLibrary& library, const HostChar* className) : library_(library) {
  if (library.ok()) library.GetClassObject(className, &object_);
}

Component::~Component() { Destroy(); }

bool Component::Destroy() {
  if (object_ == nullptr) return false;
  return library_.DestroyObject(&object_) == 0;
}

namespace {
// The table through which the platform reaches each operation.
template <typename Result, typename... Args>
Result Call(IComponentBase* object, Slot slot, Args... args) {
  Table table = Table::InitDone;
  if (slot >= Slot::RegisterExtension && slot <= Slot::CallFunction)
    table = Table::LanguageExtender;
  if (slot == Slot::ApplyLocale) table = Table::Locale;
  if (slot == Slot::ApplyInterfaceLanguage) table = Table::UserLanguage;
  return CallSlot<Result, Args...>(object, table, SlotInTable(slot, table), args...);
}
}  // namespace

bool Component::Initialize(IAddInDefBase* c) { return Call<bool>(object_, Slot::Initialize, c); }
bool Component::AttachMemoryManager(HostMemoryManager* m) {
  return Call<bool>(object_, Slot::AttachMemoryManager, m);
}
long Component::QueryInfo() { return Call<long>(object_, Slot::QueryInfo); }
void Component::Shutdown() { Call<void>(object_, Slot::Shutdown); }
bool Component::RegisterExtension(HostChar** name) {
  return Call<bool>(object_, Slot::RegisterExtension, name);
}
long Component::GetPropertyCount() { return Call<long>(object_, Slot::GetPropertyCount); }
long Component::FindProperty(const HostChar* name) {
  return Call<long>(object_, Slot::FindProperty, name);
}
const HostChar* Component::GetPropertyName(long property, long alias) {
  return Call<const HostChar*>(object_, Slot::GetPropertyName, property, alias);
}
bool Component::GetPropertyValue(long property, HostVariant* value) {
  return Call<bool>(object_, Slot::GetPropertyValue, property, value);
}
bool Component::SetPropertyValue(long property, HostVariant* value) {
  return Call<bool>(object_, Slot::SetPropertyValue, property, value);
}
bool Component::IsPropertyReadable(long property) {
  return Call<bool>(object_, Slot::IsPropertyReadable, property);
}
bool Component::IsPropertyWritable(long property) {
  return Call<bool>(object_, Slot::IsPropertyWritable, property);
}
long Component::GetMethodCount() { return Call<long>(object_, Slot::GetMethodCount); }
long Component::FindMethodIndex(const HostChar* name) {
  return Call<long>(object_, Slot::FindMethodIndex, name);
}
const HostChar* Component::GetMethodName(long method, long alias) {
  return Call<const HostChar*>(object_, Slot::GetMethodName, method, alias);
}
long Component::GetParameterCount(long method) {
  return Call<long>(object_, Slot::GetParameterCount, method);
}
bool Component::GetParameterDefault(long method, long parameter, HostVariant* value) {
  return Call<bool>(object_, Slot::GetParameterDefault, method, parameter, value);
}
bool Component::MethodHasResult(long method) {
  return Call<bool>(object_, Slot::MethodHasResult, method);
}
bool Component::CallProcedure(long method, HostVariant* parameters, long count) {
  return Call<bool>(object_, Slot::CallProcedure, method, parameters, count);
}
bool Component::CallFunction(long method, HostVariant* result, HostVariant* parameters,
                             long count) {
  return Call<bool>(object_, Slot::CallFunction, method, result, parameters, count);
}
void Component::ApplyLocale(const HostChar* locale) {
  Call<void>(object_, Slot::ApplyLocale, locale);
}
void Component::ApplyInterfaceLanguage(const HostChar* code) {
  Call<void>(object_, Slot::ApplyInterfaceLanguage, code);
}

}  // namespace hostkit
