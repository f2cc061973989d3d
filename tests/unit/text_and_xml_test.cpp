// Pure code, linked directly: text conversion and the XML documents.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "abi/host_text.h"
#include "driver/driver_texts.h"

namespace {

using namespace wedgesim;

TEST(HostText, CopiesKeepEveryUnitAndTheCallersCount) {
  HostChar* empty = nullptr;
  EXPECT_EQ(ToHostText(&empty, u"", 0), 1u);
  std::unique_ptr<HostChar[]> ownEmpty(empty);
  EXPECT_EQ(empty[0], 0);

  // A character above U+FFFF reaches the host whole, as its surrogate pair.
  HostChar* emoji = nullptr;
  EXPECT_EQ(ToHostText(&emoji, u"\U0001F600", 0), 3u);
  std::unique_ptr<HostChar[]> ownEmoji(emoji);
  EXPECT_EQ(std::u16string(emoji), u"\U0001F600");

  // An explicit count copies exactly that many units, without a terminator.
  HostChar buffer[6] = {9, 9, 9, 9, 9, 9};
  HostChar* into = buffer;
  EXPECT_EQ(ToHostText(&into, u"abcdef", 3), 3u);
  EXPECT_EQ(buffer[2], u'c');
  EXPECT_EQ(buffer[3], 9);

  // Host text is read unit for unit: a pair stays a pair.
  const HostChar pair[] = {0xD83D, 0xDE00, 0};
  EXPECT_EQ(CopyHostText(pair), (std::u16string{0xD83D, 0xDE00}));

  const HostChar nothing[] = {0, 65, 0};
  EXPECT_EQ(HostTextLength(nothing), 0);
  EXPECT_EQ(CopyHostText(nullptr), u"");
}

TEST(HostText, StringVariantWithoutManagerKeepsTheLength) {
  HostVariant record{};
  record.stringValue = reinterpret_cast<HostChar*>(&record);  // stale pointer to be overwritten
  SetStringVariant(&record, nullptr, u"1.0.1.4");
  EXPECT_EQ(record.type, kVariantString);
  EXPECT_EQ(record.stringValue, nullptr);
  EXPECT_EQ(record.stringLength, 7u);
}

class XmlDocuments : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitializeDriverTexts(); }
};

TEST_F(XmlDocuments, LengthsAndLayoutAreExact) {
  const std::u16string englishActions = EnglishDriverTexts().ActionsXml;
  const std::u16string russianActions = RussianDriverTexts().ActionsXml;
  const std::u16string englishSettings = EnglishDriverTexts().SettingsXml;
  const std::u16string russianSettings = RussianDriverTexts().SettingsXml;
  EXPECT_EQ(englishActions.size(), 201u);
  EXPECT_EQ(russianActions.size(), 231u);
  EXPECT_EQ(englishSettings.size(), 1432u);
  EXPECT_EQ(russianSettings.size(), 1613u);

  const std::u16string declaration = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  EXPECT_EQ(
      englishSettings.rfind(declaration + u" " + std::u16string(10, u'\t') + u"<Settings>", 0), 0u);
  EXPECT_EQ(englishActions.rfind(declaration + u" " + std::u16string(7, u'\t') + u"<Actions>", 0),
            0u);
  for (const std::u16string* xml :
       {&englishActions, &russianActions, &englishSettings, &russianSettings}) {
    EXPECT_EQ(xml->find(u'\n'), std::u16string::npos);
    EXPECT_EQ(xml->back(), u'>');
  }
  for (const char16_t* placeholder :
       {u"Hotkey1DefValue", u"Hotkey2DefValue", u"CurrentPidDefValue"}) {
    EXPECT_NE(englishSettings.find(placeholder), std::u16string::npos);
    EXPECT_NE(russianSettings.find(placeholder), std::u16string::npos);
  }
  // The two Russian Base64 descriptions differ; the hotkey parameters are "HotKey".
  EXPECT_NE(russianSettings.find(u"Description=\"Тестовый штрихкод задан в формате base64\"/>"),
            std::u16string::npos);
  EXPECT_NE(russianSettings.find(u"Description=\"Тестовый штрихкод в формате base64\"/>"),
            std::u16string::npos);
  EXPECT_NE(englishSettings.find(u" \t\t\t\t\t\t\t\t\t\t\t\t\t<Parameter Name = \"HotKey2\""),
            std::u16string::npos);
}

}  // namespace
