// Dates and times: YYMMDD (day 00 allowed where the AI takes a whole
// month), YYYYMMDD, HHMM and its parts.
#include "host/gs1/lint_rules.h"

namespace gs1::lint {

namespace {

constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

int Two(std::string_view digits, std::size_t at) {
  return (digits[at] - '0') * 10 + (digits[at + 1] - '0');
}

// Why day `day` of `month` is no day, given whether the year is a leap year.
LintResult DayOf(std::string_view date, int month, int day, bool leap, bool dayZero) {
  if (month < 1 || month > 12)
    return std::string(date) + " is no date (there is no month " + std::to_string(month) + ")";
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  if (day == 0 && dayZero) return std::nullopt;
  if (day >= 1 && day <= days) return std::nullopt;
  std::string why = std::string(kMonths[month - 1]) + " has no day " + std::to_string(day);
  if (month == 2 && day == 29) why = "February has no day 29: not a leap year";
  return std::string(date) + " is no date (" + why + ")";
}

// A two-digit year is read within a century around today (19YY or 20YY
// until 2049, 20YY or 21YY after): every multiple of 4 in that window is a
// leap year but 2100, which the window reaches only from 2050 on.
LintResult ShortDate(std::string_view date, bool dayZero) {
  const int year = Two(date, 0);
  return DayOf(date, Two(date, 2), Two(date, 4), year % 4 == 0, dayZero);
}

LintResult Below(std::string_view part, int limit, const char* what) {
  if (Two(part, 0) < limit) return std::nullopt;
  return std::string(part) + " is no " + what + " (00 to " + std::to_string(limit - 1) + ")";
}

}  // namespace

LintResult Yymmdd(std::string_view part) { return ShortDate(part, false); }
LintResult Yymmd0(std::string_view part) { return ShortDate(part, true); }

LintResult Yyyymmdd(std::string_view part) {
  const int year = Two(part, 0) * 100 + Two(part, 2);
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return DayOf(part, Two(part, 4), Two(part, 6), leap, false);
}

LintResult Hhmi(std::string_view part) {
  if (Two(part, 0) > 23)
    return std::string(part) + " is no time (hour " + std::string(part.substr(0, 2)) +
           "; hours run 00 to 23)";
  if (Two(part, 2) > 59)
    return std::string(part) + " is no time (minute " + std::string(part.substr(2, 2)) +
           "; minutes run 00 to 59)";
  return std::nullopt;
}

LintResult Hh(std::string_view part) { return Below(part, 24, "hour"); }
LintResult Mi(std::string_view part) { return Below(part, 60, "minute"); }
LintResult Ss(std::string_view part) { return Below(part, 60, "second"); }

}  // namespace gs1::lint
