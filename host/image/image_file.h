// Image files in and out: PNG, JPEG and binary PNM decoded by stb_image
// straight to grey, PDF pages rendered by poppler-utils' pdftoppm when it is
// installed, and grey PNG written by stb_image_write.
//
// Every failure is an image::Error naming the file: Unreadable, UnsupportedFormat,
// Corrupt, TooLarge (decided from the header, before any pixel is decoded),
// PdfToolMissing, PdfFailed, WriteFailed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/image/grey_image.h"

namespace image {

struct LoadOptions {
  // Pixels one image (or one rendered PDF page) may have. The decoded grey
  // image takes one byte a pixel, the reader about as much again.
  std::uint64_t maxPixels = 100'000'000;
  int pdfDpi = 300;  // resolution PDF pages are rendered at
};

enum class FileKind { Png, Jpeg, Pnm, Pdf };

// What the first bytes say the file is; UnsupportedFormat (or Unreadable)
// when it is none of the kinds read here.
FileKind SniffFile(const std::string& path);

// Decodes one PNG, JPEG or PNM file to grey (a PDF is refused as
// UnsupportedFormat here: it has pages, see ForEachImage).
GreyImage LoadImage(const std::string& path, const LoadOptions& options = {});

// Calls `visit` with each image of the file: the file's one image (page 0),
// or each page of a PDF in turn (pages 1, 2, ...), rendered one at a time so
// a long document never holds more than one page in memory.
void ForEachImage(const std::string& path, const LoadOptions& options,
                  const std::function<void(int page, GreyImage&& image)>& visit);

// Writes an 8-bit grey PNG.
void WritePng(const GreyImage& picture, const std::string& path);

}  // namespace image
