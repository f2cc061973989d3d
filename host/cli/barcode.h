// Barcodes as a runner gives them (arguments, Base64, GS1 AI notation, lines
// of a file) and as a device gets them: the exact characters it posts. Every
// command gives the same input the same verdict, in the control channel's
// words: not UTF-8, not Base64, U+0000 (which host text cannot carry), too
// long.
#pragma once

#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct Barcode {
  std::string origin;   // where it came from: "argument 2", "codes.txt:5", "--gs1 1"
  std::string given;    // as given, for people (valid UTF-8)
  std::u16string data;  // the characters the device posts
};

// A barcode in UTF-8. Throws CliError(kExitUsage) naming `origin` and the reason.
Barcode TextBarcode(std::string_view utf8, const std::string& origin);
// Base64 of raw bytes (strict), each byte one character U+0000..U+00FF.
Barcode Base64Barcode(std::string_view base64, const std::string& origin);
// A GS1 element string built from AI notation or a GS1 Digital Link URI,
// checked against GS1's dictionary unless `check` is off (a code GS1 would
// refuse, for negative tests); the notation must parse either way.
Barcode Gs1Barcode(std::string_view notation, const std::string& origin, bool check = true);

// The lines of a barcode file, as runners write them: a UTF-8 byte order
// mark is skipped, and so are blank lines and lines whose first non-blank
// character is "#"; "gs1:" starts a line of AI notation; every other line is
// one barcode (Base64 with `base64`), with the escapes \xHH and \u{H...}
// (one character), \n, \r, \t, \\ and \# (a barcode that starts with "#").
std::vector<Barcode> ReadBarcodeFile(std::istream& in, const std::string& name, bool base64,
                                     bool checkGs1 = true);

// The escapes of one line undone; throws CliError(kExitUsage) naming
// `origin` and the column of a bad escape.
std::u16string Unescape(std::string_view line, const std::string& origin);

// The line that asks the control channel to post `data`: SCAN with UTF-8,
// or SCAN64 when the data holds a line break (every character then must be
// at most U+00FF: CliError(kExitUsage) otherwise).
std::string ChannelLine(const Barcode& barcode);

}  // namespace cli
