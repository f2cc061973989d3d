// Barcode labels rendered by libzint: what `wedgesim label` writes, and what
// the tests read back. GS1 symbologies take AI notation, "(01)...(21)..." or
// zint's own "[01]...[21]..." (the bracket form lets a value hold
// parentheses), and put FNC1 where GS1 does: first, and after each field of
// open length that is not last.
//
// Built only where libzint is (LabelsBuilt()); elsewhere RenderLabel throws
// LabelUnavailable, saying why.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/image/grey_image.h"

namespace image {

enum class Symbology {
  DataMatrix,
  QRCode,
  Code128,
  EAN13,  // 12 digits, or 13 with the check digit
  EAN8,   // 7 digits, or 8
  UPCA,   // 11 digits, or 12
  ITF14,  // 13 digits, or 14
  PDF417,
  GS1DataMatrix,
  GS1_128,
  GS1QRCode,
};

// Command-line names: datamatrix, qr, code128, ean13, ean8, upca, itf14,
// pdf417, gs1-datamatrix, gs1-128, gs1-qr.
std::optional<Symbology> SymbologyNamed(std::string_view name);
const char* NameOf(Symbology symbology);
std::string SymbologyNames();  // "datamatrix, qr, ..." for help and error texts

struct LabelOptions {
  Symbology symbology = Symbology::DataMatrix;
  int moduleSize = 4;     // pixels a module (the narrowest bar, a matrix cell), 1..50
  int quietZone = -1;     // modules of white around the symbol; -1: the symbology's own
  bool humanText = true;  // the digits under a linear symbol
};

bool LabelsBuilt();

// The label as a grey image (black on white). LabelData with zint's reason when
// the data does not fit the symbology (a letter in an EAN, a wrong check digit,
// an unknown AI).
GreyImage RenderLabel(std::string_view data, const LabelOptions& options);

}  // namespace image
