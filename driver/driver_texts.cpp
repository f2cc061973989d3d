#include "driver/driver_texts.h"

#include "abi/resident.h"

#include <atomic>
#include <mutex>

namespace wedgesim {

namespace {

// One element of a one-line XML document: the number of tabs after the single
// blank that precedes it, and its English and Russian forms.
struct XmlElement {
  int tabs;
  const wchar_t* english;
  const wchar_t* russian;
};

constexpr const wchar_t* kXmlDeclaration = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

constexpr XmlElement kActionsElements[] = {
    {7, L"<Actions>", L"<Actions>"},
    {8, L"<Action Name = \"SetHotkey1\" Caption = \"Set hotkey 1\" />",
     L"<Action Name = \"SetHotkey1\" Caption = \"Назначить горячую клавишу 1\" />"},
    {8, L"<Action Name = \"SetHotkey2\" Caption = \"Set hotkey 2\" />",
     L"<Action Name = \"SetHotkey2\" Caption = \"Назначить горячую клавишу 2\" />"},
    {7, L"</Actions>", L"</Actions>"},
};

constexpr XmlElement kSettingsElements[] = {
    {10, L"<Settings>", L"<Settings>"},
    {11, L"<Page Caption = \"Parameters\">", L"<Page Caption = \"Параметры\">"},
    {12, L"<Group Caption = \"Test barcode 1\">", L"<Group Caption = \"Тестовый штрихкод 1\">"},
    {13,
     L"<Parameter Name = \"TestCode\" Caption = \"Barcode\" TypeValue = \"String\" "
     L"Description=\"Test barcode generated on hotkey\"/>",
     L"<Parameter Name = \"TestCode\" Caption = \"Штрихкод\" TypeValue = \"String\" "
     L"Description=\"Тестовый штрихкод, отправляемый драйвером при нажатии горячей клавиши\"/>"},
    {13,
     L"<Parameter Name = \"TestCodeDecodeBase64\" Caption = \"Base64\" TypeValue = \"Boolean\" "
     L"Description=\"Test barcode is base64 encoded\"/>",
     L"<Parameter Name = \"TestCodeDecodeBase64\" Caption = \"Base64\" TypeValue = \"Boolean\" "
     L"Description=\"Тестовый штрихкод задан в формате base64\"/>"},
    {13,
     L"<Parameter Name = \"HotKey1\" Caption = \"Hotkey\" TypeValue = \"String\" ReadOnly=\"true\" "
     L"DefaultValue=\"Hotkey1DefValue\" Description=\"Hotkey for barcode 1\"/>",
     L"<Parameter Name = \"HotKey1\" Caption = \"Горячая клавиша\" TypeValue = \"String\" "
     L"ReadOnly=\"true\" DefaultValue=\"Hotkey1DefValue\" "
     L"Description=\"Горячая клавиша для генерации штрихкода\"/>"},
    {12, L"</Group>", L"</Group>"},
    {12, L"<Group Caption = \"Test barcode 2\">", L"<Group Caption = \"Тестовый штрихкод 2\">"},
    {13,
     L"<Parameter Name = \"TestCode2\" Caption = \"Barcode\" TypeValue = \"String\" "
     L"Description=\"Test barcode generated on hotkey\"/>",
     L"<Parameter Name = \"TestCode2\" Caption = \"Штрихкод\" TypeValue = \"String\" "
     L"Description=\"Тестовый штрихкод, отправляемый драйвером при нажатии горячей клавиши\"/>"},
    {13,
     L"<Parameter Name = \"TestCode2DecodeBase64\" Caption = \"Base64\" TypeValue = \"Boolean\" "
     L"Description=\"Test barcode is base64 encoded\"/>",
     L"<Parameter Name = \"TestCode2DecodeBase64\" Caption = \"Base64\" TypeValue = \"Boolean\" "
     L"Description=\"Тестовый штрихкод в формате base64\"/>"},
    {13,
     L"<Parameter Name = \"HotKey2\" Caption = \"Hotkey\" TypeValue = \"String\" ReadOnly=\"true\" "
     L"DefaultValue=\"Hotkey2DefValue\" Description=\"Hotkey for barcode 2\"/>",
     L"<Parameter Name = \"HotKey2\" Caption = \"Горячая клавиша\" TypeValue = \"String\" "
     L"ReadOnly=\"true\" DefaultValue=\"Hotkey2DefValue\" "
     L"Description=\"Горячая клавиша для генерации штрихкода\"/>"},
    {12, L"</Group>", L"</Group>"},
    {12, L"<Group Caption = \"Application information\">",
     L"<Group Caption = \"Служебная информация\">"},
    {13,
     L"<Parameter Name = \"CurrentPid\" Caption = \"Current PID\" TypeValue = \"String\" "
     L"ReadOnly=\"true\" DefaultValue=\"CurrentPidDefValue\" "
     L"Description=\"Current process ID (for automated testing)\"/>",
     L"<Parameter Name = \"CurrentPid\" Caption = \"Текущий PID\" TypeValue = \"String\" "
     L"ReadOnly=\"true\" DefaultValue=\"CurrentPidDefValue\" "
     L"Description=\"PID текущего процесса приложения (для автоматизированного тестирования)\"/>"},
    {12, L"</Group>", L"</Group>"},
    {11, L"</Page>", L"</Page>"},
    {10, L"</Settings>", L"</Settings>"},
};

template <std::size_t N>
std::wstring BuildXml(const XmlElement (&elements)[N], bool russian) {
  std::wstring xml = kXmlDeclaration;
  for (const XmlElement& element : elements) {
    xml += L' ';
    xml.append(static_cast<std::size_t>(element.tabs), L'\t');
    xml += russian ? element.russian : element.english;
  }
  return xml;
}

DriverTexts english{
    L"RivezovEzurodeDudo",
    L"Barcode scanner emulator",
    nullptr,
    nullptr,
    L"",
    L"Driver connected!",
    L"Type mismatch. String expected for parameter 1",
    L"Type mismatch. Boolean expected for parameter 2",
    L"Operation cancelled",
};

DriverTexts russian{
    L"VezizuVizovUzirEvarazez",
    L"Эмулятор сканера штрихкода",
    nullptr,
    nullptr,
    L"",
    L"Драйвер подключен!",
    L"Несоответствие типов. Параметр №1 должен иметь тип Строка",
    L"Несоответствие типов. Параметр №2 должен иметь тип Булево",
    L"Операция отменена",
};

std::atomic<const DriverTexts*> current{&english};

// The four documents, built once; the records point into them.
struct XmlDocuments {
  XmlDocuments()
      : englishActions(BuildXml(kActionsElements, false)),
        russianActions(BuildXml(kActionsElements, true)),
        englishSettings(BuildXml(kSettingsElements, false)),
        russianSettings(BuildXml(kSettingsElements, true)) {
    english.ActionsXml = englishActions.c_str();
    russian.ActionsXml = russianActions.c_str();
    english.SettingsXml = englishSettings.c_str();
    russian.SettingsXml = russianSettings.c_str();
  }
  std::wstring englishActions, russianActions, englishSettings, russianSettings;
};
Resident<XmlDocuments> documents;

std::mutex lastErrorMutex;
Resident<std::wstring> lastError;

}  // namespace

void InitializeDriverTexts() {
  // Every reader passes through here, so a load that failed part-way is
  // completed by the first use instead of leaving nulls.
  documents.get();
  lastError.get();
}

const DriverTexts& EnglishDriverTexts() {
  InitializeDriverTexts();
  return english;
}
const DriverTexts& RussianDriverTexts() {
  InitializeDriverTexts();
  return russian;
}
const DriverTexts& CurrentDriverTexts() {
  InitializeDriverTexts();
  return *current.load(std::memory_order_acquire);
}
void SwitchToRussianTexts() { current.store(&russian, std::memory_order_release); }

std::wstring LastErrorText() {
  std::lock_guard lock(lastErrorMutex);
  return *lastError;
}

void SetLastErrorText(const std::wstring& text) {
  std::wstring copy = text;
  std::lock_guard lock(lastErrorMutex);
  lastError->swap(copy);
}

}  // namespace wedgesim
