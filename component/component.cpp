#include "component/component.h"

#include <memory>

#include "abi/boundary.h"
#include "abi/host_text.h"
#include "abi/narrow.h"
#include "driver/dispatch.h"
#include "driver/driver_texts.h"
#include "driver/lifecycle.h"
#include "driver/method_table.h"

namespace wedgesim {

// Every slot is a boundary: nothing thrown inside may reach the host.

RizoDiverurAruVira::~RizoDiverurAruVira() {
  // The device is process-wide; destroying any component stops it, opened or not.
  ReleaseDevice();
}

bool RizoDiverurAruVira::Initialize(IAddInDefBase* connection) {
  return Guarded("Initialize", false, [&] {
    hostConnection = connection;
    if (connection == nullptr) return false;
    connection->RegisterSettingsProfile(kProfileName);
    return true;
  });
}

bool RizoDiverurAruVira::AttachMemoryManager(HostMemoryManager* manager) noexcept {
  memoryManager = manager;
  return manager != nullptr;
}

long RizoDiverurAruVira::QueryInfo() noexcept { return kQueryInfoVersion; }

void RizoDiverurAruVira::Shutdown() noexcept {}

bool RizoDiverurAruVira::RegisterExtension(HostChar** extensionName) {
  return Guarded("RegisterExtension", false, [&] {
    if (memoryManager == nullptr) return false;
    if (extensionName == nullptr) return false;
    const std::uint32_t count =
        Narrow<std::uint32_t>(std::char_traits<char16_t>::length(kExtensionName)) + 1;
    // The host's own out-pointer receives the block.
    if (memoryManager->Allocate(reinterpret_cast<void**>(extensionName), 2UL * count) &&
        *extensionName != nullptr)
      ToHostText(extensionName, kExtensionName, count);
    return true;
  });
}

// The component has no properties.
long RizoDiverurAruVira::GetPropertyCount() noexcept { return 0; }
long RizoDiverurAruVira::FindProperty(const HostChar*) noexcept { return -1; }
const HostChar* RizoDiverurAruVira::GetPropertyName(long, long) noexcept { return nullptr; }
bool RizoDiverurAruVira::GetPropertyValue(long, HostVariant*) noexcept { return false; }
bool RizoDiverurAruVira::SetPropertyValue(long, HostVariant*) noexcept { return false; }
bool RizoDiverurAruVira::IsPropertyReadable(long) noexcept { return false; }
bool RizoDiverurAruVira::IsPropertyWritable(long) noexcept { return false; }

long RizoDiverurAruVira::GetMethodCount() noexcept { return kMethodCount; }

long RizoDiverurAruVira::FindMethodIndex(const HostChar* name) {
  return Guarded("FindMethodIndex", -1L, [&] {
    if (name == nullptr) return -1L;
    return FindMethod(std::u16string_view(name));
  });
}

const HostChar* RizoDiverurAruVira::GetMethodName(long method, long alias) {
  return Guarded("GetMethodName", static_cast<const HostChar*>(nullptr), [&]() -> const HostChar* {
    const char16_t* name = MethodName(method, alias);
    if (name == nullptr) return nullptr;
    return AllocateHostText(memoryManager, name);
  });
}

long RizoDiverurAruVira::GetParameterCount(long method) noexcept {
  return MethodParameterCount(method);
}

bool RizoDiverurAruVira::GetParameterDefault(long, long, HostVariant* value) noexcept {
  if (value != nullptr) value->type = kVariantEmpty;
  return false;
}

bool RizoDiverurAruVira::MethodHasResult(long method) noexcept {
  return MethodReturnsValue(method);
}

bool RizoDiverurAruVira::CallProcedure(long method, HostVariant* parameters, long) {
  return Guarded("CallProcedure", false, [&] {
    return CallDriverProcedure({hostConnection, memoryManager}, method, parameters);
  });
}

bool RizoDiverurAruVira::CallFunction(long method, HostVariant* result, HostVariant* parameters,
                                      long) {
  return Guarded("CallFunction", false, [&] {
    return CallDriverFunction({hostConnection, memoryManager}, method, result, parameters);
  });
}

void RizoDiverurAruVira::ApplyLocale(const HostChar* locale) {
  GuardedVoid("ApplyLocale", [&] {
    if (locale == nullptr) return;
    const std::u16string text = CopyHostText(locale);
    if (text == u"ru_RU" || text == u"ru") SwitchToRussianTexts();
  });
}

void RizoDiverurAruVira::ApplyInterfaceLanguage(const HostChar* code) {
  GuardedVoid("ApplyInterfaceLanguage", [&] {
    if (code == nullptr) return;
    interfaceLanguageCode = CopyHostText(code);
    if (interfaceLanguageCode == u"ru") SwitchToRussianTexts();
  });
}

}  // namespace wedgesim
