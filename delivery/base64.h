// Lenient Base64 decoding of test barcodes: decodes the longest acceptable
// prefix and never fails.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace wedgesim {

inline constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Stops at the first "=" or at the first byte outside the alphabet (whatever
// the locale says about it); padding is optional, a lone trailing character
// gives no byte.
std::vector<std::uint8_t> DecodeBase64(std::string_view input);

}  // namespace wedgesim
