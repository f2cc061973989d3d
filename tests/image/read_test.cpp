// Image files as a tester has them: a photo-like label turned, scaled and
// noisy; several labels on one sheet; a PDF page; and every file that is not
// what it claims, each failing the way image_file.h says.
#include <gtest/gtest.h>
#include <stb/stb_image_write.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "host/image/image_error.h"
#include "host/image/image_file.h"
#include "host/image/symbols.h"
#include "tests/image/picture_kit.h"

namespace {

using image::Failure;
using picturekit::DrawSymbol;

std::vector<image::Symbol> ReadFile(const std::string& path,
                                    const image::LoadOptions& options = {}) {
  std::vector<image::Symbol> all;
  image::ForEachImage(path, options, [&](int, image::GreyImage&& picture) {
    for (image::Symbol& symbol : image::ReadSymbols(std::move(picture)))
      all.push_back(std::move(symbol));
  });
  return all;
}

TEST(ReadingOrder, RowsTopToBottomEachLeftToRight) {
  // name, left, top, right, bottom
  struct Box {
    const char* name;
    int left, top, right, bottom;
  };
  const std::vector<std::pair<std::vector<Box>, std::string>> cases = {
      {{{"b", 300, 10, 400, 90}, {"a", 10, 40, 100, 120}, {"c", 50, 200, 150, 260}}, "abc"},
      // c starts above b's bottom but below a's: the row is a's, so c waits for the next
      {{{"a", 10, 0, 100, 50}, {"b", 200, 40, 300, 90}, {"c", 0, 60, 90, 100}}, "abc"},
      {{{"z", 500, 0, 600, 10}, {"y", 0, 0, 10, 10}}, "yz"},
      {{}, ""},
  };
  for (const auto& [boxes, order] : cases) {
    std::vector<image::Symbol> symbols;
    for (const Box& box : boxes) {
      image::Symbol symbol;
      symbol.bytes = box.name;
      symbol.corners = {image::Point{box.right, box.top},
                        {box.right, box.bottom},
                        {box.left, box.bottom},
                        {box.left, box.top}};  // turned: any corner first
      symbols.push_back(symbol);
    }
    image::SortInReadingOrder(symbols);
    std::string read;
    for (const image::Symbol& symbol : symbols) read += symbol.bytes;
    EXPECT_EQ(read, order);
  }
}

TEST(ImageFiles, TurnedScaledNoisyPhotoReads) {
  picturekit::TempFolder folder;
  image::GreyImage photo = picturekit::Turn(DrawSymbol("DataMatrix",
                                                       "0104600000000008"
                                                       "21PHOTO",
                                                       6),
                                            23.0, 1.37);
  picturekit::AddNoise(photo, 25, 7);
  const std::string png = folder.File("photo.png"), jpeg = folder.File("photo.jpg");
  image::WritePng(photo, png);
  ASSERT_NE(stbi_write_jpg(jpeg.c_str(), photo.width(), photo.height(), 1, photo.data(), 85), 0);
  for (const std::string& file : {png, jpeg}) {
    SCOPED_TRACE(file);
    const std::vector<image::Symbol> symbols = ReadFile(file);
    ASSERT_EQ(symbols.size(), 1u);
    EXPECT_EQ(symbols[0].format, "DataMatrix");
    EXPECT_EQ(symbols[0].bytes,
              "0104600000000008"
              "21PHOTO");
  }
}

TEST(ImageFiles, ThreeLabelsComeInReadingOrder) {
  // Two in the top row (the right one a little higher), one below.
  image::GreyImage sheet = picturekit::Blank(900, 700);
  picturekit::Paste(sheet, DrawSymbol("QRCode", "left", 5), 40, 60);
  picturekit::Paste(sheet, DrawSymbol("DataMatrix", "right", 6), 560, 30);
  picturekit::Paste(sheet, DrawSymbol("Code128", "below", 3), 200, 420);
  picturekit::TempFolder folder;
  image::WritePng(sheet, folder.File("sheet.png"));
  const std::vector<image::Symbol> symbols = ReadFile(folder.File("sheet.png"));
  ASSERT_EQ(symbols.size(), 3u);
  EXPECT_EQ(symbols[0].bytes, "left");
  EXPECT_EQ(symbols[1].bytes, "right");
  EXPECT_EQ(symbols[2].bytes, "below");
  EXPECT_EQ(symbols[2].format, "Code128");
  EXPECT_GE(symbols[1].corners[0].x, 560);  // positions are in the sheet's pixels
}

TEST(ImageFiles, ASheetOfOneLabelGivesEachCopy) {
  // Debian's zxing-cpp aborts when asked for every symbol of such a sheet.
  image::GreyImage sheet = picturekit::Blank(1000, 600);
  const image::GreyImage label = DrawSymbol("Code128", "4600000000008", 2);
  for (const auto& [x, y] : {std::pair{30, 40}, {520, 40}, {30, 330}})
    picturekit::Paste(sheet, label, x, y);
  picturekit::Paste(sheet, picturekit::QuarterTurn(label), 850, 200);
  const std::vector<image::Symbol> symbols = image::ReadSymbols(std::move(sheet));
  ASSERT_EQ(symbols.size(), 4u);
  for (const image::Symbol& symbol : symbols) EXPECT_EQ(symbol.bytes, "4600000000008");
  // The top row left to right; the turned one reaches down beside the third,
  // so those two are a row, the third first.
  EXPECT_LT(symbols[0].corners[0].x, 200);
  EXPECT_GT(symbols[1].corners[0].x, 500);
  EXPECT_LT(symbols[2].corners[0].x, 200);
  EXPECT_GT(symbols[3].corners[0].x, 800);
  EXPECT_GT(symbols[3].corners[2].y - symbols[3].corners[0].y, 200) << "the whole of its bars";
}

TEST(ImageFiles, ALargeSheetReadsEveryKindWhereverItIs) {
  // Over 4 megapixels: PDF417 is read in bands there, DataMatrix off the centre
  // lines by the sweep, and a large symbol in the smaller layers.
  image::GreyImage sheet = picturekit::Blank(2400, 2000);
  picturekit::Paste(sheet, DrawSymbol("DataMatrix", "corner", 4), 60, 50);
  picturekit::Paste(sheet, DrawSymbol("QRCode", "large", 40), 900, 300);
  picturekit::Paste(sheet, DrawSymbol("PDF417", "stacked rows", 3), 100, 1520);
  picturekit::Paste(sheet, DrawSymbol("Code128", "bars", 3), 1700, 1800);
  const std::vector<image::Symbol> symbols = image::ReadSymbols(std::move(sheet));
  std::vector<std::string> read;
  for (const image::Symbol& symbol : symbols) read.push_back(symbol.format + ":" + symbol.bytes);
  EXPECT_EQ(read, (std::vector<std::string>{"DataMatrix:corner", "QRCode:large",
                                            "PDF417:stacked rows", "Code128:bars"}));
}

TEST(ImageFiles, LightOnDarkReadsAndAnEmptyPictureHasNone) {
  image::GreyImage dark = DrawSymbol("QRCode", "dark theme", 4);
  for (std::size_t i = 0; i < dark.size(); ++i)
    dark.data()[i] = static_cast<std::uint8_t>(255 - dark.data()[i]);
  const std::vector<image::Symbol> symbols = image::ReadSymbols(std::move(dark));
  ASSERT_EQ(symbols.size(), 1u);
  EXPECT_EQ(symbols[0].bytes, "dark theme");

  image::GreyImage noise = picturekit::Blank(400, 300, 128);
  picturekit::AddNoise(noise, 100, 3);
  EXPECT_TRUE(image::ReadSymbols(std::move(noise)).empty());
  EXPECT_STREQ(image::NoBarcodeIn("noise.png").what(), "noise.png: no barcode found");
}

TEST(ImageFiles, PdfPagesAreRenderedWhenPopplerIsThere) {
  picturekit::TempFolder folder;
  const std::string pdf = folder.File("label.pdf");
  picturekit::WriteBytes(pdf, picturekit::PdfOf(DrawSymbol("DataMatrix", "from a PDF", 4)));
  const char* path = std::getenv("PATH");
  {
    // Without poppler-utils on the PATH: said, not guessed.
    setenv("PATH", folder.File("nothing").c_str(), 1);
    try {
      ReadFile(pdf);
      ADD_FAILURE() << "read without pdftoppm";
    } catch (const image::Error& error) {
      EXPECT_EQ(error.failure(), Failure::PdfToolMissing);
      EXPECT_NE(std::string(error.what()).find("poppler-utils"), std::string::npos) << error.what();
    }
    setenv("PATH", path, 1);
  }
  if (access("/usr/bin/pdftoppm", X_OK) != 0) GTEST_SKIP() << "poppler-utils is not installed";
  std::vector<int> pages;
  std::vector<image::Symbol> symbols;
  image::ForEachImage(pdf, {}, [&](int page, image::GreyImage&& picture) {
    pages.push_back(page);
    symbols = image::ReadSymbols(std::move(picture));
  });
  EXPECT_EQ(pages, std::vector<int>{1});
  ASSERT_EQ(symbols.size(), 1u);
  EXPECT_EQ(symbols[0].bytes, "from a PDF");
  // A page over the limit is refused from its size, before it is rendered.
  EXPECT_THROW(
      try {
        ReadFile(pdf, {1000, 300});
      } catch (const image::Error& error) {
        EXPECT_EQ(error.failure(), Failure::TooLarge) << error.what();
        throw;
      },
      image::Error);
}

TEST(ImageFiles, EachBadFileFailsAsDocumented) {
  picturekit::TempFolder folder;
  const std::string good = folder.File("good.png");
  image::WritePng(DrawSymbol("QRCode", "whole", 4), good);
  const std::string png = picturekit::ReadBytes(good);
  const image::GreyImage picture = DrawSymbol("QRCode", "whole", 4);
  ASSERT_NE(stbi_write_jpg(folder.File("good.jpg").c_str(), picture.width(), picture.height(), 1,
                           picture.data(), 90),
            0);
  const std::string jpeg = picturekit::ReadBytes(folder.File("good.jpg"));
  // A PNG header (signature, IHDR) announcing 30000 x 30000 pixels and nothing after it:
  // refused for its size, which proves the size is known before any decoding.
  const std::string huge =
      png.substr(0, 16) + std::string("\x00\x00\x75\x30\x00\x00\x75\x30", 8) + png.substr(24, 9);
  struct BadFile {
    const char* name;
    std::string bytes;
    Failure failure;
    image::LoadOptions options;
  };
  const BadFile cases[] = {
      {"truncated.png", png.substr(0, png.size() / 2), Failure::Corrupt, {}},
      {"header-only.png", png.substr(0, 20), Failure::Corrupt, {}},
      {"truncated.jpg", jpeg.substr(0, jpeg.size() / 2), Failure::Corrupt, {}},
      {"header-only.jpg", jpeg.substr(0, 40), Failure::Corrupt, {}},
      {"huge.png", huge, Failure::TooLarge, {}},
      {"limited.png", png, Failure::TooLarge, {100, 300}},
      {"notes.png", "just some text\n", Failure::UnsupportedFormat, {}},
      {"empty.png", "", Failure::UnsupportedFormat, {}},
      {"ascii.pbm", "P1\n2 2\n1 0 0 1\n", Failure::UnsupportedFormat, {}},
      {"broken.pdf", "%PDF-1.4\ngarbage", Failure::PdfFailed, {}},
  };
  for (const BadFile& each : cases) {
    SCOPED_TRACE(each.name);
    const std::string path = folder.File(each.name);
    picturekit::WriteBytes(path, each.bytes);
    if (each.failure == Failure::PdfFailed && access("/usr/bin/pdfinfo", X_OK) != 0) continue;
    try {
      ReadFile(path, each.options);
      ADD_FAILURE() << "read";
    } catch (const image::Error& error) {
      EXPECT_EQ(error.failure(), each.failure) << error.what();
      EXPECT_EQ(std::string(error.what()).rfind(path, 0), 0u) << "names the file: " << error.what();
    }
  }
  for (const std::string& path : {folder.File("missing.png"), folder.File("")}) {
    try {
      ReadFile(path);
      ADD_FAILURE() << "read " << path;
    } catch (const image::Error& error) {
      EXPECT_EQ(error.failure(), Failure::Unreadable) << error.what();
    }
  }
}

}  // namespace
