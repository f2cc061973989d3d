// The one component class of the add-in.
#pragma once

#include <string>

#include "abi/host_abi.h"

namespace wedgesim {

inline constexpr const char16_t* kProfileName = u"V4EzavoruRezoDadivudavo";
inline constexpr long kQueryInfoVersion = 2000;

class RizoDiverurAruVira final : public IComponentBase {
 public:
  RizoDiverurAruVira() = default;
  ~RizoDiverurAruVira() override;

  // IInitDoneBase
  bool Initialize(IAddInDefBase* connection) override;
  bool AttachMemoryManager(HostMemoryManager* manager) noexcept override;
  long QueryInfo() noexcept override;
  void Shutdown() noexcept override;

  // ILanguageExtenderBase
  bool RegisterExtension(HostChar** extensionName) override;
  long GetPropertyCount() noexcept override;
  long FindProperty(const HostChar* name) noexcept override;
  const HostChar* GetPropertyName(long property, long alias) noexcept override;
  bool GetPropertyValue(long property, HostVariant* value) noexcept override;
  bool SetPropertyValue(long property, HostVariant* value) noexcept override;
  bool IsPropertyReadable(long property) noexcept override;
  bool IsPropertyWritable(long property) noexcept override;
  long GetMethodCount() noexcept override;
  long FindMethodIndex(const HostChar* name) override;
  const HostChar* GetMethodName(long method, long alias) override;
  long GetParameterCount(long method) noexcept override;
  bool GetParameterDefault(long method, long parameter, HostVariant* value) noexcept override;
  bool MethodHasResult(long method) noexcept override;
  bool CallProcedure(long method, HostVariant* parameters, long count) override;
  bool CallFunction(long method, HostVariant* result, HostVariant* parameters, long count) override;

  // LocaleBase, UserLanguageBase
  void ApplyLocale(const HostChar* locale) override;
  void ApplyInterfaceLanguage(const HostChar* code) override;

 private:
  IAddInDefBase* hostConnection = nullptr;     // borrowed from the host
  HostMemoryManager* memoryManager = nullptr;  // borrowed from the host
  std::u16string interfaceLanguageCode;
};

}  // namespace wedgesim
