// How the image engine fails: one exception type whose kind a caller can tell
// apart (to choose an exit status) and whose message a person can act on.
#pragma once

#include <stdexcept>
#include <string>

namespace image {

enum class Failure {
  Unreadable,         // the file cannot be opened or read
  UnsupportedFormat,  // not PNG, JPEG, binary PNM or PDF
  Corrupt,            // a known format, but truncated or damaged
  TooLarge,           // more pixels than the limit (known from the header, before decoding)
  NoBarcode,          // readable, but nothing in it decodes
  PdfToolMissing,     // a PDF, and pdftoppm/pdfinfo (poppler-utils) is not installed
  PdfFailed,          // poppler-utils could not render the PDF
  NoDisplay,          // the X display cannot be opened
  NoWindow,           // no window has that id, pid or name
  NotViewable,        // the window exists but is unmapped or iconified
  BlackGrab,          // every grabbed pixel is black (a Wayland desktop through Xwayland)
  GrabFailed,         // the server refused the grab
  LabelData,          // the data cannot be encoded in that symbology (zint's reason)
  LabelUnavailable,   // this build has no label renderer (no libzint)
  ReadUnavailable,    // this build has no barcode reader (no zxing-cpp)
  WriteFailed,        // the output file cannot be written
};

class Error : public std::runtime_error {
 public:
  Error(Failure failure, const std::string& message)
      : std::runtime_error(message), failure_(failure) {}
  Failure failure() const { return failure_; }

 private:
  Failure failure_;
};

// The error for a source in which nothing decodes, worded like the others, so
// a caller that wants "at least one barcode" says it the same way everywhere.
Error NoBarcodeIn(const std::string& source);

}  // namespace image
