#include "tests/image/picture_kit.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <dirent.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

// Last: Xlib's macros (None, Bool, Status) would clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace picturekit {

GreyImage DrawSymbol(const std::string& format, const std::string& text, int module, int margin) {
  const ZXing::BitMatrix bits = ZXing::MultiFormatWriter(ZXing::BarcodeFormatFromString(format))
                                    .setMargin(0)
                                    .encode(text, 0, 0);
  const int width = (bits.width() + 2 * margin) * module;
  // A linear symbol is one row: give it the height of a printed one.
  const int rows = bits.height() == 1 ? 40 : bits.height();
  const int height = (rows + 2 * margin) * module;
  GreyImage picture = Blank(width, height);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < bits.width(); ++x)
      if (bits.get(x, bits.height() == 1 ? 0 : y))
        for (int dy = 0; dy < module; ++dy)
          for (int dx = 0; dx < module; ++dx)
            picture.row((y + margin) * module + dy)[(x + margin) * module + dx] = 0;
  return picture;
}

GreyImage Blank(int width, int height, std::uint8_t fill) {
  GreyImage picture(width, height);
  std::fill(picture.data(), picture.data() + picture.size(), fill);
  return picture;
}

void Paste(GreyImage& into, const GreyImage& from, int x, int y) {
  for (int row = 0; row < from.height() && y + row < into.height(); ++row)
    for (int column = 0; column < from.width() && x + column < into.width(); ++column)
      into.row(y + row)[x + column] = from.row(row)[column];
}

GreyImage Turn(const GreyImage& from, double degrees, double scale) {
  const double angle = degrees * M_PI / 180.0, c = std::cos(angle), s = std::sin(angle);
  const double w = from.width() * scale, h = from.height() * scale;
  const int width = static_cast<int>(std::ceil(std::abs(w * c) + std::abs(h * s))) + 2;
  const int height = static_cast<int>(std::ceil(std::abs(w * s) + std::abs(h * c))) + 2;
  GreyImage to = Blank(width, height);
  const double cx = width / 2.0, cy = height / 2.0;
  const double fx = from.width() / 2.0, fy = from.height() / 2.0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // Back from the target pixel to the source: no holes.
      const double dx = x - cx, dy = y - cy;
      const double sx = (c * dx + s * dy) / scale + fx - 0.5;
      const double sy = (-s * dx + c * dy) / scale + fy - 0.5;
      const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
      const double ax = sx - x0, ay = sy - y0;
      auto at = [&](int px, int py) -> double {
        if (px < 0 || py < 0 || px >= from.width() || py >= from.height()) return 255;
        return from.row(py)[px];
      };
      const double value = (1 - ay) * ((1 - ax) * at(x0, y0) + ax * at(x0 + 1, y0)) +
                           ay * ((1 - ax) * at(x0, y0 + 1) + ax * at(x0 + 1, y0 + 1));
      to.row(y)[x] = static_cast<std::uint8_t>(std::lround(value));
    }
  }
  return to;
}

GreyImage QuarterTurn(const GreyImage& from) {
  GreyImage to(from.height(), from.width());
  for (int y = 0; y < from.height(); ++y)
    for (int x = 0; x < from.width(); ++x) to.row(x)[from.height() - 1 - y] = from.row(y)[x];
  return to;
}

void AddNoise(GreyImage& picture, int amplitude, std::uint32_t seed) {
  std::uint32_t state = seed;
  for (std::size_t i = 0; i < picture.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    const int noise =
        static_cast<int>((state >> 16) % static_cast<std::uint32_t>(2 * amplitude + 1)) - amplitude;
    picture.data()[i] = static_cast<std::uint8_t>(std::clamp(picture.data()[i] + noise, 0, 255));
  }
}

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  path_ = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/wedgesim-image-XXXXXX";
  if (mkdtemp(path_.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
}

TempFolder::~TempFolder() {
  if (DIR* dir = opendir(path_.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") unlink(File(name).c_str());
    }
    closedir(dir);
  }
  rmdir(path_.c_str());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

std::string PdfOf(const GreyImage& picture) {
  const std::string w = std::to_string(picture.width()), h = std::to_string(picture.height());
  const std::string pixels(reinterpret_cast<const char*>(picture.data()), picture.size());
  const std::string content = "q " + w + " 0 0 " + h + " 0 0 cm /I Do Q";
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + w + " " + h +
          "] /Resources << /XObject << /I 4 0 R >> >> /Contents 5 0 R >>",
      "<< /Type /XObject /Subtype /Image /Width " + w + " /Height " + h +
          " /ColorSpace /DeviceGray /BitsPerComponent 8 /Length " + std::to_string(pixels.size()) +
          " >>\nstream\n" + pixels + "\nendstream",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
  };
  std::string pdf = "%PDF-1.4\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (std::size_t offset : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

void ShowPicture(Display* display, unsigned long window, const GreyImage& picture) {
  const int screen = DefaultScreen(display);
  const unsigned depth = static_cast<unsigned>(DefaultDepth(display, screen));
  XImage* frame = XCreateImage(display, DefaultVisual(display, screen), depth, ZPixmap, 0, nullptr,
                               static_cast<unsigned>(picture.width()),
                               static_cast<unsigned>(picture.height()), 32, 0);
  if (frame == nullptr) throw std::runtime_error("XCreateImage failed");
  frame->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(frame->bytes_per_line) *
                                               static_cast<std::size_t>(picture.height())));
  const unsigned long red = frame->red_mask, green = frame->green_mask, blue = frame->blue_mask;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      XPutPixel(frame, x, y, picture.row(y)[x] >= 128 ? (red | green | blue) : 0);
  const Pixmap pixmap = XCreatePixmap(display, window, static_cast<unsigned>(picture.width()),
                                      static_cast<unsigned>(picture.height()), depth);
  GC gc = XCreateGC(display, pixmap, 0, nullptr);
  XPutImage(display, pixmap, gc, frame, 0, 0, 0, 0, static_cast<unsigned>(picture.width()),
            static_cast<unsigned>(picture.height()));
  XFreeGC(display, gc);
  XDestroyImage(frame);
  XSetWindowBackgroundPixmap(display, window, pixmap);
  XClearWindow(display, window);
  XFreePixmap(display, pixmap);
  XSync(display, False);
}

}  // namespace picturekit
