// Loads an add-in library the way the platform does (dlopen and the four
// exports) and drives its components through their interface tables by slot
// number, so the slot order is checked from the host's side, independently of
// the class declarations the library was compiled with.
#pragma once

#include <cstdint>
#include <string>

#include "abi/host_abi.h"

namespace hostkit {

// The library file beside the running program (the build puts them together).
std::string DefaultLibraryPath();

class LoadedLibrary {
 public:
  // Loads `path`; check ok() and error().
  explicit LoadedLibrary(const std::string& path);
  ~LoadedLibrary();  // dlclose
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool ok() const { return handle_ != nullptr && error_.empty(); }
  const std::string& error() const { return error_; }
  void* handle() const { return handle_; }

  const HostChar* GetClassNames() const { return getClassNames_(); }
  long GetClassObject(const HostChar* name, IComponentBase** component) const {
    return getClassObject_(name, component);
  }
  long DestroyObject(IComponentBase** component) const { return destroyObject_(component); }
  std::int32_t SetPlatformCapabilities(std::int32_t value) const {
    return setPlatformCapabilities_(value);
  }

 private:
  void* handle_ = nullptr;
  std::string error_;
  GetClassNamesFn getClassNames_ = nullptr;
  GetClassObjectFn getClassObject_ = nullptr;
  DestroyObjectFn destroyObject_ = nullptr;
  SetPlatformCapabilitiesFn setPlatformCapabilities_ = nullptr;
};

// The four interface tables of a component, in the order of its bases.
enum class Table : int { InitDone = 0, LanguageExtender = 1, Locale = 2, UserLanguage = 3 };

// Slot numbers in the primary table; the other tables hold the destructor
// pair and then their own operations in the same order.
enum class Slot : int {
  Initialize = 2,
  AttachMemoryManager,
  QueryInfo,
  Shutdown,
  RegisterExtension,
  GetPropertyCount,
  FindProperty,
  GetPropertyName,
  GetPropertyValue,
  SetPropertyValue,
  IsPropertyReadable,
  IsPropertyWritable,
  GetMethodCount,
  FindMethodIndex,
  GetMethodName,
  GetParameterCount,
  GetParameterDefault,
  MethodHasResult,
  CallProcedure,
  CallFunction,
  ApplyLocale,
  ApplyInterfaceLanguage,
};

// Calls slot `slot` of the table of base `table` of `component`: finds the
// base sub-object (each base holds only its table pointer), reads its table
// and calls the entry with the sub-object as `this`.
template <typename Result, typename... Args>
Result CallSlot(IComponentBase* component, Table table, int slot, Args... args) {
  auto* base = reinterpret_cast<char*>(component) + static_cast<int>(table) * sizeof(void*);
  void** entries = *reinterpret_cast<void***>(base);
  using Entry = Result (*)(void*, Args...);
  return reinterpret_cast<Entry>(entries[slot])(base, args...);
}

// Where `slot` of the primary table sits in the table of `table`.
int SlotInTable(Slot slot, Table table);

// A component seen from the host: every call goes through CallSlot on the
// table the platform would use (the language extender for methods, and so on).
class Component {
 public:
  Component(const LoadedLibrary& library, const HostChar* className = nullptr);
  ~Component();  // DestroyObject
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  bool ok() const { return object_ != nullptr; }
  IComponentBase* object() const { return object_; }
  // Destroys it now; false if it was already gone.
  bool Destroy();

  bool Initialize(IAddInDefBase* connection);
  bool AttachMemoryManager(HostMemoryManager* manager);
  long QueryInfo();
  void Shutdown();
  bool RegisterExtension(HostChar** name);
  long GetPropertyCount();
  long FindProperty(const HostChar* name);
  const HostChar* GetPropertyName(long property, long alias);
  bool GetPropertyValue(long property, HostVariant* value);
  bool SetPropertyValue(long property, HostVariant* value);
  bool IsPropertyReadable(long property);
  bool IsPropertyWritable(long property);
  long GetMethodCount();
  long FindMethodIndex(const HostChar* name);
  const HostChar* GetMethodName(long method, long alias);
  long GetParameterCount(long method);
  bool GetParameterDefault(long method, long parameter, HostVariant* value);
  bool MethodHasResult(long method);
  bool CallProcedure(long method, HostVariant* parameters, long count);
  bool CallFunction(long method, HostVariant* result, HostVariant* parameters, long count);
  void ApplyLocale(const HostChar* locale);
  void ApplyInterfaceLanguage(const HostChar* code);

 private:
  const LoadedLibrary& library_;
  IComponentBase* object_ = nullptr;
};

}  // namespace hostkit
