#include "text/base64.h"

#include <algorithm>
#include <array>

namespace wedgesim::text {

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

std::uint8_t SextetOf(char c) { return kSextet[static_cast<unsigned char>(c)]; }

// The first `take` of the three bytes a group of four sextets holds.
template <typename Out>
void AppendGroup(const std::uint8_t (&s)[4], std::size_t take, Out& out) {
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
    const std::uint8_t sextet = SextetOf(c);
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

bool DecodeStrictBase64(std::string_view input, std::string* bytes) {
  bytes->clear();
  std::size_t end = input.size();
  // At most two "=", and only to fill the last group of four.
  while (end > 0 && input[end - 1] == '=' && input.size() - end < 2) --end;
  if (end < input.size() && input.size() % 4 != 0) return false;
  if (end % 4 == 1) return false;  // one character cannot carry a whole byte
  bytes->reserve(end / 4 * 3 + 2);
  std::uint8_t group[4] = {0, 0, 0, 0};
  std::size_t filled = 0;
  for (std::size_t i = 0; i < end; ++i) {
    const std::uint8_t sextet = SextetOf(input[i]);
    if (sextet == kNotInAlphabet) return false;
    group[filled++] = sextet;
    if (filled == 4) {
      AppendGroup(group, 3, *bytes);
      filled = 0;
    }
  }
  if (filled > 1) {
    for (std::size_t i = filled; i < 4; ++i) group[i] = 0;
    AppendGroup(group, filled - 1, *bytes);
  }
  return true;
}

std::string EncodeBase64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size())
      group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    const std::size_t characters = std::min<std::size_t>(bytes.size() - i, 3) + 1;
    for (std::size_t k = 0; k < 4; ++k)
      out += k < characters ? kBase64Alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return out;
}

}  // namespace wedgesim::text
