#include "host/kit/variant.h"

#include "abi/narrow.h"

#include <cstring>

#include "host/kit/text.h"

namespace hostkit {

HostVariant Empty() {
  HostVariant value;
  std::memset(&value, 0, sizeof value);
  return value;
}

HostVariant Boolean(bool b) {
  HostVariant value = Empty();
  value.type = kVariantBool;
  value.boolValue = b;
  return value;
}

HostVariant Int(std::int32_t number) {
  HostVariant value = Empty();
  value.type = kVariantInt32;
  value.intValue = number;
  return value;
}

HostVariant String(const std::u16string& storage) {
  HostVariant value = Empty();
  value.type = kVariantString;
  value.stringValue = const_cast<HostChar*>(storage.c_str());
  value.stringLength = wedgesim::Narrow<std::uint32_t>(storage.size());
  return value;
}

std::u16string HostTextOf(const HostVariant& value) {
  if (value.type != kVariantString || value.stringValue == nullptr) return {};
  return std::u16string(value.stringValue, value.stringLength);
}

std::string TextOf(const HostVariant& value) { return Utf8(HostTextOf(value)); }

}  // namespace hostkit
