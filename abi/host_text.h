// Host text (NUL-terminated UTF-16, the host's HostChar) as the add-in keeps
// and returns it: copies in and out of host records, and text results placed
// in host-owned memory. The add-in's own texts are UTF-16 too, so nothing is
// narrowed or widened on the way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "abi/host_abi.h"

namespace wedgesim {

// Copies `count` units of `source` into *destination. A count of 0 means
// length + 1 (terminator included). When *destination is null, an array of
// `count` units is allocated with new[] and belongs to the caller. Returns the
// count used.
std::uint32_t ToHostText(HostChar** destination, const char16_t* source, std::uint32_t count);

// Units before the first 0 unit.
std::int32_t HostTextLength(const HostChar* text);

// An owned copy of host text the host passed; null gives the empty text.
std::u16string CopyHostText(const HostChar* text);

// A host-owned copy of `text`, or null when there is no manager or it refuses.
// The length (terminator not counted) is stored first, before anything can fail.
HostChar* AllocateHostText(HostMemoryManager* manager, std::u16string_view text,
                           std::uint32_t* length = nullptr);

// Makes `record` a string value holding a host-owned copy of `text`.
HostVariant* SetStringVariant(HostVariant* record, HostMemoryManager* manager,
                              std::u16string_view text);

// A boolean the host passed: any non-zero byte is true. (Read as a byte: a
// C++ bool holding another value than 0 or 1 would be undefined.)
bool BoolOf(const HostVariant& record);

// The 32-bit integer a record holds, read only when its type says it is one.
bool Int32Of(const HostVariant& record, std::int32_t* value);

// The text a string record holds; false (and *value untouched) for a record
// of any other type.
bool TextOf(const HostVariant& record, std::u16string* value);

// Boolean and integer results, written the way the host reads them.
void SetBoolVariant(HostVariant* record, bool value);
void SetInt32Variant(HostVariant* record, std::int32_t value);

}  // namespace wedgesim
