#include "host/cli/arguments.h"

#include <algorithm>
#include <utility>

#include "host/cli/errors.h"

namespace cli {

unsigned ModifierMask(const std::string& names) {
  static constexpr std::pair<std::string_view, unsigned> kModifiers[] = {
      {"shift", 1U}, {"ctrl", 4U}, {"alt", 8U}, {"super", 64U}};
  unsigned mask = 0;
  std::size_t at = 0;
  while (at <= names.size()) {
    const std::size_t end = std::min(names.find_first_of(",+", at), names.size());
    const std::string_view name = std::string_view(names).substr(at, end - at);
    at = end + 1;
    if (name.empty()) continue;
    bool known = false;
    for (const auto& [modifier, bit] : kModifiers) {
      if (name != modifier) continue;
      mask |= bit;
      known = true;
    }
    if (!known)
      throw CliError(kExitUsage,
                     "unknown modifier " + std::string(name) + " (shift, ctrl, alt, super)");
  }
  return mask;
}

bool IsBase64(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == '=' && text.size() - end < 2) --end;
  for (std::size_t i = 0; i < end; ++i) {
    const char c = text[i];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letter && !(c >= '0' && c <= '9') && c != '+' && c != '/') return false;
  }
  // Padding fills the last group of four; without it, one character alone
  // in the last group cannot carry a whole byte.
  if (end < text.size()) return text.size() % 4 == 0;
  return end % 4 != 1;
}

void RequireBase64(const std::string& text, const std::string& option) {
  if (IsBase64(text)) return;
  throw CliError(kExitUsage, option + ": '" + text +
                                 "' is not Base64 (only A-Z, a-z, 0-9, '+' and '/', with '=' "
                                 "padding at the end and no blanks)");
}

}  // namespace cli
