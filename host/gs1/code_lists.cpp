// Checks against code lists: ISO countries and currencies (from iso-codes,
// see data.h), sexes, package types and AIDC media types.
#include <set>

#include "host/gs1/data.h"
#include "host/gs1/lint_rules.h"

namespace gs1 {

namespace {

using CodeSet = std::set<std::string, std::less<>>;

CodeSet Codes(std::string_view list) {
  CodeSet codes;
  for (std::size_t at = 0; at < list.size();) {
    std::size_t end = list.find(' ', at);
    if (end == std::string_view::npos) end = list.size();
    if (end > at) codes.emplace(list.substr(at, end - at));
    at = end + 1;
  }
  return codes;
}

// The package type codes of UN/ECE Recommendation 21 (two characters), and
// those GS1 adds to it (three).
constexpr std::string_view kPackageTypes =
    "1A 1B 1D 1F 1G 1W 2C 3A 3H 43 44 4A 4B 4C 4D 4F 4G 4H 5H 5L 5M 6H 6P 7A 7B 8A 8B 8C "
    "AA AB AC AD AE AF AG AH AI AJ AL AM AP AT AV B4 BA BB BC BD BE BF BG BH BI BJ BK BL BM BN "
    "BO BP BQ BR BS BT BU BV BW BX BY BZ CA CB CC CD CE CF CG CH CI CJ CK CL CM CN CO CP CQ CR "
    "CS CT CU CV CW CX CY CZ DA DB DC DG DH DI DJ DK DL DM DN DP DR DS DT DU DV DW DX DY EC ED "
    "EE EF EG EH EI EN FB FC FD FE FI FL FO FP FR FT FW FX GB GI GL GR GU GY GZ HA HB HC HG HN "
    "HR IA IB IC ID IE IF IG IH IK IL IN IZ JB JC JG JR JT JY KG KI LE LG LT LU LV LZ MA MB MC "
    "ME MR MS MT MW MX NA NE NF NG NS NT NU NV OA OB OC OD OE OF OK OT OU P2 PA PB PC PD PE PF "
    "PG PH PI PJ PK PL PN PO PP PR PT PU PV PX PY PZ QA QB QC QD QF QG QH QJ QK QL QM QN QP QQ "
    "QR QS RD RG RJ RK RL RO RT RZ SA SB SC SD SE SH SI SK SL SM SO SP SS ST SU SV SW SX SY SZ "
    "T1 TB TC TD TE TG TI TK TL TN TO TR TS TT TU TV TW TY TZ UC UN VA VG VI VK VL VN VO VP VQ "
    "VR VS VY WA WB WC WD WF WG WH WJ WK WL WM WN WP WQ WR WS WT WU WV WW WX WY WZ XA XB XC XD "
    "XF XG XH XJ XK YA YB YC YD YF YG YH YJ YK YL YM YN YP YQ YR YS YT YV YW YX YY YZ ZA ZB ZC "
    "ZD ZF ZG ZH ZJ ZK ZL ZM ZN ZP ZQ ZR ZS ZT ZU ZV ZW ZX ZY ZZ "
    "200 201 202 203 204 205 206 210 211 212 BBG BPG BRI CMS CNG GTG MPG PUG STR WRP X11";

}  // namespace

bool IsIso3166Numeric(std::string_view code) {
  static const CodeSet codes = Codes(data::kIso3166Numeric);
  return codes.count(code) != 0;
}

bool IsIso3166Alpha2(std::string_view code) {
  static const CodeSet codes = Codes(data::kIso3166Alpha2);
  return codes.count(code) != 0;
}

bool IsIso4217Numeric(std::string_view code) {
  static const CodeSet codes = Codes(data::kIso4217Numeric);
  return codes.count(code) != 0;
}

namespace lint {

LintResult Iso3166(std::string_view part) {
  if (IsIso3166Numeric(part)) return std::nullopt;
  return std::string(part) + " is no ISO 3166 country code";
}

LintResult Iso3166Or999(std::string_view part) {
  if (part == "999" || IsIso3166Numeric(part)) return std::nullopt;
  return std::string(part) + " is no ISO 3166 country code, nor 999";
}

LintResult Iso3166Alpha2(std::string_view part) {
  if (IsIso3166Alpha2(part)) return std::nullopt;
  return std::string(part) + " is no ISO 3166 alpha-2 country code";
}

LintResult Iso4217(std::string_view part) {
  if (IsIso4217Numeric(part)) return std::nullopt;
  return std::string(part) + " is no ISO 4217 currency code";
}

LintResult Iso5218(std::string_view part) {
  if (part == "0" || part == "1" || part == "2" || part == "9") return std::nullopt;
  return std::string(part) +
         " is no ISO/IEC 5218 sex code (0 not known, 1 male, 2 female, 9 not applicable)";
}

LintResult PackageType(std::string_view part) {
  static const CodeSet codes = Codes(kPackageTypes);
  if (codes.count(part) != 0) return std::nullopt;
  return std::string(part) + " is no package type code (UN/ECE Recommendation 21, or GS1's)";
}

LintResult MediaType(std::string_view part) {
  const unsigned long long type = Number(part);
  if ((type >= 1 && type <= 10) || type >= 80) return std::nullopt;
  return std::string(part) + " is no AIDC media type (01 to 10, or 80 to 99 for internal use)";
}

}  // namespace lint

}  // namespace gs1
