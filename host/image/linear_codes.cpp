// Linear symbols, one at a time.
//
// NOTE: Debian's zxing-cpp 1.4 keeps its asserts, and one of them fails (the
// process aborts) when a picture holds the same linear symbol twice, as a
// sheet of labels does: its readers compare the two. Asked for one symbol,
// it compares nothing; so each is read alone and then whited out, until none
// is left.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "host/image/zxing_calls.h"

namespace image::detail {
namespace {

constexpr int kMaxLinearSymbols = 64;  // a sheet of labels has fewer; ends a runaway loop
constexpr int kEdgeContrast = 32;

struct Box {
  int left, top, right, bottom;  // inclusive
};

// Dark-light edges along `count` pixels `stride` apart.
int Edges(const std::uint8_t* first, int count, std::ptrdiff_t stride) {
  int edges = 0;
  bool inEdge = false;
  for (int i = 1; i < count; ++i) {
    const bool edge = std::abs(first[i * stride] - first[(i - 1) * stride]) >= kEdgeContrast;
    edges += edge && !inEdge ? 1 : 0;
    inEdge = edge;
  }
  return edges;
}

// zxing-cpp gives the few lines it read the symbol on. The bars go on above
// and below them (left and right of a turned symbol) for as long as lines
// across them cross about as many edges: that is the symbol's box.
Box BarsOf(const GreyImage& picture, const Symbol& symbol) {
  Box box{symbol.corners[0].x, symbol.corners[0].y, symbol.corners[0].x, symbol.corners[0].y};
  for (const Point& corner : symbol.corners) {
    box.left = std::min(box.left, corner.x), box.right = std::max(box.right, corner.x);
    box.top = std::min(box.top, corner.y), box.bottom = std::max(box.bottom, corner.y);
  }
  box.left = std::clamp(box.left, 0, picture.width() - 1);
  box.right = std::clamp(box.right, 0, picture.width() - 1);
  box.top = std::clamp(box.top, 0, picture.height() - 1);
  box.bottom = std::clamp(box.bottom, 0, picture.height() - 1);
  const bool across = box.right - box.left >= box.bottom - box.top;  // lines run left to right
  const std::ptrdiff_t stride = picture.width();
  auto edgesOn = [&](int line) {
    return across ? Edges(picture.row(line) + box.left, box.right - box.left + 1, 1)
                  : Edges(picture.row(box.top) + line, box.bottom - box.top + 1, stride);
  };
  int& first = across ? box.top : box.left;
  int& last = across ? box.bottom : box.right;
  const int end = across ? picture.height() : picture.width();
  const int reference = edgesOn((first + last) / 2);
  while (first > 0 && edgesOn(first - 1) * 2 >= reference && reference > 0) --first;
  while (last + 1 < end && edgesOn(last + 1) * 2 >= reference && reference > 0) ++last;
  return box;
}

// White, a little wider than the bars so that no edge of them is left.
void WhiteOut(GreyImage& picture, const Box& box) {
  const int left = std::max(0, box.left - 2), right = std::min(picture.width() - 1, box.right + 2);
  for (int y = std::max(0, box.top - 2); y <= std::min(picture.height() - 1, box.bottom + 2); ++y)
    std::memset(picture.row(y) + left, 255, static_cast<std::size_t>(right - left + 1));
}

}  // namespace

void ReadLinearCodes(GreyImage& picture, const ReadOptions& options, std::vector<Symbol>& found) {
  ZXing::DecodeHints hints = HintsFor(options, ZXing::BarcodeFormat::LinearCodes);
  hints.setMaxNumberOfSymbols(1);
  for (int count = 0; count < kMaxLinearSymbols; ++count) {
    const ZXing::ImageView view(picture.data(), picture.width(), picture.height(),
                                ZXing::ImageFormat::Lum);
    const ZXing::Results results = ZXing::ReadBarcodes(view, hints);
    if (results.empty() || !results.front().isValid()) return;
    Symbol symbol = SymbolOf(results.front(), 1);
    const Box box = BarsOf(picture, symbol);
    WhiteOut(picture, box);
    symbol.corners = {Point{box.left, box.top}, Point{box.right, box.top},
                      Point{box.right, box.bottom}, Point{box.left, box.bottom}};
    if (!Known(found, symbol)) found.push_back(std::move(symbol));
  }
}

}  // namespace image::detail
