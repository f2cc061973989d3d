#include "host/image/zxing_calls.h"

#include <algorithm>

namespace image::detail {
namespace {

bool Inside(const Point& point, const Symbol& symbol) {
  int minX = symbol.corners[0].x, maxX = minX, minY = symbol.corners[0].y, maxY = minY;
  for (const Point& corner : symbol.corners) {
    minX = std::min(minX, corner.x), maxX = std::max(maxX, corner.x);
    minY = std::min(minY, corner.y), maxY = std::max(maxY, corner.y);
  }
  return point.x >= minX && point.x <= maxX && point.y >= minY && point.y <= maxY;
}

}  // namespace

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

}  // namespace image::detail
