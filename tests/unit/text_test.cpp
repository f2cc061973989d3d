// The text module: UTF-8 and UTF-16 both ways, strict Base64 and its encoder.
#include <gtest/gtest.h>

#include <string>

#include "text/base64.h"
#include "text/utf.h"

namespace {

using namespace wedgesim::text;

TEST(Utf, StrictDecodingRefusesWhatIsNotUtf8AndLenientReplacesIt) {
  const struct {
    std::string_view utf8;
    bool valid;
    std::u16string lenient;
  } cases[] = {
      {"", true, u""},
      {"abc", true, u"abc"},
      {"\xD0\xBB\xD0\xB0\xD1\x82", true, u"лат"},
      {"\xF0\x9F\x98\x80", true, u"\U0001F600"},  // a surrogate pair
      {"\xEF\xBF\xBF", true, u"\uFFFF"},
      {"a\xFF"
       "b",
       false,
       u"a\uFFFD"
       "b"},
      {"\xC0\xAF", false, u"\uFFFD\uFFFD"},                      // overlong "/"
      {"\xE0\x80\xAF", false, u"\uFFFD\uFFFD\uFFFD"},            // overlong, three bytes
      {"\xED\xA0\x80", false, u"\uFFFD\uFFFD\uFFFD"},            // a surrogate
      {"\xF4\x90\x80\x80", false, u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"\xD0", false, u"\uFFFD"},                                // cut short
      {"\xD0\x41", false,
       u"\uFFFD"
       "A"},  // continuation missing
  };
  for (const auto& [utf8, valid, lenient] : cases) {
    std::u16string strict;
    EXPECT_EQ(Utf8ToUtf16(utf8, &strict), valid) << utf8;
    if (valid) {
      EXPECT_EQ(strict, lenient) << utf8;
    }
    EXPECT_EQ(Utf8ToUtf16Lenient(utf8), lenient) << utf8;
    EXPECT_EQ(FirstInvalidUtf8(utf8) == std::string_view::npos, valid) << utf8;
    // What decodes strictly comes back byte for byte.
    if (valid) {
      EXPECT_EQ(Utf16ToUtf8(strict), utf8);
    }
  }
  EXPECT_EQ(FirstInvalidUtf8("ab\xFF"), 2u);
  // Half a pair is no character: it is shown as U+FFFD, so the output stays UTF-8.
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xD83D}), "a\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDE00, u'b'}),
            "\xEF\xBF\xBD"
            "b");
}

TEST(Base64, StrictDecodingAcceptsOnlyCanonicalShapesAndEncodingRoundTrips) {
  const struct {
    std::string_view input;
    bool valid;
    std::string_view bytes;
  } cases[] = {
      {"", true, ""},          {"QUJD", true, "ABC"}, {"QUI=", true, "AB"},
      {"QUI", true, "AB"},     {"QQ==", true, "A"},   {"QQ", true, "A"},
      {"Q", false, ""},        {"QQ=", false, ""},    {"Q===", false, ""},
      {"QQ==QUJD", false, ""}, {"QU JD", false, ""},  {"QUJD\n", false, ""},
      {"QU-D", false, ""},     {"QUJDR", false, ""},  {"+/+/", true, "\xFB\xFF\xBF"},
  };
  for (const auto& [input, valid, bytes] : cases) {
    std::string decoded;
    EXPECT_EQ(DecodeStrictBase64(input, &decoded), valid) << input;
    if (valid) {
      EXPECT_EQ(decoded, bytes) << input;
    }
  }
  for (const std::string_view bytes : {"", "A", "AB", "ABC", "\x1d\x00\xff"}) {
    std::string back;
    ASSERT_TRUE(DecodeStrictBase64(EncodeBase64(bytes), &back));
    EXPECT_EQ(back, bytes);
  }
  EXPECT_EQ(EncodeBase64("AB"), "QUI=");
}

}  // namespace
