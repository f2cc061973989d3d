#include "host/image/grey_image.h"

#include <cstring>
#include <new>

namespace image {

GreyImage::GreyImage(int width, int height) : width_(width), height_(height) {
  const std::size_t bytes = size();
  pixels_.reset(static_cast<std::uint8_t*>(std::malloc(bytes == 0 ? 1 : bytes)));
  if (pixels_ == nullptr) throw std::bad_alloc();
}

GreyImage GreyImage::Adopt(std::uint8_t* pixels, int width, int height) {
  GreyImage adopted;
  adopted.pixels_.reset(pixels);
  adopted.width_ = width;
  adopted.height_ = height;
  return adopted;
}

GreyImage GreyImage::Copy() const {
  GreyImage copy(width_, height_);
  if (!empty()) std::memcpy(copy.data(), data(), size());
  return copy;
}

}  // namespace image
