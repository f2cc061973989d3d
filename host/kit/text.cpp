#include "host/kit/text.h"

namespace hostkit {

std::u16string Host(std::string_view utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    char32_t code = 0xFFFD;
    std::size_t length = 1;
    if (lead < 0x80) {
      code = lead;
    } else if ((lead >> 5) == 0x6) {
      length = 2, code = lead & 0x1F;
    } else if ((lead >> 4) == 0xE) {
      length = 3, code = lead & 0x0F;
    } else if ((lead >> 3) == 0x1E) {
      length = 4, code = lead & 0x07;
    }
    if (length > 1) {
      if (i + length > utf8.size()) {
        length = 1, code = 0xFFFD;
      } else {
        for (std::size_t k = 1; k < length; ++k) {
          const auto next = static_cast<unsigned char>(utf8[i + k]);
          if ((next & 0xC0) != 0x80) {
            length = 1, code = 0xFFFD;
            break;
          }
          code = (code << 6) | (next & 0x3F);
        }
      }
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += length;
  }
  return out;
}

std::string Utf8(std::u16string_view host) {
  std::string out;
  for (std::size_t i = 0; i < host.size(); ++i) {
    char32_t code = host[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < host.size() && host[i + 1] >= 0xDC00 &&
        host[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (host[i + 1] - 0xDC00);
      ++i;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

std::string Utf8(const HostChar* host) {
  if (host == nullptr) return {};
  return Utf8(std::u16string_view(reinterpret_cast<const char16_t*>(host)));
}

}  // namespace hostkit
