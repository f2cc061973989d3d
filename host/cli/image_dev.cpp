#include "host/cli/image_dev.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>

#include "host/cli/commands.h"
#include "host/cli/errors.h"
#include "host/image/image_error.h"
#include "host/image/image_file.h"
#include "host/image/label.h"
#include "host/image/screen_grab.h"
#include "host/image/symbols.h"

namespace cli {
namespace {

// What a missing piece of the machine is (exit 3), or a failed read (exit 1).
CliError Failed(const image::Error& error) {
  switch (error.failure()) {
    case image::Failure::NoDisplay:
    case image::Failure::PdfToolMissing:
    case image::Failure::LabelUnavailable:
    case image::Failure::ReadUnavailable:
      return CliError(kExitEnvironment, error.what());
    default:
      return CliError(kExitFailed, error.what());
  }
}

// A JSON string of bytes, one character each (as the channel's SCAN64 takes them).
std::string QuoteBytes(const std::string& bytes) {
  std::string out = "\"";
  for (const char character : bytes) {
    const auto byte = static_cast<unsigned char>(character);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (byte < 0x20 || byte >= 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out + "\"";
}

void Print(const std::string& source, int page, const image::Symbol& symbol) {
  std::cout << "{\"source\": " << QuoteBytes(source) << ", \"page\": " << page
            << ", \"format\": " << QuoteBytes(symbol.format)
            << ", \"symbologyId\": " << QuoteBytes(symbol.symbologyId)
            << ", \"gs1\": " << (symbol.gs1 ? "true" : "false")
            << ", \"bytes\": " << QuoteBytes(symbol.bytes) << "}" << std::endl;
}

image::Rect ParseRegion(const std::string& text) {
  image::Rect region;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%dx%d%d%d%c", &region.width, &region.height, &region.x, &region.y,
                  &tail) != 4 ||
      region.width <= 0 || region.height <= 0)
    throw CliError(kExitUsage, "--region takes WxH+X+Y, e.g. 400x300+10+20: " + text);
  return region;
}

}  // namespace

ImageDevCommands::ImageDevCommands(CLI::App& app) {
  read = app.add_subcommand("_read", "read every barcode in image files, PDFs or the X screen");
  read->group("");
  read->add_option("file", files_, "PNG, JPEG, PNM or PDF files");
  read->add_flag("--screen", screen_, "the whole screen of DISPLAY");
  read->add_option("--window", window_, "a window by id (0x... or decimal)");
  read->add_option("--pid", pid_, "the application window of a process");
  read->add_option("--name", name_, "a window by title");
  read->add_option("--region", region_, "a part of the screen, WxH+X+Y");

  label = app.add_subcommand("_label", "render a barcode label to PNG");
  label->group("");
  label->add_option("symbology", symbology_, image::SymbologyNames())->required();
  label->add_option("data", data_, "what to encode; GS1 symbologies take (01)...(21)...")
      ->required();
  label->add_option("output", output_, "the PNG file to write")->required();
  label->add_option("--module", module_, "pixels a module");
  label->add_option("--quiet", quiet_, "modules of quiet zone (default: the symbology's)");
}

int ImageDevCommands::RunRead(const CommonOptions&) const {
  std::size_t found = 0;
  try {
    auto report = [&](const std::string& source, int page, image::GreyImage picture) {
      for (const image::Symbol& symbol : image::ReadSymbols(std::move(picture))) {
        Print(source, page, symbol);
        ++found;
      }
    };
    const bool grab =
        screen_ || !window_.empty() || pid_ != 0 || !name_.empty() || !region_.empty();
    if (grab) {
      image::ScreenGrabber grabber;
      std::uint32_t window = 0;
      if (!window_.empty()) window = static_cast<std::uint32_t>(std::stoul(window_, nullptr, 0));
      if (pid_ != 0) window = grabber.WindowOfPid(pid_);
      if (!name_.empty()) window = grabber.WindowNamed(name_);
      image::GreyImage picture = window != 0        ? grabber.GrabWindow(window)
                                 : !region_.empty() ? grabber.GrabRegion(ParseRegion(region_))
                                                    : grabber.GrabScreen();
      report("screen", 0, std::move(picture));
      if (found == 0) throw image::NoBarcodeIn("the screen");
      return kExitOk;
    }
    if (files_.empty()) throw CliError(kExitUsage, "_read: give files, or a part of the screen");
    for (const std::string& file : files_) {
      const std::size_t before = found;
      image::ForEachImage(file, {}, [&](int page, image::GreyImage&& picture) {
        report(file, page, std::move(picture));
      });
      if (found == before) throw image::NoBarcodeIn(file);
    }
    return kExitOk;
  } catch (const image::Error& error) {
    throw Failed(error);
  } catch (const std::logic_error&) {
    throw CliError(kExitUsage, "--window takes a window id: " + window_);
  }
}

int ImageDevCommands::RunLabel(const CommonOptions&) const {
  const std::optional<image::Symbology> symbology = image::SymbologyNamed(symbology_);
  if (!symbology)
    throw CliError(kExitUsage, "no symbology " + symbology_ +
                                   " (symbologies: " + image::SymbologyNames() + ")");
  try {
    image::WritePng(image::RenderLabel(data_, {*symbology, module_, quiet_, true}), output_);
  } catch (const image::Error& error) {
    throw Failed(error);
  }
  return kExitOk;
}

}  // namespace cli
