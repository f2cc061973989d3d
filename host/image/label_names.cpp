// The symbologies' names, shared by the build with libzint and the one without.
#include "host/image/label.h"

#include <array>
#include <utility>

namespace image {
namespace {

constexpr std::array<std::pair<Symbology, const char*>, 11> kNames{{
    {Symbology::DataMatrix, "datamatrix"},
    {Symbology::QRCode, "qr"},
    {Symbology::Code128, "code128"},
    {Symbology::EAN13, "ean13"},
    {Symbology::EAN8, "ean8"},
    {Symbology::UPCA, "upca"},
    {Symbology::ITF14, "itf14"},
    {Symbology::PDF417, "pdf417"},
    {Symbology::GS1DataMatrix, "gs1-datamatrix"},
    {Symbology::GS1_128, "gs1-128"},
    {Symbology::GS1QRCode, "gs1-qr"},
}};

}  // namespace

std::optional<Symbology> SymbologyNamed(std::string_view name) {
  for (const auto& [symbology, text] : kNames)
    if (name == text) return symbology;
  return std::nullopt;
}

const char* NameOf(Symbology symbology) {
  for (const auto& [each, text] : kNames)
    if (each == symbology) return text;
  return "?";
}

std::string SymbologyNames() {
  std::string names;
  for (const auto& [symbology, text] : kNames)
    names += (names.empty() ? "" : ", ") + std::string(text);
  return names;
}

}  // namespace image
