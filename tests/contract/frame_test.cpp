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
  EXPECT_EQ(host.connection.registeredProfiles(), std::vector<std::string>{"V4EzavoruRezoDadivudavo"});
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
  CallSlot<void, const HostChar*>(object, Table::Locale, SlotInTable(Slot::ApplyLocale, Table::Locale),
                                  Ptr(russian));
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
  IComponentBase* component = nullptr;
  const std::u16string open = Host("Open");
  std::vector<HostVariant> parameters{hostkit::Empty()};
  HostVariant result = hostkit::Empty();
  SetAllocationsFailing(true);  // from here to the reset, the test itself allocates nothing
  const long created = host.library->GetClassObject(nullptr, &component);
  // Conversions inside a slot fail too: the slot answers its failure value.
  const long found = host.component->FindMethodIndex(Ptr(open));
  const bool called = host.Function(GetParameters, &result, parameters);
  SetAllocationsFailing(false);
  EXPECT_EQ(created, 0);
  EXPECT_EQ(component, nullptr);
  EXPECT_EQ(found, -1);
  EXPECT_FALSE(called);
  // And the component still works afterwards.
  EXPECT_EQ(host.component->FindMethodIndex(Ptr(open)), 5);
}

TEST_F(Frame, DestroyingAComponentThatWasNeverOpenedIsHarmless) {
  TestHost host;
  EXPECT_TRUE(host.component->Destroy());
  EXPECT_FALSE(host.component->Destroy());
}

}  // namespace
