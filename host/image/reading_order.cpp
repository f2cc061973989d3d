// Reading order, for the symbols of any reader.
#include <algorithm>

#include "host/image/symbols.h"

namespace image {
namespace {

int Top(const Symbol& symbol) {
  int top = symbol.corners[0].y;
  for (const Point& corner : symbol.corners) top = std::min(top, corner.y);
  return top;
}
int Bottom(const Symbol& symbol) {
  int bottom = symbol.corners[0].y;
  for (const Point& corner : symbol.corners) bottom = std::max(bottom, corner.y);
  return bottom;
}
int Left(const Symbol& symbol) {
  int left = symbol.corners[0].x;
  for (const Point& corner : symbol.corners) left = std::min(left, corner.x);
  return left;
}

}  // namespace

void SortInReadingOrder(std::vector<Symbol>& symbols) {
  std::stable_sort(symbols.begin(), symbols.end(),
                   [](const Symbol& a, const Symbol& b) { return Top(a) < Top(b); });
  // A row is the run of symbols that start above the first one's bottom edge:
  // labels side by side rarely share their top pixel row exactly.
  for (auto row = symbols.begin(); row != symbols.end();) {
    const int bottom = Bottom(*row);
    auto end = std::find_if(row, symbols.end(), [&](const Symbol& s) { return Top(s) > bottom; });
    std::stable_sort(row, end, [](const Symbol& a, const Symbol& b) { return Left(a) < Left(b); });
    row = end;
  }
}

}  // namespace image
