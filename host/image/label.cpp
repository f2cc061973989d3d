// Labels through libzint: encode, rasterise to zint's RGB bitmap, keep grey.
#include "host/image/label.h"

#include <zint.h>

#include <algorithm>
#include <memory>

#include "host/image/image_error.h"

namespace image {
namespace {

struct SymbolDeleter {
  void operator()(zint_symbol* symbol) const noexcept { ZBarcode_Delete(symbol); }
};

struct Encoding {
  int zintId;
  bool gs1;
  // The digit counts zint takes without and with the check digit; 0: any data.
  std::size_t digits, digitsWithCheck;
};

Encoding EncodingOf(Symbology symbology) {
  switch (symbology) {
    case Symbology::DataMatrix:
      return {BARCODE_DATAMATRIX, false, 0, 0};
    case Symbology::QRCode:
      return {BARCODE_QRCODE, false, 0, 0};
    case Symbology::Code128:
      return {BARCODE_CODE128, false, 0, 0};
    case Symbology::EAN13:
      return {BARCODE_EANX, false, 12, 13};
    case Symbology::EAN8:
      return {BARCODE_EANX, false, 7, 8};
    case Symbology::UPCA:
      return {BARCODE_UPCA, false, 11, 12};
    case Symbology::ITF14:
      return {BARCODE_ITF14, false, 13, 14};
    case Symbology::PDF417:
      return {BARCODE_PDF417, false, 0, 0};
    case Symbology::GS1DataMatrix:
      return {BARCODE_DATAMATRIX, true, 0, 0};
    case Symbology::GS1_128:
      return {BARCODE_GS1_128, true, 0, 0};
    case Symbology::GS1QRCode:
      return {BARCODE_QRCODE, true, 0, 0};
  }
  return {BARCODE_DATAMATRIX, false, 0, 0};
}

// zint picks EAN-8 or EAN-13 by length, and would quietly make one of the other.
void CheckDigits(std::string_view data, Symbology symbology, const Encoding& encoding) {
  if (encoding.digits == 0) return;
  const bool digitsOnly =
      std::all_of(data.begin(), data.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digitsOnly || (data.size() != encoding.digits && data.size() != encoding.digitsWithCheck))
    throw Error(Failure::LabelData, std::string(NameOf(symbology)) + " takes " +
                                        std::to_string(encoding.digits) + " digits, or " +
                                        std::to_string(encoding.digitsWithCheck) +
                                        " with the check digit: '" + std::string(data) + "'");
}

}  // namespace

bool LabelsBuilt() { return true; }

GreyImage RenderLabel(std::string_view data, const LabelOptions& options) {
  const Encoding encoding = EncodingOf(options.symbology);
  const char* name = NameOf(options.symbology);
  if (data.empty()) throw Error(Failure::LabelData, std::string(name) + ": no data to encode");
  if (options.moduleSize < 1 || options.moduleSize > 50)
    throw Error(Failure::LabelData,
                "a module is 1 to 50 pixels, not " + std::to_string(options.moduleSize));
  CheckDigits(data, options.symbology, encoding);
  std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
  if (symbol == nullptr) throw std::bad_alloc();
  symbol->symbology = encoding.zintId;
  symbol->input_mode = DATA_MODE;  // bytes as given: no character set conversion
  if (encoding.gs1) {
    symbol->input_mode = GS1_MODE;
    if (data.front() == '(') symbol->input_mode |= GS1PARENS_MODE;
  }
  // zint's raster draws a module as two pixels at scale 1.
  symbol->scale = static_cast<float>(options.moduleSize) / 2.0f;
  if (options.quietZone < 0) {
    symbol->output_options |= BARCODE_QUIET_ZONES;
  } else {
    symbol->output_options |= BARCODE_NO_QUIET_ZONES;
    symbol->whitespace_width = options.quietZone;
    symbol->whitespace_height = options.quietZone;
  }
  symbol->show_hrt = options.humanText ? 1 : 0;
  const int status =
      ZBarcode_Encode_and_Buffer(symbol.get(), reinterpret_cast<const unsigned char*>(data.data()),
                                 static_cast<int>(data.size()), 0);
  if (status >= ZINT_ERROR)
    throw Error(Failure::LabelData, std::string(name) + ": " + symbol->errtxt);
  GreyImage grey(symbol->bitmap_width, symbol->bitmap_height);
  const unsigned char* rgb = symbol->bitmap;
  std::uint8_t* out = grey.data();
  for (std::size_t i = 0; i < grey.size(); ++i, rgb += 3)
    out[i] = static_cast<std::uint8_t>((306 * rgb[0] + 601 * rgb[1] + 117 * rgb[2] + 0x200) >> 10);
  return grey;
}

}  // namespace image
