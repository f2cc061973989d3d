// Names, numbers and languages, through the loaded library.
#include <cstdlib>

#include "tests/support/test_host.h"

namespace {

using namespace testhost;

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { unsetenv("DISPLAY"); }
  long Find(const std::string& name) { return host.component->FindMethodIndex(Ptr(Host(name))); }
  std::string Name(long method, long selector) {
    return hostkit::Utf8(host.component->GetMethodName(method, selector));
  }
  std::string DeviceTestText() {
    std::vector<HostVariant> parameters{hostkit::Empty(), hostkit::Empty()};
    HostVariant result = hostkit::Empty();
    EXPECT_TRUE(host.Function(DeviceTest, &result, parameters));
    return TextOf(parameters[0]);
  }
  TestHost host;
};

TEST_F(Registry, MethodsAreFoundByExactEnglishOrRussianName) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"GetVersion", "ПолучитьНомерВерсии"},
      {"GetDescription", "ПолучитьОписание"},
      {"GetLastError", "ПолучитьОшибку"},
      {"GetParameters", "ПолучитьПараметры"},
      {"SetParameter", "УстановитьПараметр"},
      {"Open", "Подключить"},
      {"Close", "Отключить"},
      {"DeviceTest", "ТестУстройства"},
      {"GetAdditionalActions", "ПолучитьДополнительныеДействия"},
      {"DoAdditionalAction", "ВыполнитьДополнительноеДействие"},
      {"GenerateExternalEvent", "СгенерироватьВнешнееСобытие"},
      {"GenerateExternalEventActivateWindow", "СгенерироватьВнешнееСобытиеСАктивациейОкна"},
  };
  EXPECT_EQ(host.component->GetMethodCount(), 12);
  for (long method = 0; method < 12; ++method) {
    EXPECT_EQ(Find(table[method].first), method);
    EXPECT_EQ(Find(table[method].second), method);
    EXPECT_EQ(Name(method, 0), table[method].first);
    EXPECT_EQ(Name(method, 1), table[method].second);
  }
  EXPECT_EQ(Find("open"), -1);
  EXPECT_EQ(Find("GetVersion "), -1);
  EXPECT_EQ(Find("GenerateExternal"), -1);
  EXPECT_EQ(Find(""), -1);
  EXPECT_EQ(host.component->FindMethodIndex(nullptr), -1);

  const std::size_t before = host.memory.allocations();
  EXPECT_EQ(host.component->GetMethodName(12, 0), nullptr);
  EXPECT_EQ(host.component->GetMethodName(-1, 0), nullptr);
  EXPECT_EQ(host.component->GetMethodName(3, 2), nullptr);
  EXPECT_EQ(host.memory.allocations(), before) << "nothing allocated for names that do not exist";
}

TEST_F(Registry, CountsFlagsDefaultsAndTheEmptyPropertyGroup) {
  const long counts[] = {0, 7, 1, 1, 2, 1, 1, 2, 1, 1, 2, 2};
  for (long method = 0; method < 12; ++method) {
    EXPECT_EQ(host.component->GetParameterCount(method), counts[method]) << method;
    EXPECT_EQ(host.component->MethodHasResult(method), method <= 9) << method;
  }
  for (const long outside : {-1L, 12L, 1000L}) {
    EXPECT_EQ(host.component->GetParameterCount(outside), 0);
    EXPECT_FALSE(host.component->MethodHasResult(outside));
  }
  HostVariant value = hostkit::Int(5);
  EXPECT_FALSE(host.component->GetParameterDefault(1, 0, &value));
  EXPECT_EQ(value.type, kVariantEmpty);
  EXPECT_EQ(value.intValue, 5) << "the value area is left alone";

  EXPECT_EQ(host.component->GetPropertyCount(), 0);
  EXPECT_EQ(host.component->FindProperty(Ptr(Host("TestCode"))), -1);
  EXPECT_EQ(host.component->GetPropertyName(0, 0), nullptr);
  EXPECT_FALSE(host.component->GetPropertyValue(0, &value));
  EXPECT_FALSE(host.component->SetPropertyValue(0, &value));
  EXPECT_FALSE(host.component->IsPropertyReadable(0));
  EXPECT_FALSE(host.component->IsPropertyWritable(0));
}

TEST_F(Registry, RegisterExtensionWritesIntoTheHostsBlock) {
  HostChar* name = nullptr;
  EXPECT_TRUE(host.component->RegisterExtension(&name));
  EXPECT_EQ(hostkit::Utf8(name), "RizoDiverurAruVira");

  // A refusing manager: still true, nothing written; no manager: false.
  host.memory.SetRefusing(true);
  HostChar* untouched = nullptr;
  EXPECT_TRUE(host.component->RegisterExtension(&untouched));
  EXPECT_EQ(untouched, nullptr);
  EXPECT_EQ(host.component->GetMethodName(0, 0), nullptr);
  host.memory.SetRefusing(false);
  host.component->AttachMemoryManager(nullptr);
  EXPECT_FALSE(host.component->RegisterExtension(&untouched));
  EXPECT_EQ(host.component->GetMethodName(0, 0), nullptr);
}

TEST_F(Registry, RussianLocaleSwitchesTheTextsOneWay) {
  EXPECT_EQ(DeviceTestText(), "Driver connected!");
  host.component->ApplyLocale(Ptr(Host("ru_ru")));
  host.component->ApplyInterfaceLanguage(Ptr(Host("ru_RU")));
  host.component->ApplyLocale(Ptr(Host("en_US")));
  EXPECT_EQ(DeviceTestText(), "Driver connected!") << "only exact Russian codes switch";
  host.component->ApplyLocale(Ptr(Host("ru_RU")));
  EXPECT_EQ(DeviceTestText(), "Драйвер подключен!");
  host.component->ApplyLocale(Ptr(Host("en_US")));
  host.component->ApplyInterfaceLanguage(Ptr(Host("en")));
  EXPECT_EQ(DeviceTestText(), "Драйвер подключен!") << "nothing switches back";

  // The language is process-wide: a second component speaks it too, and
  // method names do not depend on it.
  hostkit::Component second(*host.library);
  second.AttachMemoryManager(&host.memory);
  EXPECT_EQ(hostkit::Utf8(second.GetMethodName(5, 0)), "Open");
}

TEST_F(Registry, InterfaceLanguageRuSwitchesAndRuLocaleToo) {
  host.component->ApplyInterfaceLanguage(Ptr(Host("ru")));
  EXPECT_EQ(DeviceTestText(), "Драйвер подключен!");
}

}  // namespace
