#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <utility>

#include "text/base64.h"

namespace {

using namespace wedgesim;
using text::DecodeBase64;

std::string Decode(std::string_view input) {
  const auto bytes = DecodeBase64(input);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Base64, DecodesTheLongestAcceptablePrefix) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", ""},
      {"QUJD", "ABC"},
      {"QUI=", "AB"},
      {"QQ==", "A"},
      {"QQ", "A"},  // padding is optional
      {"Q", ""},    // a lone character gives no byte
      {"QUJDR", "ABC"},
      {"QQ==QUJD", "A"},      // the first "=" ends decoding
      {"QUJD\nREVG", "ABC"},  // so does any byte outside the alphabet
      {"QU-D", "A"},
      {"QU_D", "A"},
      {"0JA=", "\xD0\x90"},
      {"+/+/", "\xFB\xFF\xBF"},
      {std::string_view("QU\0JD", 5), "A"},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(Decode(input), expected) << input;
}

// Bytes above 127 are never part of the alphabet, whatever the locale calls
// alphanumeric: each one ends decoding instead of turning into garbage bytes.
TEST(Base64, BytesAbove127EndDecodingInEveryLocale) {
  for (const char* locale : {"C", "C.UTF-8", "en_US.ISO-8859-1", "ru_RU.KOI8-R"}) {
    if (std::setlocale(LC_ALL, locale) == nullptr) continue;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
      std::string input = "QUJD";
      input += static_cast<char>(byte);
      input += "REVG";
      EXPECT_EQ(Decode(input), "ABC") << locale << " byte " << byte;
    }
  }
  std::setlocale(LC_ALL, "C");
}

}  // namespace
