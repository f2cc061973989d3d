// What the reader's files share (symbols.cpp, zxing_calls.cpp,
// datamatrix_sweep.cpp, linear_codes.cpp); not for the engine's users.
#pragma once

#include <ZXing/ReadBarcode.h>

#include <vector>

#include "host/image/symbols.h"

namespace image::detail {

ZXing::DecodeHints HintsFor(const ReadOptions& options, ZXing::BarcodeFormats formats);

// A result as a Symbol, its corners in the picture's pixels (the layer read
// is `scale` times smaller).
Symbol SymbolOf(const ZXing::Result& result, int scale);

// The same symbol found again (in another layer or band): same content, and
// the centre of one inside the other.
bool Known(const std::vector<Symbol>& found, const Symbol& symbol);

// Reads `view`, which lies at `offset` in a layer `scale` times smaller than
// the picture, and adds what is new to `found`.
void Decode(const ZXing::ImageView& view, Point offset, int scale, const ZXing::DecodeHints& hints,
            std::vector<Symbol>& found);

// DataMatrix symbols off the layer's centre lines (datamatrix_sweep.cpp).
void SweepDataMatrix(const GreyImage& layer, int scale, const ZXing::DecodeHints& hints,
                     std::vector<Symbol>& found);

// Every linear symbol, one at a time; each is whited out of `picture` once
// read (linear_codes.cpp).
void ReadLinearCodes(GreyImage& picture, const ReadOptions& options, std::vector<Symbol>& found);

}  // namespace image::detail
