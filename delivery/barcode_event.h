// Barcode events: composing the data and posting it to the host.
#pragma once

#include <atomic>
#include <string>

#include "abi/host_abi.h"

namespace wedgesim {

inline constexpr const wchar_t* kDeviceName = L"ZovedavUzuruvOriv";  // also the event source
inline constexpr const wchar_t* kBarcodeEventName = L"Штрихкод";

// The host connection of the open device: set by Open, cleared by Close.
extern std::atomic<IAddInDefBase*> ActiveHostConnection;

// The event data for a barcode: the text itself, or, with the Base64 flag,
// its low 8 bits per character decoded and each byte widened to U+0000..U+00FF.
std::wstring ComposeBarcodeData(const std::wstring& text, bool base64);

enum class PostResult { Posted, NoDevice, Failed };

// Posts a barcode event whose data is host text (NUL-terminated) through
// `connection`: the source and event name are the barcode event's, already
// in host text. `origin` names where the scan came from, for the diagnostics.
// Posted once the host's SendExternalEvent has returned; Failed when it threw.
PostResult PostBarcodeEvent(IAddInDefBase* connection, const HostChar* data,
                            const char* origin) noexcept;

// The body of GenerateExternalEvent: the barcode in host text, decoded with
// the Base64 flag, posted through `connection` (nothing when it is null).
// Always true.
bool SendBarcodeEvent(IAddInDefBase* connection, const HostChar* text, bool base64,
                      const char* origin);

}  // namespace wedgesim
