// The one picture type of the engine: 8-bit grey, what the decoder needs and
// a quarter of what RGBA would hold. Pixels are malloc'ed so that a decoder's
// own buffer (stb_image's) is adopted rather than copied.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace image {

class GreyImage {
 public:
  GreyImage() = default;
  // Uninitialised pixels, row-major, `width` bytes a row; throws std::bad_alloc.
  GreyImage(int width, int height);
  // Takes ownership of a malloc'ed buffer of width * height bytes.
  static GreyImage Adopt(std::uint8_t* pixels, int width, int height);
  GreyImage Copy() const;  // moves are implicit, copies are asked for

  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return pixels_ == nullptr; }
  std::uint8_t* data() { return pixels_.get(); }
  const std::uint8_t* data() const { return pixels_.get(); }
  std::uint8_t* row(int y) { return data() + static_cast<std::size_t>(y) * Stride(); }
  const std::uint8_t* row(int y) const { return data() + static_cast<std::size_t>(y) * Stride(); }
  std::size_t size() const { return Stride() * static_cast<std::size_t>(height_); }  // bytes

 private:
  std::size_t Stride() const { return static_cast<std::size_t>(width_); }
  struct Free {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
  };
  std::unique_ptr<std::uint8_t[], Free> pixels_;
  int width_ = 0, height_ = 0;
};

}  // namespace image
