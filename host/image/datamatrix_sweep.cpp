// DataMatrix symbols anywhere in a layer, from a zxing-cpp that looks along
// centre lines only.
#include <algorithm>
#include <cstdlib>

#include "host/image/zxing_calls.h"

namespace image::detail {
namespace {

// NOTE: Debian's zxing-cpp 1.4 is built as C++17, where its DataMatrix
// detector looks along the image's two centre lines only (the scan of other
// lines needs C++20 coroutines), so a DataMatrix elsewhere is never found.
// Bands of the image are handed to it in turn, each centred on another row:
// a symbol at least kBandStep tall crosses one band's centre line, and a band
// kBandRows tall holds a symbol of up to half that (larger ones are found in
// the smaller layers, where they are a third the size).
constexpr int kBandStep = 32;
constexpr int kBandRows = 6 * kBandStep;

// The detector follows the centre row from the band's edges to the first
// dark-light edge it meets. A symbol it can decode in the band is at most
// kBandRows / 2 tall, so its modules are under kBandRows / 20 pixels, and the
// row crosses a few edges within a few modules. A row without such a cluster
// (a plain background, paper, sky, the border of a panel) cannot cross a
// symbol, and its band is not handed over.
constexpr int kEdgeContrast = 24;
constexpr int kEdgesOfASymbol = 4;
constexpr int kClusterSpan = kEdgesOfASymbol * 2 * kBandRows / 20;

bool RowCrossesEdgeCluster(const std::uint8_t* row, int width) {
  int recent[kEdgesOfASymbol] = {};  // where the last edges began, oldest first
  int count = 0;
  bool inEdge = false;
  for (int x = 2; x < width; ++x) {
    const bool edge = std::abs(row[x] - row[x - 2]) >= kEdgeContrast;
    if (edge && !inEdge) {
      std::copy(recent + 1, recent + kEdgesOfASymbol, recent);
      recent[kEdgesOfASymbol - 1] = x;
      if (++count >= kEdgesOfASymbol && x - recent[0] <= kClusterSpan) return true;
    }
    inEdge = edge;
  }
  return false;
}

}  // namespace

void SweepDataMatrix(const GreyImage& layer, int scale, const ZXing::DecodeHints& hints,
                     std::vector<Symbol>& found) {
  if (layer.height() <= kBandRows) return;  // the whole layer's centre lines were looked at
  const ZXing::ImageView view(layer.data(), layer.width(), layer.height(), ZXing::ImageFormat::Lum);
  for (int centre = kBandStep / 2; centre < layer.height(); centre += kBandStep) {
    if (!RowCrossesEdgeCluster(layer.row(centre), layer.width())) continue;
    // Shorter near the edges, so that its centre line stays where it should.
    const int reach = std::min({kBandRows / 2, centre, layer.height() - centre});
    const int top = centre - reach;
    Decode(view.cropped(0, top, layer.width(), 2 * reach), {0, top * scale}, scale, hints, found);
  }
}

}  // namespace image::detail
