// The four entry points the host resolves by name.
#include <cstdint>
#include <new>

#include "abi/boundary.h"
#include "abi/host_abi.h"
#include "component/component.h"

namespace wedgesim {
void InitializeLibrary() noexcept;
}

namespace {

// The class list: one name, no separator.
constexpr HostChar kClassNamesText[] = u"RizoDiverurAruVira";

__attribute__((constructor)) void LoadLibrary() noexcept { wedgesim::InitializeLibrary(); }

}  // namespace

#define WEDGESIM_EXPORT extern "C" __attribute__((visibility("default")))

WEDGESIM_EXPORT const HostChar* GetClassNames() { return kClassNamesText; }

WEDGESIM_EXPORT long GetClassObject(const HostChar* /*className*/, IComponentBase** component) {
  return wedgesim::Guarded("GetClassObject", 0L, [&]() -> long {
    if (component == nullptr || *component != nullptr) return 0;
    // When the component cannot be allocated the interface pointer stays null.
    auto* created = new (std::nothrow) wedgesim::RizoDiverurAruVira;
    if (created == nullptr) return 0;
    *component = created;
    return reinterpret_cast<long>(created);
  });
}

WEDGESIM_EXPORT long DestroyObject(IComponentBase** component) {
  return wedgesim::Guarded("DestroyObject", -1L, [&]() -> long {
    if (component == nullptr || *component == nullptr) return -1;
    delete *component;
    *component = nullptr;
    return 0;
  });
}

// The platform's capabilities change nothing here: the add-in needs none.
WEDGESIM_EXPORT std::int32_t SetPlatformCapabilities(std::int32_t /*capabilities*/) { return 3; }
