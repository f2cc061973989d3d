// Driver methods that describe the emulated scanner, test it and run its
// additional actions. Each fills the parameter records it is given.
#pragma once

#include <string_view>

#include "abi/host_abi.h"
#include "driver/dispatch.h"

namespace wedgesim {

inline constexpr std::u16string_view kDriverVersion = u"1.0.1.4";
inline constexpr std::u16string_view kEquipmentKind = u"СканерШтрихкода";
inline constexpr std::int32_t kInterfaceRevision = 2004;

// A string out-parameter; when the host's memory manager is missing or refuses,
// the record is left empty (type 0) rather than as a string without text.
bool SetStringResult(HostVariant* record, HostMemoryManager* manager, std::u16string_view text);

bool GetVersion(const DriverContext& context, HostVariant* result);
void GetDescription(const DriverContext& context, HostVariant* parameters);
void DeviceTest(const DriverContext& context, HostVariant* parameters);
void GetAdditionalActions(const DriverContext& context, HostVariant* parameters);
// Writes the outcome into `result` only for a known action.
void DoAdditionalAction(const DriverContext& context, const HostVariant& action,
                        HostVariant* result);

}  // namespace wedgesim
