#include "delivery/barcode_event.h"

#include "abi/diagnostics.h"
#include "abi/host_text.h"
#include "delivery/base64.h"

std::atomic<IAddInDefBase*> ActiveHostConnection{nullptr};

std::wstring ComposeBarcodeData(const std::wstring& text, bool base64) {
  if (!base64) return text;
  std::string narrow(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) narrow[i] = static_cast<char>(text[i] & 0xFF);
  const std::vector<std::uint8_t> bytes = DecodeBase64(narrow);
  return std::wstring(bytes.begin(), bytes.end());
}

void PostExternalEvent(IAddInDefBase* connection, const wchar_t* source, const wchar_t* eventName,
                       const wchar_t* data) noexcept {
  if (connection == nullptr) return;
  try {
    const TemporaryHostText hostSource = ToTemporaryHostText(source);
    const TemporaryHostText hostName = ToTemporaryHostText(eventName);
    const TemporaryHostText hostData = ToTemporaryHostText(data);
    connection->SendExternalEvent(hostSource.get(), hostName.get(), hostData.get());
  } catch (...) {
    Diagnostic("posting an external event failed; the event was dropped");
  }
}

bool SendBarcodeEvent(const wchar_t* text, bool base64) {
  const std::wstring data = ComposeBarcodeData(text, base64);
  PostExternalEvent(ActiveHostConnection.load(), kDeviceName, kBarcodeEventName, data.c_str());
  return true;
}
