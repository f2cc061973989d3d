#include "delivery/base64.h"

#include <array>

namespace wedgesim {

namespace {

constexpr std::uint8_t kNotInAlphabet = 0xFF;

constexpr std::array<std::uint8_t, 256> MakeSextetTable() {
  std::array<std::uint8_t, 256> table{};
  for (auto& value : table) value = kNotInAlphabet;
  for (std::size_t i = 0; i < kBase64Alphabet.size(); ++i)
    table[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<std::uint8_t>(i);
  return table;
}

constexpr std::array<std::uint8_t, 256> kSextet = MakeSextetTable();

// The three bytes of a group of four sextets.
void AppendGroup(const std::uint8_t (&s)[4], std::size_t take, std::vector<std::uint8_t>& out) {
  const std::uint8_t bytes[3] = {
      static_cast<std::uint8_t>((s[0] << 2) + ((s[1] & 0x30) >> 4)),
      static_cast<std::uint8_t>(((s[1] & 0x0F) << 4) + ((s[2] & 0x3C) >> 2)),
      static_cast<std::uint8_t>(((s[2] & 0x03) << 6) + s[3]),
  };
  out.insert(out.end(), bytes, bytes + take);
}

}  // namespace

std::vector<std::uint8_t> DecodeBase64(std::string_view input) {
  std::vector<std::uint8_t> out;
  out.reserve(input.size() / 4 * 3 + 2);
  std::uint8_t group[4];
  std::size_t filled = 0;
  for (const char c : input) {
    const std::uint8_t sextet = kSextet[static_cast<unsigned char>(c)];
    if (sextet == kNotInAlphabet) break;  // "=" included: the first one ends decoding
    group[filled++] = sextet;
    if (filled == 4) {
      AppendGroup(group, 3, out);
      filled = 0;
    }
  }
  if (filled > 1) {
    for (std::size_t i = filled; i < 4; ++i) group[i] = kNotInAlphabet;
    AppendGroup(group, filled - 1, out);
  }
  return out;
}

}  // namespace wedgesim
