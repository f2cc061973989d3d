// Pictures the image tests and benchmarks make themselves: symbols drawn by
// zxing-cpp's writer (both widths have it, unlike libzint), pasted, turned,
// scaled and made noisy, and files written into a private folder.
#pragma once

#include <cstdint>
#include <string>

#include "host/desktop/display.h"
#include "host/image/grey_image.h"

namespace picturekit {

using image::GreyImage;

// A symbol of zxing-cpp's writer ("DataMatrix", "QRCode", "Code128", ...),
// `module` pixels a module, with a quiet zone of `margin` modules.
GreyImage DrawSymbol(const std::string& format, const std::string& text, int module,
                     int margin = 4);

// A white (or `fill`) picture.
GreyImage Blank(int width, int height, std::uint8_t fill = 255);

// Copies `from` into `into` with its top-left corner at (x, y).
void Paste(GreyImage& into, const GreyImage& from, int x, int y);

// `from` turned by `degrees` and scaled by `scale` about its centre, bilinear,
// on a white ground large enough to hold all of it.
GreyImage Turn(const GreyImage& from, double degrees, double scale);

// `from` turned a quarter clockwise, pixel for pixel.
GreyImage QuarterTurn(const GreyImage& from);

// Adds uniform noise of +-amplitude (the same for the same seed).
void AddNoise(GreyImage& picture, int amplitude, std::uint32_t seed);

// A folder of its own under TMPDIR (or /tmp), removed with its files.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes bytes as they are.
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// A one-page PDF whose page is the picture (uncompressed grey image, 72 dpi).
std::string PdfOf(const GreyImage& picture);

// Makes `window`'s background the picture (black and white at the screen's
// depth): the server itself paints it whenever any of it is exposed, so
// whoever shows it needs no event loop.
void ShowPicture(Display* display, unsigned long window, const GreyImage& picture);

}  // namespace picturekit
