#include "abi/host_text.h"

#include "abi/narrow.h"

#include <cstring>
#include <cwchar>

namespace wedgesim {

std::uint32_t ToHostText(HostChar** destination, const wchar_t* source, std::uint32_t count) {
  if (count == 0) count = Narrow<std::uint32_t>(std::wcslen(source)) + 1;
  if (*destination == nullptr) *destination = new HostChar[count];
  HostChar* out = *destination;
  for (std::uint32_t i = 0; i < count; ++i) out[i] = static_cast<HostChar>(source[i] & 0xFFFF);
  return count;
}

std::uint32_t FromHostText(wchar_t** destination, const HostChar* source, std::uint32_t count) {
  if (count == 0) count = static_cast<std::uint32_t>(HostTextLength(source)) + 1;
  if (*destination == nullptr) *destination = new wchar_t[count];
  wchar_t* out = *destination;
  for (std::uint32_t i = 0; i < count; ++i) out[i] = static_cast<wchar_t>(source[i]);
  return count;
}

std::int32_t HostTextLength(const HostChar* text) {
  std::int32_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

HostChar* AllocateHostText(HostMemoryManager* manager, const wchar_t* text, std::uint32_t* length) {
  const auto measured = Narrow<std::uint32_t>(std::wcslen(text));
  if (length != nullptr) *length = measured;
  if (manager == nullptr) return nullptr;
  void* block = nullptr;
  if (!manager->Allocate(&block, 2UL * (measured + 1))) return nullptr;
  auto* hostText = static_cast<HostChar*>(block);
  if (hostText != nullptr) ToHostText(&hostText, text, measured + 1);
  return hostText;
}

HostVariant* SetStringVariant(HostVariant* record, HostMemoryManager* manager,
                              const wchar_t* text) {
  record->type = kVariantString;
  record->stringValue = AllocateHostText(manager, text, &record->stringLength);
  return record;
}

TemporaryHostText ToTemporaryHostText(const wchar_t* text) {
  HostChar* copy = nullptr;
  ToHostText(&copy, text, 0);
  return TemporaryHostText(copy);
}

std::wstring WideFromHost(const HostChar* text) {
  if (text == nullptr) return {};
  std::wstring wide(static_cast<std::size_t>(HostTextLength(text)), L'\0');
  for (std::size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<wchar_t>(text[i]);
  return wide;
}

std::u16string HostFromWide(const std::wstring& text) {
  std::u16string host(text.size(), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) host[i] = static_cast<char16_t>(text[i] & 0xFFFF);
  return host;
}

bool BoolOf(const HostVariant& record) {
  std::uint8_t byte = 0;
  std::memcpy(&byte, &record, 1);
  return byte != 0;
}

void SetBoolVariant(HostVariant* record, bool value) {
  record->type = kVariantBool;
  record->boolValue = value;
}

void SetInt32Variant(HostVariant* record, std::int32_t value) {
  record->type = kVariantInt32;
  record->intValue = value;
}

}  // namespace wedgesim
