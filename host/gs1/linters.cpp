#include "host/gs1/linters.h"

#include <algorithm>
#include <cstdio>

#include "host/gs1/lint_rules.h"

namespace gs1 {

namespace lint {

namespace {

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

unsigned long long Number(std::string_view digits) {
  unsigned long long number = 0;
  for (const char c : digits) number = number * 10 + static_cast<unsigned>(c - '0');
  return number;
}

LintResult PercentEncoded(std::string_view part) {
  for (std::size_t i = 0; i < part.size(); ++i) {
    if (part[i] != '%') continue;
    if (i + 2 >= part.size() || !IsHex(part[i + 1]) || !IsHex(part[i + 2]))
      return "the '%' at character " + std::to_string(i + 1) +
             " does not start a percent escape (% and two hexadecimal digits)";
    i += 2;
  }
  return std::nullopt;
}

LintResult Hyphen(std::string_view part) {
  if (part == "-") return std::nullopt;
  return Quoted(part) + " is not \"-\"";
}

LintResult YesNo(std::string_view part) {
  if (part == "0" || part == "1") return std::nullopt;
  return Quoted(part) + " is neither 0 (no) nor 1 (yes)";
}

LintResult NonZero(std::string_view part) {
  if (Number(part) != 0) return std::nullopt;
  return Quoted(part) + " is zero, which it must not be";
}

LintResult Zero(std::string_view part) {
  if (part == "0") return std::nullopt;
  return Quoted(part) + " is not 0";
}

LintResult Winding(std::string_view part) {
  if (part == "0" || part == "1" || part == "9") return std::nullopt;
  return Quoted(part) + " is no winding direction (0 face out, 1 face in, 9 undefined)";
}

LintResult PieceOfTotal(std::string_view part) {
  const std::string_view piece = part.substr(0, part.size() / 2), total = part.substr(piece.size());
  if (Number(piece) == 0 || Number(total) == 0)
    return "piece " + std::string(piece) + " of total " + std::string(total) +
           ": neither may be zero";
  if (Number(piece) > Number(total))
    return "piece " + std::string(piece) + " is beyond the total " + std::string(total);
  return std::nullopt;
}

LintResult PositionInSequence(std::string_view part) {
  const std::size_t slash = part.find('/');
  const auto digits = [](std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (slash == std::string_view::npos || !digits(part.substr(0, slash)) ||
      !digits(part.substr(slash + 1)))
    return Quoted(part) + " is no position in a sequence (written as 1/2)";
  const unsigned long long position = Number(part.substr(0, slash)),
                           count = Number(part.substr(slash + 1));
  if (position == 0 || count == 0 || position > count)
    return Quoted(part) + ": the position must be 1 to the count, and the count not 0";
  return std::nullopt;
}

LintResult NoZeroPrefix(std::string_view part) {
  if (part.size() > 1 && part[0] == '0') return Quoted(part) + " starts with a 0";
  return std::nullopt;
}

LintResult Latitude(std::string_view part) {
  if (Number(part) <= 1800000000ULL) return std::nullopt;
  return Quoted(part) + " is beyond 1800000000 (the latitude plus 90 degrees, in 10^-7 degrees)";
}

LintResult Longitude(std::string_view part) {
  if (Number(part) <= 3600000000ULL) return std::nullopt;
  return Quoted(part) + " is beyond 3600000000 (the longitude plus 180 degrees, in 10^-7 degrees)";
}

LintResult ImporterIndex(std::string_view part) {
  if (part.size() == 1 && (InCset64(part[0]))) return std::nullopt;
  return Quoted(part) + " is no importer index (one of 0-9 A-Z a-z - _)";
}

LintResult HasNonDigit(std::string_view part) {
  if (std::any_of(part.begin(), part.end(), [](char c) { return c < '0' || c > '9'; }))
    return std::nullopt;
  return Quoted(part) + " holds only digits; it needs a character that is not one";
}

}  // namespace lint

bool InCset82(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         (c != '\0' && std::string_view("!\"%&'()*+,-./:;<=>?_").find(c) != std::string_view::npos);
}

bool InCset39(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '#' || c == '-' || c == '/';
}

bool InCset64(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

std::string ShowCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 0x20 && byte < 0x7f) return std::string("'") + c + "'";
  char hex[8];
  std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(byte));
  return hex;
}

const std::vector<Linter>& AllLinters() {
  using namespace lint;
  static const std::vector<Linter> linters = {
      {"csum", "GS1 mod-10 check digit", Csum},
      {"csumalpha", "GS1 alphanumeric check character pair", CsumAlpha},
      {"gcppos1", "a GS1 Company Prefix from its first character", GcpPos1},
      {"gcppos2", "a GS1 Company Prefix from its second character", GcpPos2},
      {"iban", "an IBAN (ISO 13616)", Iban},
      {"yymmdd", "a date YYMMDD", Yymmdd},
      {"yymmd0", "a date YYMMDD, day 00 for a whole month", Yymmd0},
      {"yyyymmdd", "a date YYYYMMDD", Yyyymmdd},
      {"hhmi", "a time HHMM", Hhmi},
      {"hh", "an hour 00 to 23", Hh},
      {"mi", "a minute 00 to 59", Mi},
      {"ss", "a second 00 to 59", Ss},
      {"iso3166", "an ISO 3166 numeric country code", Iso3166},
      {"iso3166999", "an ISO 3166 numeric country code or 999", Iso3166Or999},
      {"iso3166alpha2", "an ISO 3166 alpha-2 country code", Iso3166Alpha2},
      {"iso4217", "an ISO 4217 numeric currency code", Iso4217},
      {"iso5218", "an ISO/IEC 5218 sex code (0, 1, 2, 9)", Iso5218},
      {"packagetype", "a package type code (UN/ECE Recommendation 21, GS1)", PackageType},
      {"mediatype", "an AIDC media type (01-10, 80-99)", MediaType},
      {"couponcode", "a North American coupon code", CouponCode},
      {"couponposoffer", "a North American paperless coupon code", CouponPosOffer},
      {"pcenc", "percent escapes (% and two hexadecimal digits)", PercentEncoded},
      {"hyphen", "a hyphen", Hyphen},
      {"yesno", "0 (no) or 1 (yes)", YesNo},
      {"nonzero", "not zero", NonZero},
      {"zero", "0", Zero},
      {"winding", "a winding direction (0, 1, 9)", Winding},
      {"pieceoftotal", "piece of total, neither zero, piece <= total", PieceOfTotal},
      {"posinseqslash", "a position in a sequence, as n/m", PositionInSequence},
      {"nozeroprefix", "no leading zero", NoZeroPrefix},
      {"latitude", "a latitude, 0 to 1800000000", Latitude},
      {"longitude", "a longitude, 0 to 3600000000", Longitude},
      {"importeridx", "an importer index (0-9 A-Z a-z - _)", ImporterIndex},
      {"hasnondigit", "at least one character that is not a digit", HasNonDigit},
  };
  return linters;
}

const Linter* FindLinter(std::string_view name) {
  for (const Linter& linter : AllLinters())
    if (name == linter.name) return &linter;
  return nullptr;
}

}  // namespace gs1
