// The driver's language-dependent texts, the language in force, and the last
// error text.
#pragma once

#include <string>

namespace wedgesim {

struct DriverTexts {
  const wchar_t* DriverName;
  const wchar_t* DriverDescription;
  const wchar_t* ActionsXml;   // built at load time from the element table
  const wchar_t* SettingsXml;  // template with three placeholders, built at load time
  const wchar_t* EmptyText;
  const wchar_t* DeviceTestText;
  const wchar_t* StringExpectedText;
  const wchar_t* BooleanExpectedText;
  const wchar_t* CancelledText;
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
std::wstring LastErrorText();
void SetLastErrorText(const std::wstring& text);

// Result codes of the driver.
inline constexpr int kLastErrorResultCode = 998;
inline constexpr unsigned short kDriverErrorCode = 1000;

}  // namespace wedgesim
