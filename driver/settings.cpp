#include "driver/settings.h"

#include <atomic>
#include <mutex>

#include "abi/host_text.h"
#include "abi/resident.h"
#include "delivery/barcode_event.h"
#include "delivery/host_window.h"
#include "driver/driver_texts.h"
#include "driver/hotkey_profile.h"

namespace wedgesim {

namespace {

struct BarcodeSetting {
  std::u16string text;
  bool base64 = false;
};

struct DriverSettings {
  BarcodeSetting
      codes[2];  // TestCode with TestCodeDecodeBase64, TestCode2 with TestCode2DecodeBase64
  std::shared_ptr<const ComposedBarcode> composed[2];
};

// Written on the host's thread, read by the device thread: every access
// copies under this lock, and each change moves the generation on. Writers
// take turns (a barcode and its flag change together), composing outside it.
std::mutex settingsMutex;
std::mutex writerMutex;
std::atomic<std::uint64_t> generation{1};

Resident<DriverSettings> driverSettings;
DriverSettings& Settings() { return *driverSettings; }

std::shared_ptr<const ComposedBarcode> Compose(const BarcodeSetting& setting) {
  auto composed = std::make_shared<ComposedBarcode>();
  composed->hasText = !setting.text.empty();
  if (composed->hasText) composed->data = ComposeBarcodeData(setting.text, setting.base64);
  return composed;
}

void ReplacePlaceholder(std::u16string& text, std::u16string_view placeholder,
                        const std::u16string& value) {
  const std::size_t at = text.find(placeholder);
  if (at != std::u16string::npos) text.replace(at, placeholder.size(), value);
}

}  // namespace

void InitializeDriverSettings() {
  DriverSettings& settings = Settings();
  std::lock_guard lock(settingsMutex);
  for (int i = 0; i < 2; ++i)
    if (!settings.composed[i]) settings.composed[i] = Compose(settings.codes[i]);
}

bool SetParameter(const std::u16string& name, const HostVariant& value) {
  const bool isText = value.type == kVariantString;
  const bool isFlag = value.type == kVariantBool;
  int slot = -1;
  if (name == u"TestCode" || name == u"TestCodeDecodeBase64") slot = 0;
  if (name == u"TestCode2" || name == u"TestCode2DecodeBase64") slot = 1;
  const bool text = name == u"TestCode" || name == u"TestCode2";
  if (slot < 0 || (text && !isText) || (!text && !isFlag)) return true;

  // Composed outside the readers' lock; only the swap happens under it.
  std::lock_guard writer(writerMutex);
  BarcodeSetting changed = Settings().codes[slot];
  if (text)
    TextOf(value, &changed.text);
  else
    changed.base64 = BoolOf(value);
  std::shared_ptr<const ComposedBarcode> composed = Compose(changed);
  {
    std::lock_guard lock(settingsMutex);
    DriverSettings& settings = Settings();
    settings.codes[slot] = std::move(changed);
    settings.composed[slot] = std::move(composed);
    generation.fetch_add(1, std::memory_order_release);
  }
  return true;
}

const ComposedBarcode& BarcodeReader::Current(int slot) {
  const std::uint64_t now = generation.load(std::memory_order_acquire);
  if (now != generation_) {
    std::lock_guard lock(settingsMutex);
    codes_[0] = Settings().composed[0];
    codes_[1] = Settings().composed[1];
    generation_ = generation.load(std::memory_order_relaxed);
  }
  static const ComposedBarcode nothing;  // a load that could not compose them sends nothing
  const auto& code = codes_[slot == 2 ? 1 : 0];
  return code ? *code : nothing;
}

std::u16string BuildSettingsXml(IAddInDefBase* connection) {
  const HotkeyTextPair hotkeys = LoadHotkeyTexts(connection);
  std::u16string xml = CurrentDriverTexts().SettingsXml;
  ReplacePlaceholder(xml, u"Hotkey1DefValue", hotkeys.first);
  ReplacePlaceholder(xml, u"Hotkey2DefValue", hotkeys.second);
  ReplacePlaceholder(xml, u"CurrentPidDefValue", CurrentPidText());
  return xml;
}

}  // namespace wedgesim
