// Conversion between the component's wide text (32-bit characters) and host
// text (16-bit units), and text results placed in host-owned memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "abi/host_abi.h"

namespace wedgesim {

// Copies `count` characters of `source` into *destination, each narrowed to its
// low 16 bits. A count of 0 means length + 1 (terminator included). When
// *destination is null, an array of `count` units is allocated with new[] and
// belongs to the caller. Returns the count used.
std::uint32_t ToHostText(HostChar** destination, const wchar_t* source, std::uint32_t count);

// The same in the other direction: each unit is zero-extended.
std::uint32_t FromHostText(wchar_t** destination, const HostChar* source, std::uint32_t count);

// Units before the first 0 unit.
std::int32_t HostTextLength(const HostChar* text);

// A host-owned copy of `text`, or null when there is no manager or it refuses.
// The length (terminator not counted) is stored first, before anything can fail.
HostChar* AllocateHostText(HostMemoryManager* manager, const wchar_t* text,
                           std::uint32_t* length = nullptr);

// Makes `record` a string value holding a host-owned copy of `text`.
HostVariant* SetStringVariant(HostVariant* record, HostMemoryManager* manager, const wchar_t* text);

// A temporary host-text copy for one call to the host, released by its owner.
using TemporaryHostText = std::unique_ptr<HostChar[]>;
TemporaryHostText ToTemporaryHostText(const wchar_t* text);

// Owning conveniences over the two converters.
std::wstring WideFromHost(const HostChar* text);
std::u16string HostFromWide(const std::wstring& text);

// A boolean the host passed: any non-zero byte is true. (Read as a byte: a
// C++ bool holding another value than 0 or 1 would be undefined.)
bool BoolOf(const HostVariant& record);

// Boolean and integer results, written the way the host reads them.
void SetBoolVariant(HostVariant* record, bool value);
void SetInt32Variant(HostVariant* record, std::int32_t value);

}  // namespace wedgesim
