// The driver's language-dependent texts, the language in force, and the last
// error text.
#pragma once

#include <string>

namespace wedgesim {

struct DriverTexts {
  const char16_t* DriverName;
  const char16_t* DriverDescription;
  const char16_t* ActionsXml;   // built at load time from the element table
  const char16_t* SettingsXml;  // template with three placeholders, built at load time
  const char16_t* EmptyText;
  const char16_t* DeviceTestText;
  const char16_t* StringExpectedText;
  const char16_t* BooleanExpectedText;
  const char16_t* CancelledText;
};

// Fills the two XML fields of both records. Called once by the load-time initialiser.
void InitializeDriverTexts();

const DriverTexts& EnglishDriverTexts();
const DriverTexts& RussianDriverTexts();

// The record in force: English from load, Russian after the host announces a
// Russian locale or interface language; the switch is one-way.
const DriverTexts& CurrentDriverTexts();
void SwitchToRussianTexts();

// The text GetLastError reports; written only by a cancelled hotkey capture.
std::u16string LastErrorText();
void SetLastErrorText(const std::u16string& text);

// Result codes of the driver.
inline constexpr int kLastErrorResultCode = 998;
inline constexpr unsigned short kDriverErrorCode = 1000;

}  // namespace wedgesim
