// Barcodes as a scanner reads them off a picture: every symbol of image
// files, PDF pages, a window or the screen, as the characters a scanner
// sends (the symbology identifier first with --aim), and the image engine's
// failures as the command's exit statuses.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/cli/barcode.h"
#include "host/cli/output.h"
#include "host/image/symbols.h"

namespace cli {

// One symbol found, where it was found.
struct FoundSymbol {
  std::string origin;  // "label.png #2", "doc.pdf page 3 #1", "screen #1"
  image::Symbol symbol;
};

// What to grab when scanning the screen.
struct ScreenChoice {
  std::string window;  // an id (0x...) or a title; "" for none
  std::string region;  // WIDTHxHEIGHT+X+Y; "" for none
  bool whole = false;
  long pid = 0;  // the application whose window to grab, when nothing else is chosen
};

// Every symbol of the file (each page of a PDF), in reading order. Throws
// CliError with the status of the engine's failure.
std::vector<FoundSymbol> SymbolsOfFile(const std::string& path);
// The same of the screen, or the part chosen; none there is CliError
// (kExitNoBarcode), naming the windows that cover a grabbed window.
std::vector<FoundSymbol> SymbolsOnScreen(const ScreenChoice& choice);

// `pick` (1-based) keeps only that symbol of each source; none found, or no
// such one, is CliError(kExitNoBarcode).
std::vector<FoundSymbol> Picked(std::vector<FoundSymbol> found, int pick,
                                const std::string& source);

// The characters a scanner sends for it: text that is UTF-8 as its
// characters, anything else byte for byte; with `aim`, the symbology
// identifier in front.
Barcode SymbolBarcode(const FoundSymbol& found, bool aim);

// {"format", "symbologyId", "gs1", "corners"} for JSON lines.
Json SymbolJson(const image::Symbol& symbol);

}  // namespace cli
