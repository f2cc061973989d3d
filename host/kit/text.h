// Host-side text helpers: UTF-8 for people, host text (UTF-16) for the add-in.
#pragma once

#include <string>
#include <string_view>

#include "abi/host_abi.h"

namespace hostkit {

// UTF-8 to host text and back. Bytes that are not UTF-8 become U+FFFD, and so
// does half a surrogate pair on the way out.
std::u16string Host(std::string_view utf8);
std::string Utf8(std::u16string_view host);
std::string Utf8(const HostChar* host);  // null gives ""
inline const HostChar* Ptr(const std::u16string& text) { return text.c_str(); }

}  // namespace hostkit
