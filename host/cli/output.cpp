#include "host/cli/output.h"

#include <iostream>

namespace cli {

void Emit(bool json, const json::Value& document, const std::string& text) {
  if (json) {
    std::cout << document.Dump(2) << '\n';
  } else {
    std::cout << text;
  }
  std::cout.flush();
}

void EmitLine(const json::Value& document) { std::cout << document.Dump(0) << std::endl; }

std::string Pad(std::string_view text, std::size_t width) {
  std::size_t characters = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
  std::string out(text);
  if (characters < width) out.append(width - characters, ' ');
  return out;
}

}  // namespace cli
