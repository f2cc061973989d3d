#include "host/image/symbols.h"

#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cstdlib>

namespace image {
namespace {

// NOTE: zxing-cpp 1.4 compares the results of its own downscaled layers with
// an assert that fails for a linear code found in two of them, and Debian's
// build keeps asserts: the process would abort. So zxing-cpp reads one layer
// at a time, and the smaller layers (which only help big, coarse matrix codes)
// are made here, their finds merged with the full image's.
constexpr int kDownscaleFactor = 3;
constexpr int kDownscaleAbove = 500;  // zxing-cpp's own threshold: the shorter side, in pixels

ZXing::DecodeHints HintsFor(const ReadOptions& options, ZXing::BarcodeFormats formats) {
  ZXing::DecodeHints hints;
  hints.setTryHarder(options.tryHarder)
      .setTryRotate(options.tryRotate)
      .setTryDownscale(false)
      .setFormats(formats);
  return hints;
}

Symbol SymbolOf(const ZXing::Result& result, int scale) {
  Symbol symbol;
  symbol.format = ZXing::ToString(result.format());
  const ZXing::Position& position = result.position();
  for (std::size_t i = 0; i < symbol.corners.size(); ++i)
    symbol.corners[i] = {position[i].x * scale, position[i].y * scale};
  symbol.symbologyId = result.symbologyIdentifier();
  const ZXing::ByteArray& bytes = result.bytes();
  symbol.bytes.assign(bytes.begin(), bytes.end());
  symbol.gs1 = result.contentType() == ZXing::ContentType::GS1;
  return symbol;
}

bool Inside(const Point& point, const Symbol& symbol) {
  int minX = symbol.corners[0].x, maxX = minX, minY = symbol.corners[0].y, maxY = minY;
  for (const Point& corner : symbol.corners) {
    minX = std::min(minX, corner.x), maxX = std::max(maxX, corner.x);
    minY = std::min(minY, corner.y), maxY = std::max(maxY, corner.y);
  }
  return point.x >= minX && point.x <= maxX && point.y >= minY && point.y <= maxY;
}

// The same symbol found again (in another layer): same content, and the
// centre of one inside the other.
bool Known(const std::vector<Symbol>& found, const Symbol& symbol) {
  Point centre;
  for (const Point& corner : symbol.corners) centre.x += corner.x / 4, centre.y += corner.y / 4;
  return std::any_of(found.begin(), found.end(), [&](const Symbol& other) {
    return other.format == symbol.format && other.bytes == symbol.bytes && Inside(centre, other);
  });
}

void Decode(const ZXing::ImageView& view, Point offset, int scale, const ZXing::DecodeHints& hints,
            std::vector<Symbol>& found) {
  for (const ZXing::Result& result : ZXing::ReadBarcodes(view, hints)) {
    if (!result.isValid()) continue;
    Symbol symbol = SymbolOf(result, scale);
    for (Point& corner : symbol.corners) corner.x += offset.x, corner.y += offset.y;
    if (!Known(found, symbol)) found.push_back(std::move(symbol));
  }
}

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

void DecodeLayer(const GreyImage& layer, int scale, const ZXing::DecodeHints& hints,
                 const ZXing::DecodeHints& dataMatrix, std::vector<Symbol>& found) {
  const ZXing::ImageView view(layer.data(), layer.width(), layer.height(), ZXing::ImageFormat::Lum);
  Decode(view, {0, 0}, scale, hints, found);
  SweepDataMatrix(layer, scale, dataMatrix, found);
}

// A box-filtered copy, `factor` times smaller each way.
GreyImage Downscaled(const GreyImage& from, int factor) {
  GreyImage to(from.width() / factor, from.height() / factor);
  const int area = factor * factor;
  for (int y = 0; y < to.height(); ++y) {
    std::uint8_t* out = to.row(y);
    for (int x = 0; x < to.width(); ++x) {
      int sum = 0;
      for (int dy = 0; dy < factor; ++dy) {
        const std::uint8_t* in = from.row(y * factor + dy) +
                                 static_cast<std::size_t>(x) * static_cast<std::size_t>(factor);
        for (int dx = 0; dx < factor; ++dx) sum += in[dx];
      }
      out[x] = static_cast<std::uint8_t>(sum / area);
    }
  }
  return to;
}

// NOTE: zxing-cpp's PDF417 reader copies its black-and-white matrix for each
// rotation it tries: three times the image again, and more time than all the
// other readers together on a large picture. Above kWholePixels it reads
// overlapping bands instead (a symbol up to half a band tall lies wholly in
// one; a taller one is found in the smaller layers), so the peak stays near
// twice the grey image.
constexpr std::size_t kWholePixels = 4'000'000;
constexpr int kPdf417BandRows = 1000;

constexpr ZXing::BarcodeFormats kAllButPdf417 =
    ZXing::BarcodeFormat::LinearCodes | ZXing::BarcodeFormat::Aztec |
    ZXing::BarcodeFormat::DataMatrix | ZXing::BarcodeFormat::MaxiCode |
    ZXing::BarcodeFormat::QRCode | ZXing::BarcodeFormat::MicroQRCode;

void DecodeFullSize(const GreyImage& picture, const ReadOptions& options,
                    std::vector<Symbol>& found) {
  const ZXing::DecodeHints dataMatrix = HintsFor(options, ZXing::BarcodeFormat::DataMatrix);
  if (picture.size() <= kWholePixels || picture.height() <= kPdf417BandRows) {
    DecodeLayer(picture, 1, HintsFor(options, ZXing::BarcodeFormat::Any), dataMatrix, found);
    return;
  }
  DecodeLayer(picture, 1, HintsFor(options, kAllButPdf417), dataMatrix, found);
  const ZXing::ImageView view(picture.data(), picture.width(), picture.height(),
                              ZXing::ImageFormat::Lum);
  const ZXing::DecodeHints pdf417 = HintsFor(options, ZXing::BarcodeFormat::PDF417);
  for (int top = 0;; top += kPdf417BandRows / 2) {
    const int rows = std::min(kPdf417BandRows, picture.height() - top);
    Decode(view.cropped(0, top, picture.width(), rows), {0, top}, 1, pdf417, found);
    if (top + rows >= picture.height()) break;
  }
}

std::vector<Symbol> DecodeLayers(const GreyImage& picture, const ReadOptions& options) {
  std::vector<Symbol> found;
  DecodeFullSize(picture, options, found);
  if (!options.tryDownscale) return found;
  const ZXing::DecodeHints dataMatrix = HintsFor(options, ZXing::BarcodeFormat::DataMatrix);
  const ZXing::DecodeHints matrixOnly = HintsFor(options, ZXing::BarcodeFormat::MatrixCodes);
  GreyImage layer;
  const GreyImage* from = &picture;
  for (int scale = kDownscaleFactor; std::min(from->width(), from->height()) > kDownscaleAbove;
       scale *= kDownscaleFactor) {
    layer = Downscaled(*from, kDownscaleFactor);
    from = &layer;
    DecodeLayer(layer, scale, matrixOnly, dataMatrix, found);
  }
  return found;
}

}  // namespace

bool ReadingBuilt() { return true; }

std::vector<Symbol> ReadSymbols(const GreyImage& picture, const ReadOptions& options) {
  if (picture.empty()) return {};
  std::vector<Symbol> symbols = DecodeLayers(picture, options);
  if (symbols.empty() && options.tryInvert) {
    GreyImage inverted(picture.width(), picture.height());
    const std::uint8_t* from = picture.data();
    std::uint8_t* to = inverted.data();
    for (std::size_t i = 0; i < picture.size(); ++i)
      to[i] = static_cast<std::uint8_t>(255 - from[i]);
    symbols = DecodeLayers(inverted, options);
  }
  SortInReadingOrder(symbols);
  return symbols;
}

}  // namespace image
