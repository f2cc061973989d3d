// Pure pieces of the add-in, called directly: the channel's line protocol,
// which hotkey a press is, the lock combinations a hotkey is grabbed with,
// and the method table.
#include <gtest/gtest.h>

#include <string>

#include "channel/protocol.h"
#include "driver/method_table.h"
#include "hotkey/press.h"

namespace {

using namespace wedgesim;

TEST(ChannelProtocol, EachLineIsAScanAQuitOrAnAnswerWithItsReason) {
  const struct {
    std::string_view line;
    ChannelRequest::Kind kind;
    std::u16string data;
    std::string_view reply;  // the start of the ERR line
  } cases[] = {
      {"SCAN 4600000000001", ChannelRequest::kScan, u"4600000000001", ""},
      {"SCAN 4600\r", ChannelRequest::kScan, u"4600", ""},
      {"SCAN ", ChannelRequest::kScan, u"", ""},
      {"SCAN лат", ChannelRequest::kScan, u"лат", ""},
      {"SCAN a b", ChannelRequest::kScan, u"a b", ""},
      {"SCAN a\x1d"
       "b",
       ChannelRequest::kScan,
       u"a\x1d"
       "b",
       ""},
      {"SCAN64 Hf8=", ChannelRequest::kScan, std::u16string{0x1D, 0xFF}, ""},
      {"QUIT", ChannelRequest::kQuit, u"", ""},
      {"SCAN a\xFF", ChannelRequest::kInvalid, u"", "ERR utf8 "},
      {"SCAN64 QQ=", ChannelRequest::kInvalid, u"", "ERR base64 "},
      {std::string_view("SCAN a\0b", 8), ChannelRequest::kInvalid, u"", "ERR nul "},
      {"SCAN64 AA==", ChannelRequest::kInvalid, u"", "ERR nul "},
      {"scan 1", ChannelRequest::kInvalid, u"", "ERR command "},
      {"QUIT now", ChannelRequest::kInvalid, u"", "ERR command "},
      {"", ChannelRequest::kInvalid, u"", "ERR command "},
  };
  for (const auto& [line, kind, data, reply] : cases) {
    const ChannelRequest request = ParseChannelLine(line);
    EXPECT_EQ(request.kind, kind) << line;
    EXPECT_EQ(request.data, data) << line;
    EXPECT_EQ(request.reply.substr(0, reply.size()), reply) << line;
    if (!reply.empty()) {
      EXPECT_EQ(request.reply.back(), '\n') << line;
    }
  }
  EXPECT_EQ(ChannelOk(3), "OK 3\n");
  Greeting greeting;
  greeting.pid = 4711;
  greeting.program = "my app";
  greeting.display = ":0";
  const std::string line = GreetingLine(greeting);
  EXPECT_EQ(line, "WEDGESIM 1 pid=4711 device=open program=my%20app display=:0 session=-\n");
  const auto read = ParseGreeting(line.substr(0, line.size() - 1));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->program, "my app");
  EXPECT_EQ(read->display, ":0");
  EXPECT_EQ(read->session, "");
  EXPECT_FALSE(ParseGreeting("WEDGESIM x"));
  EXPECT_EQ(ParseGreeting("WEDGESIM 1 pid=9 device=open")->pid, 9);
}

TEST(HotkeyPress, OnlyTheKeyWithExactlyItsModifiersIsAHotkeyWhateverTheLocks) {
  constexpr std::uint32_t kShift = 1, kLock = 2, kCtrl = 4, kAlt = 8, kNum = 16, kButton1 = 256;
  constexpr std::uint32_t locks = kLock | kNum;
  const Hotkey defaults[2] = {{49, 0}, {49, kShift}};
  const Hotkey ctrlAB[2] = {{38, kCtrl}, {56, kCtrl}};
  const Hotkey same[2] = {{75, kCtrl}, {75, kCtrl}};
  const struct {
    const Hotkey (&hotkeys)[2];
    PressedKey press;
    int slot;
  } cases[] = {
      {defaults, {49, 0}, 1},
      {defaults, {49, kShift}, 2},
      {defaults, {49, kShift | kLock | kNum}, 2},  // lock keys never matter
      {defaults, {49, kNum | kButton1}, 1},        // nor a mouse button held
      {defaults, {49, kCtrl}, 0},                  // another modifier: the application's key
      {defaults, {49, kShift | kAlt}, 0},
      {defaults, {50, 0}, 0},
      {ctrlAB, {38, 0}, 0},  // typing "a" is no scan
      {ctrlAB, {38, kCtrl}, 1},
      {ctrlAB, {56, kCtrl | kLock}, 2},
      {ctrlAB, {56, kShift}, 0},
      {same, {75, kCtrl}, 1},  // the same chord twice: hotkey 1
  };
  for (const auto& [hotkeys, press, slot] : cases)
    EXPECT_EQ(HotkeyForPress(press, hotkeys, locks), slot)
        << "keycode " << press.keycode << " state " << press.state;
}

TEST(HotkeyPress, LockCombinationsAreEverySubsetOnce) {
  EXPECT_EQ(LockCombinations(0), (std::vector<std::uint16_t>{0}));
  EXPECT_EQ(LockCombinations(2), (std::vector<std::uint16_t>{0, 2}));
  EXPECT_EQ(LockCombinations(2 | 16 | 128),
            (std::vector<std::uint16_t>{0, 2, 16, 18, 128, 130, 144, 146}));
}

TEST(MethodTable, NamesAliasesCountsAndResultsByNumber) {
  const struct {
    std::u16string_view name, alias;
    long parameters;
    bool result;
  } methods[] = {
      {u"GetVersion", u"ПолучитьНомерВерсии", 0, true},
      {u"GetDescription", u"ПолучитьОписание", 7, true},
      {u"GetLastError", u"ПолучитьОшибку", 1, true},
      {u"GetParameters", u"ПолучитьПараметры", 1, true},
      {u"SetParameter", u"УстановитьПараметр", 2, true},
      {u"Open", u"Подключить", 1, true},
      {u"Close", u"Отключить", 1, true},
      {u"DeviceTest", u"ТестУстройства", 2, true},
      {u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1, true},
      {u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1, true},
      {u"GenerateExternalEvent", u"СгенерироватьВнешнееСобытие", 2, false},
      {u"GenerateExternalEventActivateWindow", u"СгенерироватьВнешнееСобытиеСАктивациейОкна", 2,
       false},
  };
  ASSERT_EQ(std::size(methods), static_cast<std::size_t>(kMethodCount));
  for (long number = 0; number < kMethodCount; ++number) {
    const auto& method = methods[number];
    EXPECT_EQ(FindMethod(method.name), number);
    EXPECT_EQ(FindMethod(method.alias), number);
    EXPECT_EQ(MethodName(number, 0), method.name);
    EXPECT_EQ(MethodName(number, 1), method.alias);
    EXPECT_EQ(MethodName(number, 2), nullptr);
    EXPECT_EQ(MethodParameterCount(number), method.parameters);
    EXPECT_EQ(MethodReturnsValue(number), method.result);
  }
  for (const std::u16string_view unknown : {u"open", u"GetVersion ", u"", u"Generate"})
    EXPECT_EQ(FindMethod(unknown), -1);
  for (const long outside : {-1L, 12L}) {
    EXPECT_EQ(MethodName(outside, 0), nullptr);
    EXPECT_EQ(MethodParameterCount(outside), 0);
    EXPECT_FALSE(MethodReturnsValue(outside));
  }
}

}  // namespace
