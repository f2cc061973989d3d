#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "delivery/base64.h"

namespace {

std::string Decode(std::string_view input) {
  const auto bytes = DecodeBase64(input);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Base64, DecodesTheLongestAcceptablePrefix) {
  EXPECT_EQ(Decode(""), "");
  EXPECT_EQ(Decode("QUJD"), "ABC");
  EXPECT_EQ(Decode("QUI="), "AB");
  EXPECT_EQ(Decode("QQ=="), "A");
  EXPECT_EQ(Decode("QQ"), "A");
  EXPECT_EQ(Decode("Q"), "");
  EXPECT_EQ(Decode("QUJDR"), "ABC");
  EXPECT_EQ(Decode("QQ==QUJD"), "A");
  EXPECT_EQ(Decode("QUJD\nREVG"), "ABC");
  EXPECT_EQ(Decode("QU-D"), "A");
  EXPECT_EQ(Decode("QU_D"), "A");
  EXPECT_EQ(Decode("0JA="), "\xD0\x90");
  EXPECT_EQ(Decode("+/+/"), "\xFB\xFF\xBF");
  EXPECT_EQ(Decode(std::string_view("QU\0JD", 5)), "A") << "a NUL byte ends decoding too";
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
