#include "driver/method_table.h"

namespace wedgesim {

namespace {

struct MethodEntry {
  const wchar_t* name;
  const wchar_t* alias;
  long parameters;
  bool hasResult;
};

constexpr MethodEntry kMethods[kMethodCount] = {
    {L"GetVersion", L"ПолучитьНомерВерсии", 0, true},
    {L"GetDescription", L"ПолучитьОписание", 7, true},
    {L"GetLastError", L"ПолучитьОшибку", 1, true},
    {L"GetParameters", L"ПолучитьПараметры", 1, true},
    {L"SetParameter", L"УстановитьПараметр", 2, true},
    {L"Open", L"Подключить", 1, true},
    {L"Close", L"Отключить", 1, true},
    {L"DeviceTest", L"ТестУстройства", 2, true},
    {L"GetAdditionalActions", L"ПолучитьДополнительныеДействия", 1, true},
    {L"DoAdditionalAction", L"ВыполнитьДополнительноеДействие", 1, true},
    {L"GenerateExternalEvent", L"СгенерироватьВнешнееСобытие", 2, false},
    {L"GenerateExternalEventActivateWindow", L"СгенерироватьВнешнееСобытиеСАктивациейОкна", 2,
     false},
};

bool InRange(long method) { return method >= 0 && method < kMethodCount; }

}  // namespace

long FindMethod(const std::wstring& name) {
  for (long i = 0; i < kMethodCount; ++i)
    if (name == kMethods[i].name) return i;
  for (long i = 0; i < kMethodCount; ++i)
    if (name == kMethods[i].alias) return i;
  return -1;
}

const wchar_t* MethodName(long method, long selector) {
  if (!InRange(method)) return nullptr;
  if (selector == 0) return kMethods[method].name;
  if (selector == 1) return kMethods[method].alias;
  return nullptr;
}

// Method 0 has no parameters, and numbers outside the table have none either.
long MethodParameterCount(long method) noexcept {
  return InRange(method) ? kMethods[method].parameters : 0;
}

bool MethodReturnsValue(long method) noexcept {
  return InRange(method) && kMethods[method].hasResult;
}

}  // namespace wedgesim
