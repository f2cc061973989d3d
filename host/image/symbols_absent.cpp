// The reader of a release built where zxing-cpp's source could not be had
// (scripts/release-deps.sh says so when it builds the root's libraries).
#include "host/image/image_error.h"
#include "host/image/symbols.h"

namespace image {

bool ReadingBuilt() { return false; }

std::vector<Symbol> ReadSymbols(GreyImage, const ReadOptions&) {
  throw Error(Failure::ReadUnavailable,
              "this wedgesim was built without zxing-cpp, so it cannot read barcodes from images "
              "or the screen");
}

}  // namespace image
