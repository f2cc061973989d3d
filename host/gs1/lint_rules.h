// The linters, one function each (see linters.h for what they receive and
// return); linters.cpp names them for the dictionary.
#pragma once

#include "host/gs1/linters.h"

namespace gs1::lint {

// Check digits and company prefixes (check_digits.cpp).
LintResult Csum(std::string_view part);
LintResult CsumAlpha(std::string_view part);
LintResult GcpPos1(std::string_view part);
LintResult GcpPos2(std::string_view part);
LintResult Iban(std::string_view part);

// Dates and times (dates.cpp).
LintResult Yymmdd(std::string_view part);
LintResult Yymmd0(std::string_view part);
LintResult Yyyymmdd(std::string_view part);
LintResult Hhmi(std::string_view part);
LintResult Hh(std::string_view part);
LintResult Mi(std::string_view part);
LintResult Ss(std::string_view part);

// Code lists (code_lists.cpp).
LintResult Iso3166(std::string_view part);
LintResult Iso3166Or999(std::string_view part);
LintResult Iso3166Alpha2(std::string_view part);
LintResult Iso4217(std::string_view part);
LintResult Iso5218(std::string_view part);
LintResult PackageType(std::string_view part);
LintResult MediaType(std::string_view part);

// North American coupons (coupons.cpp).
LintResult CouponCode(std::string_view part);
LintResult CouponPosOffer(std::string_view part);

// What is left (linters.cpp).
LintResult PercentEncoded(std::string_view part);
LintResult Hyphen(std::string_view part);
LintResult YesNo(std::string_view part);
LintResult NonZero(std::string_view part);
LintResult Zero(std::string_view part);
LintResult Winding(std::string_view part);
LintResult PieceOfTotal(std::string_view part);
LintResult PositionInSequence(std::string_view part);
LintResult NoZeroPrefix(std::string_view part);
LintResult Latitude(std::string_view part);
LintResult Longitude(std::string_view part);
LintResult ImporterIndex(std::string_view part);
LintResult HasNonDigit(std::string_view part);

// A value of digits (at most 18), for the range checks.
unsigned long long Number(std::string_view digits);

}  // namespace gs1::lint
