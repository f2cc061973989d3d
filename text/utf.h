// UTF-8 and UTF-16, converted in one place for the add-in, its control
// channel and the command. Host text is UTF-16 (char16_t); people and sockets
// speak UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace wedgesim::text {

// Strict: false for anything that is not UTF-8 (a stray or missing
// continuation byte, an overlong form, a surrogate, a point past U+10FFFF);
// *out then holds what was decoded before the fault. Points above U+FFFF
// become surrogate pairs.
bool Utf8ToUtf16(std::string_view utf8, std::u16string* out);

// Lenient, for text people typed or a file held: each byte that does not
// start a well-formed sequence becomes U+FFFD, and decoding goes on after it.
std::u16string Utf8ToUtf16Lenient(std::string_view utf8);

// Always valid UTF-8: a surrogate that is not half of a pair becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// The offset of the first byte of `utf8` that is not part of a well-formed
// sequence, or npos when it is all UTF-8.
std::size_t FirstInvalidUtf8(std::string_view utf8);

}  // namespace wedgesim::text
