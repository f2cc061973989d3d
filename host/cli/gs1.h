// GS1 element strings from human-readable AI notation, for `wedgesim scan
// --gs1 '(01)04600000000008(21)ABC'`: what a scanner sends for a GS1 code,
// with a GS (0x1D) after each field whose length is not predefined, unless
// it is the last. The work is host/gs1's (see host/gs1/syntax.h).
#pragma once

#include <string>
#include <string_view>

namespace cli {

inline constexpr char kGroupSeparator = '\x1d';

// The element string, or throws CliError(kExitUsage) listing every problem
// ("--gs1: ...; ..."): anything GS1's Barcode Syntax Dictionary refuses (an
// unknown AI, a value's length, characters, check digits, dates, codes, a
// missing or excluded partner AI) or notation that cannot be read.
std::string BuildGs1(std::string_view notation);

}  // namespace cli
