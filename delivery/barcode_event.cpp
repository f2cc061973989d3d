#include "delivery/barcode_event.h"

#include <algorithm>
#include <memory>

#include "abi/diagnostics.h"
#include "abi/host_text.h"
#include "delivery/base64.h"

namespace wedgesim {

std::atomic<IAddInDefBase*> ActiveHostConnection{nullptr};

namespace {

// The source and event name of every barcode event, in host text once.
constexpr char16_t kSourceText[] = u"ZovedavUzuruvOriv";
constexpr char16_t kEventNameText[] = u"Штрихкод";

const HostChar* AsHost(const char16_t* text) { return reinterpret_cast<const HostChar*>(text); }

// A copy of host text that lives on the stack when it is short, so most
// events are posted without allocating.
class HostTextCopy {
 public:
  explicit HostTextCopy(const HostChar* text) {
    const auto length = static_cast<std::size_t>(HostTextLength(text));
    HostChar* target = local_;
    if (length >= std::size(local_)) {
      heap_ = std::make_unique<HostChar[]>(length + 1);
      target = heap_.get();
    }
    std::copy(text, text + length + 1, target);
    text_ = target;
  }
  const HostChar* get() const { return text_; }

 private:
  HostChar local_[256];
  std::unique_ptr<HostChar[]> heap_;
  const HostChar* text_;
};

}  // namespace

std::wstring ComposeBarcodeData(const std::wstring& text, bool base64) {
  if (!base64) return text;
  std::string narrow(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) narrow[i] = static_cast<char>(text[i] & 0xFF);
  const std::vector<std::uint8_t> bytes = DecodeBase64(narrow);
  return std::wstring(bytes.begin(), bytes.end());
}

PostResult PostBarcodeEvent(IAddInDefBase* connection, const HostChar* data,
                            const char* origin) noexcept {
  if (connection == nullptr) {
    Diagnostic("scan from %s not sent: no device is open", origin);
    return PostResult::NoDevice;
  }
  try {
    connection->SendExternalEvent(AsHost(kSourceText), AsHost(kEventNameText), data);
  } catch (...) {
    Diagnostic("scan from %s: the host's SendExternalEvent threw; the event was dropped", origin);
    return PostResult::Failed;
  }
  Diagnostic("scan posted: %s, %d characters", origin, HostTextLength(data));
  return PostResult::Posted;
}

bool SendBarcodeEvent(IAddInDefBase* connection, const HostChar* text, bool base64,
                      const char* origin) {
  if (!base64) {
    // Host text to wide text and back is the identity (each unit is widened,
    // then narrowed again), so the data is the text itself, copied.
    const HostTextCopy data(text);
    PostBarcodeEvent(connection, data.get(), origin);
    return true;
  }
  const std::u16string data = HostFromWide(ComposeBarcodeData(WideFromHost(text), true));
  PostBarcodeEvent(connection, reinterpret_cast<const HostChar*>(data.c_str()), origin);
  return true;
}

}  // namespace wedgesim
