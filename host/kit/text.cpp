#include "host/kit/text.h"

#include "text/utf.h"

namespace hostkit {

std::u16string Host(std::string_view utf8) { return wedgesim::text::Utf8ToUtf16Lenient(utf8); }

std::string Utf8(std::u16string_view host) { return wedgesim::text::Utf16ToUtf8(host); }

std::string Utf8(const HostChar* host) {
  if (host == nullptr) return {};
  return Utf8(std::u16string_view(host));
}

}  // namespace hostkit
