#include "host/image/symbols.h"

#include <algorithm>

#include "host/image/zxing_calls.h"

namespace image {
namespace {

using namespace detail;  // the reader's shared pieces

// NOTE: zxing-cpp 1.4 compares the results of its own downscaled layers with
// an assert that fails for a linear code found in two of them, and Debian's
// build keeps asserts: the process would abort. So zxing-cpp reads one layer
// at a time, and the smaller layers (which only help big, coarse matrix codes)
// are made here, their finds merged with the full image's.
constexpr int kDownscaleFactor = 3;
constexpr int kDownscaleAbove = 500;  // zxing-cpp's own threshold: the shorter side, in pixels

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

constexpr ZXing::BarcodeFormats kMatrixButPdf417 =
    ZXing::BarcodeFormat::Aztec | ZXing::BarcodeFormat::DataMatrix |
    ZXing::BarcodeFormat::MaxiCode | ZXing::BarcodeFormat::QRCode |
    ZXing::BarcodeFormat::MicroQRCode;

void DecodeFullSize(GreyImage& picture, const ReadOptions& options, std::vector<Symbol>& found) {
  const ZXing::DecodeHints dataMatrix = HintsFor(options, ZXing::BarcodeFormat::DataMatrix);
  if (picture.size() <= kWholePixels || picture.height() <= kPdf417BandRows) {
    DecodeLayer(picture, 1, HintsFor(options, ZXing::BarcodeFormat::MatrixCodes), dataMatrix,
                found);
  } else {
    DecodeLayer(picture, 1, HintsFor(options, kMatrixButPdf417), dataMatrix, found);
    const ZXing::ImageView view(picture.data(), picture.width(), picture.height(),
                                ZXing::ImageFormat::Lum);
    const ZXing::DecodeHints pdf417 = HintsFor(options, ZXing::BarcodeFormat::PDF417);
    for (int top = 0;; top += kPdf417BandRows / 2) {
      const int rows = std::min(kPdf417BandRows, picture.height() - top);
      Decode(view.cropped(0, top, picture.width(), rows), {0, top}, 1, pdf417, found);
      if (top + rows >= picture.height()) break;
    }
  }
  // Last: it whites out what it reads.
  ReadLinearCodes(picture, options, found);
}

std::vector<Symbol> DecodeLayers(GreyImage& picture, const ReadOptions& options) {
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

std::vector<Symbol> ReadSymbols(GreyImage picture, const ReadOptions& options) {
  if (picture.empty()) return {};
  std::vector<Symbol> symbols = DecodeLayers(picture, options);
  if (symbols.empty() && options.tryInvert) {
    std::uint8_t* pixels = picture.data();
    for (std::size_t i = 0; i < picture.size(); ++i)
      pixels[i] = static_cast<std::uint8_t>(255 - pixels[i]);
    symbols = DecodeLayers(picture, options);
  }
  SortInReadingOrder(symbols);
  return symbols;
}

}  // namespace image
