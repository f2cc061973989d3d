#include "host/image/image_error.h"

namespace image {

Error NoBarcodeIn(const std::string& source) {
  return Error(Failure::NoBarcode, source + ": no barcode found");
}

}  // namespace image
