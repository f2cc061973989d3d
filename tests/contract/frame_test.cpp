// The exports and the component object, through the loaded library.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include "tests/support/failing_new.h"
#include "tests/support/test_host.h"

namespace {

using namespace testhost;
using hostkit::CallSlot;
using hostkit::Slot;
using hostkit::SlotInTable;
using hostkit::Table;

class Frame : public ::testing::Test {
 protected:
  void SetUp() override { unsetenv("DISPLAY"); }
};

TEST_F(Frame, ExportsCreateAndDestroyComponents) {
  hostkit::LoadedLibrary library(LibraryPath());
  ASSERT_TRUE(library.ok()) << library.error();

  const HostChar* names = library.GetClassNames();
  EXPECT_EQ(names, library.GetClassNames()) << "the same text every time";
  EXPECT_EQ(hostkit::Utf8(names), "RizoDiverurAruVira");
  EXPECT_EQ(names[18], 0);

  for (const std::int32_t capabilities : {0, 1, 2, -1})
    EXPECT_EQ(library.SetPlatformCapabilities(capabilities), 3);

  // Any class name, an empty one and none at all create a component.
  const std::u16string other = Host("Anything"), empty;
  for (const HostChar* name : {Ptr(other), Ptr(empty), static_cast<const HostChar*>(nullptr)}) {
    IComponentBase* component = nullptr;
    const long address = library.GetClassObject(name, &component);
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(address, reinterpret_cast<long>(component));
    // A pointer that is already set is left alone and nothing is created.
    IComponentBase* const before = component;
    EXPECT_EQ(library.GetClassObject(name, &component), 0);
    EXPECT_EQ(component, before);
    EXPECT_EQ(library.DestroyObject(&component), 0);
    EXPECT_EQ(component, nullptr);
    EXPECT_EQ(library.DestroyObject(&component), -1);
  }
}

TEST_F(Frame, OnlyTheFourEntryPointsAreExported) {
  hostkit::LoadedLibrary library(LibraryPath());
  ASSERT_TRUE(library.ok());
  // Internal names (mangled or not) stay hidden.
  for (const char* hidden : {"InitializeLibrary", "_Z17InitializeLibraryv", "StartHotkeyListeners",
                             "ActiveHostConnection", "DecodeBase64"})
    EXPECT_EQ(dlsym(library.handle(), hidden), nullptr) << hidden;
}

TEST_F(Frame, InitializeRegistersTheProfileAndForgetsOnNull) {
  TestHost host(false);
  hostkit::Component& component = *host.component;
  EXPECT_EQ(component.QueryInfo(), 2000);
  EXPECT_TRUE(component.Initialize(&host.connection));
  EXPECT_EQ(host.connection.registeredProfiles(),
            std::vector<std::string>{"V4EzavoruRezoDadivudavo"});
  EXPECT_FALSE(component.Initialize(nullptr));
  EXPECT_EQ(host.connection.registeredProfiles().size(), 1u);
  component.Shutdown();
  EXPECT_EQ(component.QueryInfo(), 2000);

  // With the connection forgotten, a type mismatch is reported to nobody.
  EXPECT_TRUE(component.AttachMemoryManager(&host.memory));
  std::vector<HostVariant> parameters{hostkit::Int(1), hostkit::Int(2)};
  EXPECT_FALSE(host.Procedure(GenerateExternalEvent, parameters));
  EXPECT_TRUE(host.connection.errors().empty());
  EXPECT_FALSE(component.AttachMemoryManager(nullptr));
}

// Each of the four tables reaches the same object: calling an operation
// through a secondary table adjusts `this` to the whole component.
TEST_F(Frame, EveryTableReachesTheComponent) {
  TestHost host;
  IComponentBase* object = host.component->object();
  const int extender = SlotInTable(Slot::GetMethodCount, Table::LanguageExtender);
  EXPECT_EQ(extender, 10);
  EXPECT_EQ((CallSlot<long>(object, Table::InitDone, static_cast<int>(Slot::GetMethodCount))), 12);
  EXPECT_EQ((CallSlot<long>(object, Table::LanguageExtender, extender)), 12);
  EXPECT_EQ((CallSlot<long>(object, Table::InitDone, static_cast<int>(Slot::QueryInfo))), 2000);

  // The locale table's only operation switches the texts of the whole object.
  const std::u16string russian = Host("ru_RU");
  CallSlot<void, const HostChar*>(object, Table::Locale,
                                  SlotInTable(Slot::ApplyLocale, Table::Locale), Ptr(russian));
  std::vector<HostVariant> test{hostkit::Empty(), hostkit::Empty()};
  HostVariant result = hostkit::Empty();
  ASSERT_TRUE(host.Function(DeviceTest, &result, test));
  EXPECT_EQ(TextOf(test[0]), "Драйвер подключен!");

  // The primary table's own slots 22 and 23 are the same operations.
  const std::u16string code = Host("ru");
  CallSlot<void, const HostChar*>(object, Table::InitDone, 23, Ptr(code));
  CallSlot<void, const HostChar*>(object, Table::UserLanguage, 2, Ptr(code));

  // The deleting destructor, reached through a secondary table, frees the object.
  CallSlot<void>(object, Table::UserLanguage, 1);
  testhost::Abandon(host.component);  // its object is gone already
}

TEST_F(Frame, AllocationFailureNeverCrossesTheBoundary) {
  TestHost host;
  if (!AllocationsReach(host.library->handle())) GTEST_SKIP() << kOwnAllocator;
  IComponentBase* component = nullptr;
  const std::u16string open = Host("Open");
  std::vector<HostVariant> parameters{hostkit::Empty()};
  HostVariant result = hostkit::Empty();
  SetAllocationsFailing(true);  // from here to the reset, the test itself allocates nothing
  const long created = host.library->GetClassObject(nullptr, &component);
  // A name is looked up without allocating; work that must allocate fails,
  // and its slot answers its failure value.
  const long found = host.component->FindMethodIndex(Ptr(open));
  const bool called = host.Function(GetParameters, &result, parameters);
  SetAllocationsFailing(false);
  EXPECT_EQ(created, 0);
  EXPECT_EQ(component, nullptr);
  EXPECT_EQ(found, 5);
  EXPECT_FALSE(called);
  // And the component still works afterwards.
  EXPECT_EQ(host.component->FindMethodIndex(Ptr(open)), 5);
}

TEST_F(Frame, DestroyingAComponentThatWasNeverOpenedIsHarmless) {
  TestHost host;
  EXPECT_TRUE(host.component->Destroy());
  EXPECT_FALSE(host.component->Destroy());
}

// Every slot of the primary table answers as its operation does, and each
// operation answers the same through the table of the base it belongs to.
TEST(Tables, PrimaryTableHoldsAllTwentyFourSlotsInOrder) {
  unsetenv("DISPLAY");
  TestHost host;
  IComponentBase* object = host.component->object();
  const std::u16string close = Host("Close");
  HostVariant value = hostkit::Int(9);
  std::vector<HostVariant> parameters{hostkit::Empty(), hostkit::Empty()};
  HostVariant result = hostkit::Empty();
  HostChar* name = nullptr;

  for (const Table table : {Table::InitDone, Table::LanguageExtender}) {
    auto slot = [&](Slot s) { return SlotInTable(s, table); };
    if (table == Table::InitDone) {
      EXPECT_TRUE((CallSlot<bool, IAddInDefBase*>(object, table, 2, &host.connection)));
      EXPECT_TRUE((CallSlot<bool, HostMemoryManager*>(object, table, 3, &host.memory)));
      EXPECT_EQ((CallSlot<long>(object, table, 4)), 2000);
      CallSlot<void>(object, table, 5);
    }
    EXPECT_TRUE((CallSlot<bool, HostChar**>(object, table, slot(Slot::RegisterExtension), &name)));
    EXPECT_EQ(hostkit::Utf8(name), "RizoDiverurAruVira");
    EXPECT_EQ((CallSlot<long>(object, table, slot(Slot::GetPropertyCount))), 0);
    EXPECT_EQ(
        (CallSlot<long, const HostChar*>(object, table, slot(Slot::FindProperty), Ptr(close))), -1);
    EXPECT_EQ(
        (CallSlot<const HostChar*, long, long>(object, table, slot(Slot::GetPropertyName), 0, 0)),
        nullptr);
    EXPECT_FALSE((CallSlot<bool, long, HostVariant*>(object, table, slot(Slot::GetPropertyValue), 0,
                                                     &value)));
    EXPECT_FALSE((CallSlot<bool, long, HostVariant*>(object, table, slot(Slot::SetPropertyValue), 0,
                                                     &value)));
    EXPECT_FALSE((CallSlot<bool, long>(object, table, slot(Slot::IsPropertyReadable), 0)));
    EXPECT_FALSE((CallSlot<bool, long>(object, table, slot(Slot::IsPropertyWritable), 0)));
    EXPECT_EQ((CallSlot<long>(object, table, slot(Slot::GetMethodCount))), 12);
    EXPECT_EQ(
        (CallSlot<long, const HostChar*>(object, table, slot(Slot::FindMethodIndex), Ptr(close))),
        6);
    EXPECT_EQ(hostkit::Utf8(CallSlot<const HostChar*, long, long>(object, table,
                                                                  slot(Slot::GetMethodName), 6, 1)),
              "Отключить");
    EXPECT_EQ((CallSlot<long, long>(object, table, slot(Slot::GetParameterCount), 1)), 7);
    EXPECT_FALSE((CallSlot<bool, long, long, HostVariant*>(
        object, table, slot(Slot::GetParameterDefault), 1, 0, &value)));
    EXPECT_EQ(value.type, kVariantEmpty);
    EXPECT_TRUE((CallSlot<bool, long>(object, table, slot(Slot::MethodHasResult), 9)));
    EXPECT_FALSE((CallSlot<bool, long, HostVariant*, long>(object, table, slot(Slot::CallProcedure),
                                                           3, parameters.data(), 2)));
    EXPECT_TRUE((CallSlot<bool, long, HostVariant*, HostVariant*, long>(
        object, table, slot(Slot::CallFunction), 7, &result, parameters.data(), 2)));
    EXPECT_EQ(TextOf(parameters[0]), "Driver connected!");
  }
  // Slots 22 and 23 of the primary table, then the same operations through
  // their own tables: the interface language first (no switch for "ru_RU"),
  // then the locale.
  const std::u16string ruRu = Host("ru_RU"), en = Host("en");
  CallSlot<void, const HostChar*>(object, Table::InitDone, 23, Ptr(ruRu));
  CallSlot<void, const HostChar*>(object, Table::UserLanguage, 2, Ptr(ruRu));
  CallSlot<void, const HostChar*>(object, Table::InitDone, 22, Ptr(en));
  ASSERT_TRUE(host.Function(DeviceTest, &result, parameters));
  EXPECT_EQ(TextOf(parameters[0]), "Driver connected!");
  CallSlot<void, const HostChar*>(object, Table::InitDone, 22, Ptr(ruRu));
  ASSERT_TRUE(host.Function(DeviceTest, &result, parameters));
  EXPECT_EQ(TextOf(parameters[0]), "Драйвер подключен!");

  // Slot 1, the deleting destructor, of the primary table frees the object.
  CallSlot<void>(object, Table::InitDone, 1);
  testhost::Abandon(host.component);
}

}  // namespace
