#include "host/image/image_file.h"

#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "host/image/image_error.h"
#include "host/image/pdf_pages.h"

namespace image {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

UniqueFile OpenForReading(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw Error(Failure::Unreadable, path + ": is a folder, not an image file");
  UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (file == nullptr)
    throw Error(Failure::Unreadable, path + ": cannot be read: " + std::strerror(errno));
  return file;
}

FileKind Sniff(std::FILE* file, const std::string& path) {
  unsigned char head[8] = {};
  const std::size_t got = std::fread(head, 1, sizeof head, file);
  if (std::ferror(file) != 0)
    throw Error(Failure::Unreadable, path + ": cannot be read: " + std::strerror(errno));
  std::rewind(file);
  auto starts = [&](const char* magic, std::size_t length) {
    return got >= length && std::memcmp(head, magic, length) == 0;
  };
  if (starts("\x89PNG\r\n\x1a\n", 8)) return FileKind::Png;
  if (starts("\xff\xd8\xff", 3)) return FileKind::Jpeg;
  if (starts("P5", 2) || starts("P6", 2)) return FileKind::Pnm;
  if (starts("%PDF-", 5)) return FileKind::Pdf;
  if (got == 0) throw Error(Failure::UnsupportedFormat, path + ": is empty, not an image");
  if (got >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '4')
    throw Error(
        Failure::UnsupportedFormat,
        path + ": a text or bitmap PNM (P1-P4); only binary PGM (P5) and PPM (P6) are read");
  throw Error(Failure::UnsupportedFormat,
              path + ": not an image this reads (PNG, JPEG, binary PNM or PDF)");
}

// NOTE: stb_image's own reason is not passed on: it tries every format in
// turn, so a cut-short JPEG may fail with "bad png sig".
const char* KindName(FileKind kind) {
  switch (kind) {
    case FileKind::Png:
      return "PNG";
    case FileKind::Jpeg:
      return "JPEG";
    case FileKind::Pnm:
      return "PNM";
    case FileKind::Pdf:
      return "PDF";
  }
  return "image";
}

}  // namespace

FileKind SniffFile(const std::string& path) {
  UniqueFile file = OpenForReading(path);
  return Sniff(file.get(), path);
}

GreyImage LoadImage(const std::string& path, const LoadOptions& options) {
  UniqueFile file = OpenForReading(path);
  const FileKind kind = Sniff(file.get(), path);
  if (kind == FileKind::Pdf)
    throw Error(Failure::UnsupportedFormat, path + ": a PDF has pages: read it page by page");
  int width = 0, height = 0, channels = 0;
  // The header alone: an oversized image is refused before anything is decoded.
  if (stbi_info_from_file(file.get(), &width, &height, &channels) == 0)
    throw Error(Failure::Corrupt,
                path + ": a " + KindName(kind) + " file whose header is damaged or cut short");
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (pixels > options.maxPixels)
    throw Error(Failure::TooLarge, path + ": " + std::to_string(width) + "x" +
                                       std::to_string(height) + " is " + std::to_string(pixels) +
                                       " pixels, over the limit of " +
                                       std::to_string(options.maxPixels));
  // One channel asked for: a JPEG's colour planes are never converted, and
  // other formats are reduced to grey row by row inside stb_image.
  unsigned char* grey = stbi_load_from_file(file.get(), &width, &height, &channels, 1);
  if (grey == nullptr)
    throw Error(Failure::Corrupt, path + ": a truncated or damaged " + KindName(kind) + " file");
  return GreyImage::Adopt(grey, width, height);
}

void ForEachImage(const std::string& path, const LoadOptions& options,
                  const std::function<void(int page, GreyImage&& image)>& visit) {
  if (SniffFile(path) == FileKind::Pdf) {
    detail::RenderPdfPages(path, options, visit);
    return;
  }
  visit(0, LoadImage(path, options));
}

void WritePng(const GreyImage& picture, const std::string& path) {
  errno = 0;
  if (stbi_write_png(path.c_str(), picture.width(), picture.height(), 1, picture.data(),
                     picture.width()) == 0) {
    const int saved = errno;
    throw Error(Failure::WriteFailed,
                path + ": cannot be written" +
                    (saved != 0 ? std::string(": ") + std::strerror(saved) : std::string()));
  }
}

}  // namespace image
