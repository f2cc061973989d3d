// The data cmake/Gs1Data.cmake writes into the build tree at build time.
#pragma once

namespace gs1::data {

// GS1's Barcode Syntax Dictionary, byte for byte.
extern const char kDictionary[];
// Codes separated by single spaces: "004 008 ...", "AD AE ...", "008 012 ...".
extern const char kIso3166Numeric[];
extern const char kIso3166Alpha2[];
extern const char kIso4217Numeric[];

}  // namespace gs1::data
