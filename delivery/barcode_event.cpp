#include "delivery/barcode_event.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "abi/diagnostics.h"
#include "abi/host_text.h"
#include "text/base64.h"

namespace wedgesim {

namespace {

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

// The host's event method's calls, numbered in the diagnostics: a host that
// reads them pairs each line with the event it received, one for one, even
// when a line was lost.
std::atomic<unsigned long> eventCalls{0};

}  // namespace

std::u16string ComposeBarcodeData(std::u16string_view text, bool base64) {
  if (!base64) return std::u16string(text);
  std::string narrow(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) narrow[i] = static_cast<char>(text[i] & 0xFF);
  const std::vector<std::uint8_t> bytes = text::DecodeBase64(narrow);
  return std::u16string(bytes.begin(), bytes.end());
}

PostResult PostBarcodeEvent(IAddInDefBase* connection, const HostChar* data,
                            const char* origin) noexcept {
  if (connection == nullptr) {
    Diagnostic("scan from %s not sent: no device is open", origin);
    return PostResult::NoDevice;
  }
  const unsigned long call = eventCalls.fetch_add(1) + 1;
  try {
    // Both views end in their literal's terminator.
    connection->SendExternalEvent(kDeviceName.data(), kBarcodeEventName.data(), data);
  } catch (...) {
    Diagnostic(
        "scan from %s: the host's SendExternalEvent threw; the event was dropped (event call %lu)",
        origin, call);
    return PostResult::Failed;
  }
  Diagnostic("scan posted: %s, %d characters, event call %lu", origin, HostTextLength(data), call);
  return PostResult::Posted;
}

bool SendBarcodeEvent(IAddInDefBase* connection, const HostChar* text, bool base64,
                      const char* origin) {
  if (!base64) {
    // The data is the text itself, copied: the host may change its record
    // while its event handler runs.
    const HostTextCopy data(text);
    PostBarcodeEvent(connection, data.get(), origin);
    return true;
  }
  const std::u16string data = ComposeBarcodeData(CopyHostText(text), true);
  PostBarcodeEvent(connection, data.c_str(), origin);
  return true;
}

}  // namespace wedgesim
