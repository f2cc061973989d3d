// Base64 (RFC 4648, standard alphabet), in its two rules: the add-in's
// lenient one for test barcodes given in its settings or by script code, and
// a strict one for the control channel and the command, where a mistake must
// be told, not guessed around.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wedgesim::text {

inline constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Lenient: decodes the longest acceptable prefix and never fails. Stops at
// the first "=" or at the first byte outside the alphabet (whatever the
// locale says about it); padding is optional, a lone trailing character
// gives no byte.
std::vector<std::uint8_t> DecodeBase64(std::string_view input);

// Strict: padding only at the end, and optional; no blanks or other
// characters, no lone trailing character. False for anything else.
bool DecodeStrictBase64(std::string_view input, std::string* bytes);

// With "=" padding.
std::string EncodeBase64(std::string_view bytes);

}  // namespace wedgesim::text
