// The binary contract between the host platform and this add-in: the value
// record, the host's services and the component's interface groups. Declared
// once here; the library and the reference host both include it.
#pragma once

#include <cstddef>
#include <cstdint>

// One unit of host text (UTF-16): NUL-terminated arrays of 16-bit units.
using HostChar = char16_t;

// Type codes of HostVariant that this add-in reads or writes.
enum HostVariantType : std::uint16_t {
  kVariantEmpty = 0,
  kVariantInt32 = 3,
  kVariantBool = 11,
  kVariantString = 22,
};

// The host's fixed-layout value record. Parameter arrays are contiguous, so
// its size is the array stride: 64 bytes on x86-64, 52 on x86.
struct HostVariant {
  union {
    bool boolValue;
    std::int32_t intValue;
    HostChar* stringValue;
  };
  std::uint32_t stringLength;  // units, terminator not counted
  std::uint8_t unusedValueArea[sizeof(void*) == 8 ? 48 : 40];
  std::uint16_t type;  // HostVariantType
  std::uint16_t padding;
};

#if defined(__x86_64__)
static_assert(offsetof(HostVariant, boolValue) == 0);
static_assert(offsetof(HostVariant, intValue) == 0);
static_assert(offsetof(HostVariant, stringValue) == 0);
static_assert(offsetof(HostVariant, stringLength) == 8);
static_assert(offsetof(HostVariant, unusedValueArea) == 12);
static_assert(offsetof(HostVariant, type) == 60);
static_assert(sizeof(HostVariant) == 64);
static_assert(sizeof(long) == 8);
#elif defined(__i386__)
static_assert(offsetof(HostVariant, boolValue) == 0);
static_assert(offsetof(HostVariant, intValue) == 0);
static_assert(offsetof(HostVariant, stringValue) == 0);
static_assert(offsetof(HostVariant, stringLength) == 4);
static_assert(offsetof(HostVariant, unusedValueArea) == 8);
static_assert(offsetof(HostVariant, type) == 48);
static_assert(sizeof(HostVariant) == 52);
static_assert(sizeof(long) == 4);
#else
#error "the add-in is built for x86-64 and x86 only"
#endif
static_assert(sizeof(HostChar) == 2 && alignof(HostChar) == 2);

// The host's connection, lent to the component by Initialize. Slot numbers
// count the destructor pair as slots 0 and 1.
class IAddInDefBase {
 public:
  virtual ~IAddInDefBase() = default;
  // slot 2
  virtual bool ReportError(std::uint16_t code, const HostChar* source, const HostChar* description,
                           long status) = 0;
  // slot 3: reads under "NAME:Default"; errorDescription is passed as null
  virtual bool ReadSetting(const HostChar* name, HostVariant* value, long* error,
                           HostChar** errorDescription) = 0;
  // slot 4: writes under the bare name
  virtual bool WriteSetting(const HostChar* name, HostVariant* value) = 0;
  // slot 5
  virtual bool RegisterSettingsProfile(const HostChar* profileName) = 0;
  // slots 6 and 7 exist in the host's table but are never called here
  virtual bool UnusedSlot6(long) = 0;
  virtual long UnusedSlot7() = 0;
  // slot 8
  virtual bool SendExternalEvent(const HostChar* source, const HostChar* eventName,
                                 const HostChar* data) = 0;
};

// The host's allocator for texts handed back to it; the component never frees.
class HostMemoryManager {
 public:
  virtual ~HostMemoryManager() = default;
  // slot 2
  virtual bool Allocate(void** block, unsigned long byteCount) = 0;
};

// ---- The component's interface groups, in the order of their tables ----

class IInitDoneBase {
 public:
  virtual ~IInitDoneBase() = default;
  virtual bool Initialize(IAddInDefBase* connection) = 0;            // 2
  virtual bool AttachMemoryManager(HostMemoryManager* manager) = 0;  // 3
  virtual long QueryInfo() = 0;                                      // 4
  virtual void Shutdown() = 0;                                       // 5
};

class ILanguageExtenderBase {
 public:
  virtual ~ILanguageExtenderBase() = default;
  virtual bool RegisterExtension(HostChar** extensionName) = 0;                           // 6
  virtual long GetPropertyCount() = 0;                                                    // 7
  virtual long FindProperty(const HostChar* name) = 0;                                    // 8
  virtual const HostChar* GetPropertyName(long property, long alias) = 0;                 // 9
  virtual bool GetPropertyValue(long property, HostVariant* value) = 0;                   // 10
  virtual bool SetPropertyValue(long property, HostVariant* value) = 0;                   // 11
  virtual bool IsPropertyReadable(long property) = 0;                                     // 12
  virtual bool IsPropertyWritable(long property) = 0;                                     // 13
  virtual long GetMethodCount() = 0;                                                      // 14
  virtual long FindMethodIndex(const HostChar* name) = 0;                                 // 15
  virtual const HostChar* GetMethodName(long method, long alias) = 0;                     // 16
  virtual long GetParameterCount(long method) = 0;                                        // 17
  virtual bool GetParameterDefault(long method, long parameter, HostVariant* value) = 0;  // 18
  virtual bool MethodHasResult(long method) = 0;                                          // 19
  virtual bool CallProcedure(long method, HostVariant* parameters, long count) = 0;       // 20
  virtual bool CallFunction(long method, HostVariant* result, HostVariant* parameters,
                            long count) = 0;  // 21
};

class LocaleBase {
 public:
  virtual ~LocaleBase() = default;
  virtual void ApplyLocale(const HostChar* locale) = 0;  // 22 in the primary table
};

class UserLanguageBase {
 public:
  virtual ~UserLanguageBase() = default;
  virtual void ApplyInterfaceLanguage(const HostChar* code) = 0;  // 23 in the primary table
};

class IComponentBase : public IInitDoneBase,
                       public ILanguageExtenderBase,
                       public LocaleBase,
                       public UserLanguageBase {
 public:
  ~IComponentBase() override = default;
};

// Signatures of the four exports, as the host resolves them with dlsym.
extern "C" {
using GetClassNamesFn = const HostChar* (*)();
using GetClassObjectFn = long (*)(const HostChar* className, IComponentBase** component);
using DestroyObjectFn = long (*)(IComponentBase** component);
using SetPlatformCapabilitiesFn = std::int32_t (*)(std::int32_t capabilities);
}
