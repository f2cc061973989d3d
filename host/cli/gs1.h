// GS1 element strings from human-readable AI notation, for `wedgesim scan
// --gs1 '(01)04600000000008(21)ABC'`: what a scanner sends for a GS1 code,
// with a GS (0x1D) after each field whose length is not predefined, unless
// it is the last.
#pragma once

#include <string>
#include <string_view>

namespace cli {

inline constexpr char kGroupSeparator = '\x1d';

// The element string, or throws CliError(kExitUsage) naming what is wrong:
// an unknown AI, a value of the wrong length or characters, a wrong GTIN,
// SSCC or GLN check digit.
std::string BuildGs1(std::string_view notation);

}  // namespace cli
