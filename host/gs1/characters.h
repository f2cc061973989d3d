// The small pieces of text work every part of the GS1 module does: digits,
// and a text split at a separator.
#pragma once

#include <algorithm>
#include <string_view>
#include <vector>

namespace gs1 {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

inline bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// Every part between separators, empty ones included.
inline std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t from = 0;;) {
    const std::size_t at = text.find(separator, from);
    parts.push_back(text.substr(from, at - from));
    if (at == std::string_view::npos) return parts;
    from = at + 1;
  }
}

}  // namespace gs1
