// Check digits, check characters and company prefixes of GS1 keys, and the
// IBAN's mod-97 check.
#include <algorithm>
#include <array>

#include "host/gs1/characters.h"
#include "host/gs1/lint_rules.h"

namespace gs1::lint {

namespace {

constexpr std::string_view kCset82 =
    "!\"%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
// The check characters of the alphanumeric pair: digits and capitals with
// 0, 1, I and O left out, so none is mistaken for another.
constexpr std::string_view kCset32 = "23456789ABCDEFGHJKLMNPQRSTUVWXYZ";

std::string Digits(int value) { return std::string(1, static_cast<char>('0' + value)); }

LintResult CompanyPrefixAt(std::string_view part, std::size_t position) {
  // The shortest GS1 Company Prefix has 4 digits; which prefixes exist is
  // GS1's register, not a rule of the value.
  constexpr std::size_t kShortest = 4;
  const std::size_t from = position - 1;
  const std::string where = " from character " + std::to_string(position);
  if (part.size() < from + kShortest)
    return "too short to hold a GS1 Company Prefix (4 digits or more)" + where;
  const std::string_view prefix = part.substr(from, kShortest);
  if (!std::all_of(prefix.begin(), prefix.end(), IsDigit))
    return "\"" + std::string(part) + "\" holds no GS1 Company Prefix" + where +
           " (it starts with 4 digits or more)";
  return std::nullopt;
}

}  // namespace

LintResult Csum(std::string_view part) {
  int sum = 0;
  // From the right, the digits before the check digit weigh 3, 1, 3, ...
  for (std::size_t i = 0; i + 1 < part.size(); ++i)
    sum += (part[part.size() - 2 - i] - '0') * (i % 2 == 0 ? 3 : 1);
  const int expected = (10 - sum % 10) % 10;
  if (part.back() - '0' == expected) return std::nullopt;
  return "wrong check digit " + std::string(1, part.back()) + ", expected " + Digits(expected);
}

LintResult CsumAlpha(std::string_view part) {
  constexpr std::array<int, 23> kPrimes = {2,  3,  5,  7,  11, 13, 17, 19, 23, 29, 31, 37,
                                           41, 43, 47, 53, 59, 61, 67, 71, 73, 79, 83};
  if (part.size() < 3) return "too short for a value and its two check characters";
  const std::string_view data = part.substr(0, part.size() - 2);
  if (data.size() > kPrimes.size()) return "too long for its two check characters";
  int sum = 0;
  // The rightmost character weighs 2, the one before it 3, and so on up the primes.
  for (std::size_t i = 0; i < data.size(); ++i) {
    const std::size_t value = kCset82.find(data[data.size() - 1 - i]);
    sum += static_cast<int>(value) * kPrimes[i];
  }
  sum %= 1021;
  const std::string expected{kCset32[static_cast<std::size_t>(sum / 32)],
                             kCset32[static_cast<std::size_t>(sum % 32)]};
  if (part.substr(data.size()) == expected) return std::nullopt;
  return "wrong check characters " + std::string(part.substr(data.size())) + ", expected " +
         expected;
}

LintResult GcpPos1(std::string_view part) { return CompanyPrefixAt(part, 1); }
LintResult GcpPos2(std::string_view part) { return CompanyPrefixAt(part, 2); }

LintResult Iban(std::string_view part) {
  for (const char c : part)
    if (!IsDigit(c) && (c < 'A' || c > 'Z'))
      return "an IBAN holds digits and capital letters only, not " + ShowCharacter(c);
  if (part.size() < 5) return "\"" + std::string(part) + "\" is too short for an IBAN";
  const std::string_view country = part.substr(0, 2), check = part.substr(2, 2);
  if (!IsIso3166Alpha2(country))
    return "an IBAN starts with an ISO 3166 country code, not \"" + std::string(country) + "\"";
  if (!IsDigit(check[0]) || !IsDigit(check[1]))
    return "the IBAN's check digits \"" + std::string(check) + "\" are not digits";
  // The account part, then the country with check digits 00; letters count
  // as 10 to 35.
  const std::string rearranged = std::string(part.substr(4)) + std::string(country) + "00";
  int remainder = 0;
  for (const char c : rearranged)
    remainder =
        IsDigit(c) ? (remainder * 10 + (c - '0')) % 97 : (remainder * 100 + c - 'A' + 10) % 97;
  const int expected = 98 - remainder;
  if ((check[0] - '0') * 10 + (check[1] - '0') == expected) return std::nullopt;
  return "wrong IBAN check digits " + std::string(check) + ", expected " + Digits(expected / 10) +
         Digits(expected % 10);
}

}  // namespace gs1::lint
