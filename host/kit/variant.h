// Building parameter records and reading results, as the host does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "abi/host_abi.h"

namespace hostkit {

// A zero-filled record.
HostVariant Empty();
HostVariant Boolean(bool value);
HostVariant Int(std::int32_t value);
// A string record pointing into `storage`, which must outlive it.
HostVariant String(const std::u16string& storage);

// The text of a string record as UTF-8 ("" when it is not a string or has no text).
std::string TextOf(const HostVariant& value);
std::u16string HostTextOf(const HostVariant& value);

}  // namespace hostkit
