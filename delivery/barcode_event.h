// Barcode events: composing the data and posting it to the host.
#pragma once

#include <string>
#include <string_view>

#include "abi/host_abi.h"

namespace wedgesim {

inline constexpr std::u16string_view kDeviceName = u"ZovedavUzuruvOriv";  // also the event source
inline constexpr std::u16string_view kBarcodeEventName = u"Штрихкод";

// The event data for a barcode: the text itself, or, with the Base64 flag,
// its low 8 bits per unit decoded (leniently) and each byte widened to
// U+0000..U+00FF.
std::u16string ComposeBarcodeData(std::u16string_view text, bool base64);

enum class PostResult { Posted, NoDevice, Failed };

// Posts a barcode event whose data is host text (NUL-terminated) through
// `connection`: the source and event name are the barcode event's. `origin`
// names where the scan came from, for the diagnostics. Posted once the host's
// SendExternalEvent has returned; Failed when it threw.
PostResult PostBarcodeEvent(IAddInDefBase* connection, const HostChar* data,
                            const char* origin) noexcept;

// The body of GenerateExternalEvent: the barcode in host text, decoded with
// the Base64 flag, posted through `connection` (nothing when it is null).
// Always true.
bool SendBarcodeEvent(IAddInDefBase* connection, const HostChar* text, bool base64,
                      const char* origin);

}  // namespace wedgesim
