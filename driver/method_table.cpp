#include "driver/method_table.h"

namespace wedgesim {

namespace {

struct MethodEntry {
  const char16_t* name;
  const char16_t* alias;
  long parameters;
  bool hasResult;
};

constexpr MethodEntry kMethods[kMethodCount] = {
    {u"GetVersion", u"ПолучитьНомерВерсии", 0, true},
    {u"GetDescription", u"ПолучитьОписание", 7, true},
    {u"GetLastError", u"ПолучитьОшибку", 1, true},
    {u"GetParameters", u"ПолучитьПараметры", 1, true},
    {u"SetParameter", u"УстановитьПараметр", 2, true},
    {u"Open", u"Подключить", 1, true},
    {u"Close", u"Отключить", 1, true},
    {u"DeviceTest", u"ТестУстройства", 2, true},
    {u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1, true},
    {u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1, true},
    {u"GenerateExternalEvent", u"СгенерироватьВнешнееСобытие", 2, false},
    {u"GenerateExternalEventActivateWindow", u"СгенерироватьВнешнееСобытиеСАктивациейОкна", 2,
     false},
};

bool InRange(long method) { return method >= 0 && method < kMethodCount; }

}  // namespace

long FindMethod(std::u16string_view name) {
  for (long i = 0; i < kMethodCount; ++i)
    if (name == kMethods[i].name) return i;
  for (long i = 0; i < kMethodCount; ++i)
    if (name == kMethods[i].alias) return i;
  return -1;
}

const char16_t* MethodName(long method, long selector) {
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
