// Every barcode in a grey image, read by zxing-cpp, with what a scanner would
// send for each: the symbology identifier and the exact content bytes.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "host/image/grey_image.h"

namespace image {

struct ReadOptions {
  bool tryHarder = true;     // more scan lines and binarizers: finds small or blurred codes
  bool tryRotate = true;     // linear codes at 90, 180 and 270 degrees too
  bool tryDownscale = true;  // also a reduced copy of a large image (finds big, coarse codes)
  // Light codes on a dark ground (a dark theme on screen): looked for in the
  // inverted picture, only when the picture as it is holds none.
  bool tryInvert = true;
};

struct Point {
  int x = 0, y = 0;
};

struct Symbol {
  std::string format;  // zxing-cpp's name: "DataMatrix", "QRCode", "EAN-13", "Code128", ...
  // The symbol's corners in image pixels, in the symbol's own order: top-left,
  // top-right, bottom-right, bottom-left as the symbol reads (so a rotated
  // symbol's "top-left" may be anywhere). A linear symbol's are the box of
  // its bars, upright.
  std::array<Point, 4> corners;
  std::string symbologyId;  // "]d2" (GS1 DataMatrix), "]C1" (GS1-128), "]Q3", "]E0", ...
  // The content exactly as a scanner sends it after the identifier: the
  // leading FNC1 of a GS1 symbol is the identifier's modifier, and every later
  // FNC1 is GS (0x1D). Binary content is kept byte for byte.
  std::string bytes;
  bool gs1 = false;
};

// Every symbol found, in reading order: rows from top to bottom (two symbols
// share a row when their vertical extents overlap), each row left to right.
// An empty list means none was found: image::NoBarcodeIn words that for a caller
// that needs one.
//
// The picture is taken, not copied: it is changed while it is read (each
// linear symbol is whited out once read; light-on-dark is looked for by
// inverting it), so the peak stays near twice its size. Pass picture.Copy() to
// keep it.
std::vector<Symbol> ReadSymbols(GreyImage picture, const ReadOptions& options = {});

// Whether this build can read (the release is built without zxing-cpp where
// its source could not be had); without it ReadSymbols throws ReadUnavailable.
bool ReadingBuilt();

// The reading order alone, for symbols from anywhere.
void SortInReadingOrder(std::vector<Symbol>& symbols);

}  // namespace image
