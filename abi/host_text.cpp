#include "abi/host_text.h"

#include <algorithm>
#include <cstring>

#include "abi/narrow.h"

namespace wedgesim {

std::uint32_t ToHostText(HostChar** destination, const char16_t* source, std::uint32_t count) {
  if (count == 0) count = Narrow<std::uint32_t>(std::char_traits<char16_t>::length(source)) + 1;
  if (*destination == nullptr) *destination = new HostChar[count];
  std::copy(source, source + count, *destination);
  return count;
}

std::int32_t HostTextLength(const HostChar* text) {
  std::int32_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

std::u16string CopyHostText(const HostChar* text) {
  if (text == nullptr) return {};
  return std::u16string(text, static_cast<std::size_t>(HostTextLength(text)));
}

HostChar* AllocateHostText(HostMemoryManager* manager, std::u16string_view text,
                           std::uint32_t* length) {
  const auto measured = Narrow<std::uint32_t>(text.size());
  if (length != nullptr) *length = measured;
  if (manager == nullptr) return nullptr;
  void* block = nullptr;
  if (!manager->Allocate(&block, 2UL * (measured + 1))) return nullptr;
  auto* hostText = static_cast<HostChar*>(block);
  if (hostText != nullptr) {
    std::copy(text.begin(), text.end(), hostText);
    hostText[measured] = 0;
  }
  return hostText;
}

HostVariant* SetStringVariant(HostVariant* record, HostMemoryManager* manager,
                              std::u16string_view text) {
  record->type = kVariantString;
  record->stringValue = AllocateHostText(manager, text, &record->stringLength);
  return record;
}

bool BoolOf(const HostVariant& record) {
  std::uint8_t byte = 0;
  std::memcpy(&byte, &record, 1);
  return byte != 0;
}

bool Int32Of(const HostVariant& record, std::int32_t* value) {
  if (record.type != kVariantInt32) return false;
  *value = record.intValue;
  return true;
}

bool TextOf(const HostVariant& record, std::u16string* value) {
  if (record.type != kVariantString) return false;
  *value = CopyHostText(record.stringValue);
  return true;
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
