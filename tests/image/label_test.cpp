// Labels rendered by libzint, written as PNG, read back from the file: each
// symbology gives back exactly the bytes it encodes, as a scanner sends them.
#include <gtest/gtest.h>

#include "host/image/image_error.h"
#include "host/image/image_file.h"
#include "host/image/label.h"
#include "host/image/symbols.h"
#include "tests/image/picture_kit.h"

namespace {

using image::Failure;
using image::Symbology;

#define SKIP_WITHOUT_ZINT()                                                                 \
  if (!image::LabelsBuilt())                                                                \
  GTEST_SKIP() << "this build has no libzint (Debian's libzint-dev is amd64 only: the x86 " \
                  "build leaves labels out)"

const std::string GS = "\x1d";

struct LabelCase {
  Symbology symbology;
  std::string data;
  std::string format, symbologyId, bytes;
  bool gs1;
};

TEST(Labels, EachSymbologyReadsBackExactly) {
  SKIP_WITHOUT_ZINT();
  const std::string tail = "YxWgKJ5QbE3o8cVnM4tP6sHa7uLkD0fRjyGw+/eZ12AB";
  const LabelCase cases[] = {
      {Symbology::DataMatrix, "Hello, DataMatrix 123", "DataMatrix", "]d1", "Hello, DataMatrix 123",
       false},
      {Symbology::QRCode, "https://example.test/q?x=1", "QRCode", "]Q1",
       "https://example.test/q?x=1", false},
      {Symbology::Code128, "WEDGE-128/test", "Code128", "]C0", "WEDGE-128/test", false},
      {Symbology::EAN13, "460000000000", "EAN-13", "]E0", "4600000000008", false},
      {Symbology::EAN13, "4600000000008", "EAN-13", "]E0", "4600000000008", false},
      {Symbology::EAN8, "9638507", "EAN-8", "]E4", "96385074", false},
      {Symbology::UPCA, "03600029145", "UPC-A", "]E0", "036000291452", false},
      {Symbology::ITF14, "1540014128876", "ITF", "]I1", "15400141288763", false},
      {Symbology::PDF417, "PDF417 label 0123", "PDF417", "]L2", "PDF417 label 0123", false},
      {Symbology::GS1DataMatrix, "(01)04600000000008(21)ABC(93)AbCd", "DataMatrix", "]d2",
       "0104600000000008"
       "21ABC" +
           GS + "93AbCd",
       true},
      {Symbology::GS1DataMatrix, "(01)04600000000008(21)5Hg*7e(91)EE06(92)" + tail, "DataMatrix",
       "]d2",
       "0104600000000008"
       "215Hg*7e" +
           GS + "91EE06" + GS + "92" + tail,
       true},
      {Symbology::GS1DataMatrix, "[01]04600000000008[21]A(1)B[93]Xy", "DataMatrix", "]d2",
       "0104600000000008"
       "21A(1)B" +
           GS + "93Xy",
       true},
      {Symbology::GS1_128, "(01)04600000000008(10)ABC123(17)250101", "Code128", "]C1",
       "0104600000000008"
       "10ABC123" +
           GS + "17250101",
       true},
      {Symbology::GS1QRCode, "(01)04600000000008(21)XYZ(93)AbCd", "QRCode", "]Q3",
       "0104600000000008"
       "21XYZ" +
           GS + "93AbCd",
       true},
  };
  picturekit::TempFolder folder;
  for (const LabelCase& each : cases) {
    SCOPED_TRACE(std::string(image::NameOf(each.symbology)) + " " + each.data);
    const std::string file = folder.File(std::string(image::NameOf(each.symbology)) + ".png");
    image::WritePng(image::RenderLabel(each.data, {each.symbology, 3, -1, true}), file);
    const std::vector<image::Symbol> symbols = image::ReadSymbols(image::LoadImage(file));
    ASSERT_EQ(symbols.size(), 1u);
    EXPECT_EQ(symbols[0].format, each.format);
    EXPECT_EQ(symbols[0].symbologyId, each.symbologyId);
    EXPECT_EQ(symbols[0].bytes, each.bytes);
    EXPECT_EQ(symbols[0].gs1, each.gs1);
  }
}

TEST(Labels, DataThatDoesNotFitIsRefusedWithZintsReason) {
  SKIP_WITHOUT_ZINT();
  const std::pair<Symbology, std::string> cases[] = {
      {Symbology::EAN13, "46000000000A"},               // a letter
      {Symbology::EAN13, "4600000000001"},              // wrong check digit
      {Symbology::EAN8, "460000000000"},                // EAN-13 length: never quietly another
      {Symbology::GS1DataMatrix, "(01)0460000000000"},  // a GTIN one digit short
      {Symbology::GS1_128, "(99999)ABC"},               // no such AI
      {Symbology::GS1QRCode, "no brackets"},
      {Symbology::DataMatrix, ""},
  };
  for (const auto& [symbology, data] : cases) {
    SCOPED_TRACE(data);
    try {
      image::RenderLabel(data, {symbology});
      ADD_FAILURE() << "rendered";
    } catch (const image::Error& error) {
      EXPECT_EQ(error.failure(), Failure::LabelData);
      EXPECT_GT(std::string(error.what()).size(), 10u) << error.what();
    }
  }
}

TEST(Labels, ModuleSizeAndQuietZoneShapeTheImage) {
  SKIP_WITHOUT_ZINT();
  const image::GreyImage small = image::RenderLabel("ABC", {Symbology::DataMatrix, 2, 0, true});
  const image::GreyImage large = image::RenderLabel("ABC", {Symbology::DataMatrix, 6, 0, true});
  const image::GreyImage framed = image::RenderLabel("ABC", {Symbology::DataMatrix, 2, 5, true});
  EXPECT_EQ(large.width(), 3 * small.width());
  EXPECT_EQ(framed.width(), small.width() + 2 * 5 * 2);
  EXPECT_EQ(small.row(0)[0], 0) << "no quiet zone: the finder pattern is at the edge";
  EXPECT_EQ(framed.row(0)[0], 255);
  EXPECT_EQ(image::SymbologyNamed("gs1-datamatrix"), Symbology::GS1DataMatrix);
  EXPECT_FALSE(image::SymbologyNamed("qrcode"));
}

}  // namespace
