#include "host/cli/image_input.h"

#include <cstdio>
#include <cstdlib>

#include "host/cli/errors.h"
#include "host/image/image_error.h"
#include "host/image/image_file.h"
#include "host/image/screen_grab.h"
#include "text/utf.h"

namespace cli {

namespace {

ExitStatus StatusOf(image::Failure failure) {
  switch (failure) {
    case image::Failure::Unreadable:
    case image::Failure::UnsupportedFormat:
      return kExitBadImage;
    case image::Failure::Corrupt:
      return kExitTruncated;
    case image::Failure::TooLarge:
      return kExitTooLarge;
    case image::Failure::NoBarcode:
      return kExitNoBarcode;
    case image::Failure::LabelData:
      return kExitUsage;
    case image::Failure::PdfToolMissing:
    case image::Failure::NoDisplay:
    case image::Failure::BlackGrab:
    case image::Failure::LabelUnavailable:
    case image::Failure::ReadUnavailable:
      return kExitEnvironment;
    case image::Failure::PdfFailed:
    case image::Failure::NoWindow:
    case image::Failure::NotViewable:
    case image::Failure::GrabFailed:
    case image::Failure::WriteFailed:
      break;
  }
  return kExitFailed;
}

template <typename Work>
auto Translated(Work&& work) {
  try {
    return work();
  } catch (const image::Error& error) {
    throw CliError(StatusOf(error.failure()), error.what());
  }
}

void Add(std::vector<FoundSymbol>& found, const std::string& source,
         std::vector<image::Symbol> symbols) {
  for (std::size_t i = 0; i < symbols.size(); ++i)
    found.push_back({source + " #" + std::to_string(i + 1), std::move(symbols[i])});
}

image::Rect Region(const std::string& geometry) {
  image::Rect rect;
  char end = 0;
  if (std::sscanf(geometry.c_str(), "%dx%d+%d+%d%c", &rect.width, &rect.height, &rect.x, &rect.y,
                  &end) != 4 ||
      rect.width <= 0 || rect.height <= 0 || rect.x < 0 || rect.y < 0)
    throw CliError(kExitUsage, "--region: " + geometry + " is no WIDTHxHEIGHT+X+Y (640x480+0+0)");
  return rect;
}

}  // namespace

std::vector<FoundSymbol> SymbolsOfFile(const std::string& path) {
  return Translated([&] {
    std::vector<FoundSymbol> found;
    image::ForEachImage(path, {}, [&](int page, image::GreyImage&& picture) {
      const std::string source = page == 0 ? path : path + " page " + std::to_string(page);
      Add(found, source, image::ReadSymbols(std::move(picture)));
    });
    return found;
  });
}

std::vector<FoundSymbol> SymbolsOnScreen(const ScreenChoice& choice) {
  return Translated([&] {
    image::ScreenGrabber grabber;
    image::GreyImage picture;
    std::string source = "screen";
    std::uint32_t window = 0;
    if (!choice.region.empty()) {
      picture = grabber.GrabRegion(Region(choice.region));
      source = "region " + choice.region;
    } else if (!choice.window.empty()) {
      char* end = nullptr;
      const unsigned long id = std::strtoul(choice.window.c_str(), &end, 0);
      const bool numeric = *end == '\0' && id != 0;
      window = numeric ? static_cast<std::uint32_t>(id) : grabber.WindowNamed(choice.window);
      picture = grabber.GrabWindow(window);
      source = "window " + choice.window;
    } else if (!choice.whole && choice.pid != 0) {
      window = grabber.WindowOfPid(static_cast<std::uint32_t>(choice.pid));
      picture = grabber.GrabWindow(window);
      source = "the window of process " + std::to_string(choice.pid);
    } else {
      picture = grabber.GrabScreen();
    }
    std::vector<FoundSymbol> found;
    Add(found, source, image::ReadSymbols(std::move(picture)));
    if (!found.empty()) return found;
    // A window is read as it is seen: say what hides it, the likeliest cause.
    std::string message = image::NoBarcodeIn(source == "screen" ? "the screen" : source).what();
    const std::vector<std::string> covering =
        window != 0 ? grabber.WindowsCovering(window) : std::vector<std::string>{};
    for (std::size_t i = 0; i < covering.size(); ++i)
      message +=
          (i == 0 ? "; it is read as it is seen, and windows above it cover part of it: " : ", ") +
          covering[i];
    throw CliError(kExitNoBarcode, message);
  });
}

std::vector<FoundSymbol> Picked(std::vector<FoundSymbol> found, int pick,
                                const std::string& source) {
  if (found.empty()) throw CliError(kExitNoBarcode, image::NoBarcodeIn(source).what());
  if (pick == 0) return found;
  if (pick > static_cast<int>(found.size()))
    throw CliError(kExitNoBarcode, source + " holds " + Count(found.size(), "barcode") + ", not " +
                                       std::to_string(pick) + " (--pick)");
  return {found[static_cast<std::size_t>(pick - 1)]};
}

Barcode SymbolBarcode(const FoundSymbol& found, bool aim) {
  const std::string content = (aim ? found.symbol.symbologyId : "") + found.symbol.bytes;
  std::u16string data;
  if (!wedgesim::text::Utf8ToUtf16(content, &data)) {
    data.clear();
    for (const char byte : content) data += static_cast<char16_t>(static_cast<unsigned char>(byte));
  }
  Barcode barcode{found.origin, wedgesim::text::Utf16ToUtf8(data), data};
  if (barcode.data.find(u'\0') != std::u16string::npos)
    throw CliError(kExitUsage, found.origin +
                                   ": nul: the barcode holds a 0 byte, which host "
                                   "text cannot carry");
  return barcode;
}

Json SymbolJson(const image::Symbol& symbol) {
  Json value;
  value["format"] = symbol.format;
  value["symbologyId"] = symbol.symbologyId;
  value["gs1"] = symbol.gs1;
  value["corners"] = Json::array();
  for (const image::Point& corner : symbol.corners)
    value["corners"].push_back(Json::array({corner.x, corner.y}));
  return value;
}

}  // namespace cli
