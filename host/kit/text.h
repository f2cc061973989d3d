// Host-side text helpers: UTF-8 for people, 16-bit host text for the add-in.
#pragma once

#include <string>
#include <string_view>

#include "abi/host_abi.h"

namespace hostkit {

// UTF-8 to host text (UTF-16 code units) and back. Invalid UTF-8 bytes become U+FFFD.
std::u16string Host(std::string_view utf8);
std::string Utf8(std::u16string_view host);
std::string Utf8(const HostChar* host);  // null gives ""
inline const HostChar* Ptr(const std::u16string& text) {
  return reinterpret_cast<const HostChar*>(text.c_str());
}

}  // namespace hostkit
