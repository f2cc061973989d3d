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
  const char16_t* english;
  const char16_t* russian;
};

constexpr const char16_t* kXmlDeclaration = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

constexpr XmlElement kActionsElements[] = {
    {7, u"<Actions>", u"<Actions>"},
    {8, u"<Action Name = \"SetHotkey1\" Caption = \"Set hotkey 1\" />",
     u"<Action Name = \"SetHotkey1\" Caption = \"Назначить горячую клавишу 1\" />"},
    {8, u"<Action Name = \"SetHotkey2\" Caption = \"Set hotkey 2\" />",
     u"<Action Name = \"SetHotkey2\" Caption = \"Назначить горячую клавишу 2\" />"},
    {7, u"</Actions>", u"</Actions>"},
};

constexpr XmlElement kSettingsElements[] = {
    {10, u"<Settings>", u"<Settings>"},
    {11, u"<Page Caption = \"Parameters\">", u"<Page Caption = \"Параметры\">"},
    {12, u"<Group Caption = \"Test barcode 1\">", u"<Group Caption = \"Тестовый штрихкод 1\">"},
    {13,
     u"<Parameter Name = \"TestCode\" Caption = \"Barcode\" TypeValue = \"String\" "
     u"Description=\"Test barcode generated on hotkey\"/>",
     u"<Parameter Name = \"TestCode\" Caption = \"Штрихкод\" TypeValue = \"String\" "
     u"Description=\"Тестовый штрихкод, отправляемый драйвером при нажатии горячей клавиши\"/>"},
    {13,
     u"<Parameter Name = \"TestCodeDecodeBase64\" Caption = \"Base64\" TypeValue = \"Boolean\" "
     u"Description=\"Test barcode is base64 encoded\"/>",
     u"<Parameter Name = \"TestCodeDecodeBase64\" Caption = \"Base64\" TypeValue = \"Boolean\" "
     u"Description=\"Тестовый штрихкод задан в формате base64\"/>"},
    {13,
     u"<Parameter Name = \"HotKey1\" Caption = \"Hotkey\" TypeValue = \"String\" ReadOnly=\"true\" "
     u"DefaultValue=\"Hotkey1DefValue\" Description=\"Hotkey for barcode 1\"/>",
     u"<Parameter Name = \"HotKey1\" Caption = \"Горячая клавиша\" TypeValue = \"String\" "
     u"ReadOnly=\"true\" DefaultValue=\"Hotkey1DefValue\" "
     u"Description=\"Горячая клавиша для генерации штрихкода\"/>"},
    {12, u"</Group>", u"</Group>"},
    {12, u"<Group Caption = \"Test barcode 2\">", u"<Group Caption = \"Тестовый штрихкод 2\">"},
    {13,
     u"<Parameter Name = \"TestCode2\" Caption = \"Barcode\" TypeValue = \"String\" "
     u"Description=\"Test barcode generated on hotkey\"/>",
     u"<Parameter Name = \"TestCode2\" Caption = \"Штрихкод\" TypeValue = \"String\" "
     u"Description=\"Тестовый штрихкод, отправляемый драйвером при нажатии горячей клавиши\"/>"},
    {13,
     u"<Parameter Name = \"TestCode2DecodeBase64\" Caption = \"Base64\" TypeValue = \"Boolean\" "
     u"Description=\"Test barcode is base64 encoded\"/>",
     u"<Parameter Name = \"TestCode2DecodeBase64\" Caption = \"Base64\" TypeValue = \"Boolean\" "
     u"Description=\"Тестовый штрихкод в формате base64\"/>"},
    {13,
     u"<Parameter Name = \"HotKey2\" Caption = \"Hotkey\" TypeValue = \"String\" ReadOnly=\"true\" "
     u"DefaultValue=\"Hotkey2DefValue\" Description=\"Hotkey for barcode 2\"/>",
     u"<Parameter Name = \"HotKey2\" Caption = \"Горячая клавиша\" TypeValue = \"String\" "
     u"ReadOnly=\"true\" DefaultValue=\"Hotkey2DefValue\" "
     u"Description=\"Горячая клавиша для генерации штрихкода\"/>"},
    {12, u"</Group>", u"</Group>"},
    {12, u"<Group Caption = \"Application information\">",
     u"<Group Caption = \"Служебная информация\">"},
    {13,
     u"<Parameter Name = \"CurrentPid\" Caption = \"Current PID\" TypeValue = \"String\" "
     u"ReadOnly=\"true\" DefaultValue=\"CurrentPidDefValue\" "
     u"Description=\"Current process ID (for automated testing)\"/>",
     u"<Parameter Name = \"CurrentPid\" Caption = \"Текущий PID\" TypeValue = \"String\" "
     u"ReadOnly=\"true\" DefaultValue=\"CurrentPidDefValue\" "
     u"Description=\"PID текущего процесса приложения (для автоматизированного тестирования)\"/>"},
    {12, u"</Group>", u"</Group>"},
    {11, u"</Page>", u"</Page>"},
    {10, u"</Settings>", u"</Settings>"},
};

template <std::size_t N>
std::u16string BuildXml(const XmlElement (&elements)[N], bool russian) {
  std::u16string xml = kXmlDeclaration;
  for (const XmlElement& element : elements) {
    xml += u' ';
    xml.append(static_cast<std::size_t>(element.tabs), u'\t');
    xml += russian ? element.russian : element.english;
  }
  return xml;
}

DriverTexts english{
    u"RivezovEzurodeDudo",
    u"Barcode scanner emulator",
    nullptr,
    nullptr,
    u"",
    u"Driver connected!",
    u"Type mismatch. String expected for parameter 1",
    u"Type mismatch. Boolean expected for parameter 2",
    u"Operation cancelled",
};

DriverTexts russian{
    u"VezizuVizovUzirEvarazez",
    u"Эмулятор сканера штрихкода",
    nullptr,
    nullptr,
    u"",
    u"Драйвер подключен!",
    u"Несоответствие типов. Параметр №1 должен иметь тип Строка",
    u"Несоответствие типов. Параметр №2 должен иметь тип Булево",
    u"Операция отменена",
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
  std::u16string englishActions, russianActions, englishSettings, russianSettings;
};
Resident<XmlDocuments> documents;

std::mutex lastErrorMutex;
Resident<std::u16string> lastError;

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

std::u16string LastErrorText() {
  std::lock_guard lock(lastErrorMutex);
  return *lastError;
}

void SetLastErrorText(const std::u16string& text) {
  std::u16string copy = text;
  std::lock_guard lock(lastErrorMutex);
  lastError->swap(copy);
}

}  // namespace wedgesim
