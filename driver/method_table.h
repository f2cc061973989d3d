// The twelve driver methods as the host sees them: English names, Russian
// aliases, parameter counts and result flags.
#pragma once

#include <string_view>

namespace wedgesim {

enum DriverMethod : long {
  kGetVersion = 0,
  kGetDescription,
  kGetLastError,
  kGetParameters,
  kSetParameter,
  kOpen,
  kClose,
  kDeviceTest,
  kGetAdditionalActions,
  kDoAdditionalAction,
  kGenerateExternalEvent,
  kGenerateExternalEventActivateWindow,
};

inline constexpr long kMethodCount = 12;
inline constexpr const char16_t* kExtensionName = u"RizoDiverurAruVira";

// Exact, case-sensitive lookup: English names first, then Russian aliases; -1 if none.
long FindMethod(std::u16string_view name);
// Selector 0 gives the English name, 1 the alias; null for anything else.
const char16_t* MethodName(long method, long selector);
long MethodParameterCount(long method) noexcept;
bool MethodReturnsValue(long method) noexcept;

}  // namespace wedgesim
