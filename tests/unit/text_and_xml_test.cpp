// Pure code, linked directly: text conversion and the XML documents.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "abi/host_text.h"
#include "driver/driver_texts.h"

namespace {

using namespace wedgesim;

TEST(HostText, ConversionEdgeCases) {
  HostChar* empty = nullptr;
  EXPECT_EQ(ToHostText(&empty, L"", 0), 1u);
  std::unique_ptr<HostChar[]> ownEmpty(empty);
  EXPECT_EQ(empty[0], 0);

  HostChar* emoji = nullptr;
  ToHostText(&emoji, L"\U0001F600", 0);
  std::unique_ptr<HostChar[]> ownEmoji(emoji);
  EXPECT_EQ(emoji[0], 0xF600) << "only the low 16 bits survive";
  EXPECT_EQ(emoji[1], 0);

  // An explicit count copies exactly that many characters, without a terminator.
  HostChar buffer[6] = {9, 9, 9, 9, 9, 9};
  HostChar* into = buffer;
  EXPECT_EQ(ToHostText(&into, L"abcdef", 3), 3u);
  EXPECT_EQ(buffer[2], u'c');
  EXPECT_EQ(buffer[3], 9);

  const HostChar pair[] = {0xD83D, 0xDE00, 0};
  wchar_t* wide = nullptr;
  EXPECT_EQ(FromHostText(&wide, pair, 0), 3u);
  std::unique_ptr<wchar_t[]> ownWide(wide);
  EXPECT_EQ(wide[0], 0xD83D);
  EXPECT_EQ(wide[1], 0xDE00);
  EXPECT_EQ(wide[2], 0);

  const HostChar nothing[] = {0, 65, 0};
  EXPECT_EQ(HostTextLength(nothing), 0);
}

TEST(HostText, StringVariantWithoutManagerKeepsTheLength) {
  HostVariant record{};
  record.stringValue = reinterpret_cast<HostChar*>(&record);  // stale pointer to be overwritten
  SetStringVariant(&record, nullptr, L"1.0.1.4");
  EXPECT_EQ(record.type, kVariantString);
  EXPECT_EQ(record.stringValue, nullptr);
  EXPECT_EQ(record.stringLength, 7u);
}

class XmlDocuments : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitializeDriverTexts(); }
};

TEST_F(XmlDocuments, LengthsAndLayoutAreExact) {
  const std::wstring englishActions = EnglishDriverTexts().ActionsXml;
  const std::wstring russianActions = RussianDriverTexts().ActionsXml;
  const std::wstring englishSettings = EnglishDriverTexts().SettingsXml;
  const std::wstring russianSettings = RussianDriverTexts().SettingsXml;
  EXPECT_EQ(englishActions.size(), 201u);
  EXPECT_EQ(russianActions.size(), 231u);
  EXPECT_EQ(englishSettings.size(), 1432u);
  EXPECT_EQ(russianSettings.size(), 1613u);

  const std::wstring declaration = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  EXPECT_EQ(englishSettings.rfind(declaration + L" " + std::wstring(10, L'\t') + L"<Settings>", 0),
            0u);
  EXPECT_EQ(englishActions.rfind(declaration + L" " + std::wstring(7, L'\t') + L"<Actions>", 0),
            0u);
  for (const std::wstring* xml :
       {&englishActions, &russianActions, &englishSettings, &russianSettings}) {
    EXPECT_EQ(xml->find(L'\n'), std::wstring::npos);
    EXPECT_EQ(xml->back(), L'>');
  }
  for (const wchar_t* placeholder :
       {L"Hotkey1DefValue", L"Hotkey2DefValue", L"CurrentPidDefValue"}) {
    EXPECT_NE(englishSettings.find(placeholder), std::wstring::npos);
    EXPECT_NE(russianSettings.find(placeholder), std::wstring::npos);
  }
  // The two Russian Base64 descriptions differ; the hotkey parameters are "HotKey".
  EXPECT_NE(russianSettings.find(L"Description=\"Тестовый штрихкод задан в формате base64\"/>"),
            std::wstring::npos);
  EXPECT_NE(russianSettings.find(L"Description=\"Тестовый штрихкод в формате base64\"/>"),
            std::wstring::npos);
  EXPECT_NE(englishSettings.find(L" \t\t\t\t\t\t\t\t\t\t\t\t\t<Parameter Name = \"HotKey2\""),
            std::wstring::npos);
}

}  // namespace
