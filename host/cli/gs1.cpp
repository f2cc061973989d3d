#include "host/cli/gs1.h"

#include <cctype>
#include <cstddef>
#include <vector>

#include "host/cli/errors.h"

namespace cli {

namespace {

// One Application Identifier (or a family of them: `digits` long, starting
// with `prefix`) and the values it takes.
struct Identifier {
  const char* prefix;
  std::size_t digits;  // length of the AI itself
  std::size_t minimum, maximum;
  bool numeric;
  bool checkDigit;  // the last digit is a mod-10 check digit
  const char* name;
};

// The identifiers in common use (GS1 General Specifications, section 3).
constexpr Identifier kIdentifiers[] = {
    {"00", 2, 18, 18, true, true, "SSCC"},
    {"01", 2, 14, 14, true, true, "GTIN"},
    {"02", 2, 14, 14, true, true, "CONTENT"},
    {"10", 2, 1, 20, false, false, "BATCH/LOT"},
    {"11", 2, 6, 6, true, false, "PROD DATE"},
    {"12", 2, 6, 6, true, false, "DUE DATE"},
    {"13", 2, 6, 6, true, false, "PACK DATE"},
    {"15", 2, 6, 6, true, false, "BEST BEFORE"},
    {"16", 2, 6, 6, true, false, "SELL BY"},
    {"17", 2, 6, 6, true, false, "USE BY"},
    {"20", 2, 2, 2, true, false, "VARIANT"},
    {"21", 2, 1, 20, false, false, "SERIAL"},
    {"22", 2, 1, 20, false, false, "CPV"},
    {"235", 3, 1, 28, false, false, "TPX"},
    {"240", 3, 1, 30, false, false, "ADDITIONAL ID"},
    {"241", 3, 1, 30, false, false, "CUST. PART No."},
    {"242", 3, 1, 6, true, false, "MTO VARIANT"},
    {"243", 3, 1, 20, false, false, "PCN"},
    {"250", 3, 1, 30, false, false, "SECONDARY SERIAL"},
    {"251", 3, 1, 30, false, false, "REF. TO SOURCE"},
    {"253", 3, 13, 30, false, false, "GDTI"},
    {"254", 3, 1, 20, false, false, "GLN EXTENSION"},
    {"255", 3, 13, 25, true, false, "GCN"},
    {"30", 2, 1, 8, true, false, "VAR. COUNT"},
    {"31", 4, 6, 6, true, false, "trade measure"},
    {"32", 4, 6, 6, true, false, "trade measure"},
    {"33", 4, 6, 6, true, false, "logistic measure"},
    {"34", 4, 6, 6, true, false, "logistic measure"},
    {"35", 4, 6, 6, true, false, "trade measure"},
    {"36", 4, 6, 6, true, false, "trade measure"},
    {"37", 2, 1, 8, true, false, "COUNT"},
    {"390", 4, 1, 15, true, false, "AMOUNT"},
    {"391", 4, 4, 18, true, false, "AMOUNT"},
    {"392", 4, 1, 15, true, false, "PRICE"},
    {"393", 4, 4, 18, true, false, "PRICE"},
    {"400", 3, 1, 30, false, false, "ORDER NUMBER"},
    {"401", 3, 1, 30, false, false, "GINC"},
    {"402", 3, 17, 17, true, true, "GSIN"},
    {"403", 3, 1, 30, false, false, "ROUTE"},
    {"41", 3, 13, 13, true, true, "GLN"},  // 410 to 417
    {"420", 3, 1, 20, false, false, "SHIP TO POST"},
    {"421", 3, 4, 12, false, false, "SHIP TO POST"},
    {"422", 3, 3, 3, true, false, "ORIGIN"},
    {"423", 3, 3, 15, true, false, "COUNTRY - INITIAL PROCESS."},
    {"424", 3, 3, 3, true, false, "COUNTRY - PROCESS."},
    {"425", 3, 3, 15, true, false, "COUNTRY - DISASSEMBLY"},
    {"426", 3, 3, 3, true, false, "COUNTRY - FULL PROCESS"},
    {"7003", 4, 10, 10, true, false, "EXPIRY TIME"},
    {"7006", 4, 6, 6, true, false, "FIRST FREEZE DATE"},
    {"8003", 4, 14, 30, false, false, "GRAI"},
    {"8004", 4, 1, 30, false, false, "GIAI"},
    {"8005", 4, 6, 6, true, false, "PRICE PER UNIT"},
    {"8006", 4, 18, 18, true, false, "ITIP"},
    {"8007", 4, 1, 34, false, false, "IBAN"},
    {"8008", 4, 8, 12, true, false, "PROD TIME"},
    {"8018", 4, 18, 18, true, true, "GSRN - PROVIDER"},
    {"8020", 4, 1, 25, false, false, "REF No."},
    {"8200", 4, 1, 70, false, false, "PRODUCT URL"},
    {"90", 2, 1, 30, false, false, "INTERNAL"},
    {"91", 2, 1, 90, false, false, "INTERNAL"},
    {"92", 2, 1, 90, false, false, "INTERNAL"},
    {"93", 2, 1, 90, false, false, "INTERNAL"},
    {"94", 2, 1, 90, false, false, "INTERNAL"},
    {"95", 2, 1, 90, false, false, "INTERNAL"},
    {"96", 2, 1, 90, false, false, "INTERNAL"},
    {"97", 2, 1, 90, false, false, "INTERNAL"},
    {"98", 2, 1, 90, false, false, "INTERNAL"},
    {"99", 2, 1, 90, false, false, "INTERNAL"},
};

// AIs starting with these two digits have a predefined length and never
// need a separator after them; every other field does, unless it is last.
bool PredefinedLength(std::string_view ai) {
  static constexpr const char* kPredefined[] = {"00", "01", "02", "03", "04", "11", "12", "13",
                                                "14", "15", "16", "17", "18", "19", "20", "31",
                                                "32", "33", "34", "35", "36", "41"};
  for (const char* prefix : kPredefined)
    if (ai.substr(0, 2) == prefix) return true;
  return false;
}

const Identifier* Find(std::string_view ai) {
  for (const Identifier& identifier : kIdentifiers)
    if (ai.size() == identifier.digits &&
        ai.substr(0, std::string_view(identifier.prefix).size()) == identifier.prefix)
      return &identifier;
  return nullptr;
}

// GS1's character set 82: what a field that is not numeric may hold.
bool InSet82(char c) {
  if (std::isalnum(static_cast<unsigned char>(c)) != 0) return true;
  return std::string_view("!\"%&'()*+,-./:;<=>?_").find(c) != std::string_view::npos;
}

bool CheckDigitHolds(std::string_view digits) {
  int sum = 0;
  // From the right, the digits before the check digit weigh 3, 1, 3, ...
  for (std::size_t i = 0; i + 1 < digits.size(); ++i) {
    const int digit = digits[digits.size() - 2 - i] - '0';
    sum += digit * (i % 2 == 0 ? 3 : 1);
  }
  return (10 - sum % 10) % 10 == digits.back() - '0';
}

[[noreturn]] void Refuse(const std::string& message) {
  throw CliError(kExitUsage, "--gs1: " + message);
}

struct Field {
  std::string ai, value;
};

// "(AI)value(AI)value...": a value runs to the next "(" that opens an AI.
std::vector<Field> Parse(std::string_view text) {
  std::vector<Field> fields;
  std::size_t at = 0;
  auto opensAi = [&](std::size_t from) {
    if (from >= text.size() || text[from] != '(') return std::string_view::npos;
    std::size_t close = from + 1;
    while (close < text.size() && std::isdigit(static_cast<unsigned char>(text[close])) != 0)
      ++close;
    const std::size_t digits = close - from - 1;
    if (close >= text.size() || text[close] != ')' || digits < 2 || digits > 4)
      return std::string_view::npos;
    return close;
  };
  if (text.empty()) Refuse("empty; write it as (01)04600000000008(21)ABC");
  while (at < text.size()) {
    const std::size_t close = opensAi(at);
    if (close == std::string_view::npos)
      Refuse("expected \"(AI)\" at \"" + std::string(text.substr(at)) + "\"");
    std::size_t end = close + 1;
    while (end < text.size() && opensAi(end) == std::string_view::npos) ++end;
    fields.push_back({std::string(text.substr(at + 1, close - at - 1)),
                      std::string(text.substr(close + 1, end - close - 1))});
    at = end;
  }
  return fields;
}

}  // namespace

std::string BuildGs1(std::string_view notation) {
  const std::vector<Field> fields = Parse(notation);
  std::string element;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const Field& field = fields[i];
    const Identifier* identifier = Find(field.ai);
    if (identifier == nullptr) Refuse("unknown AI (" + field.ai + ")");
    const std::string what = "(" + field.ai + ") " + identifier->name;
    const std::size_t length = field.value.size();
    if (length < identifier->minimum || length > identifier->maximum)
      Refuse(what + " takes " +
             (identifier->minimum == identifier->maximum
                  ? std::to_string(identifier->minimum)
                  : std::to_string(identifier->minimum) + " to " +
                        std::to_string(identifier->maximum)) +
             " characters, not " + std::to_string(length));
    for (const char c : field.value) {
      const bool allowed =
          identifier->numeric ? std::isdigit(static_cast<unsigned char>(c)) != 0 : InSet82(c);
      if (!allowed)
        Refuse(what + (identifier->numeric ? " takes digits only" : " cannot hold '") +
               (identifier->numeric ? "" : std::string(1, c) + "'"));
    }
    if (identifier->checkDigit && !CheckDigitHolds(field.value))
      Refuse(what + " " + field.value + " has a wrong check digit");
    element += field.ai + field.value;
    if (i + 1 < fields.size() && !PredefinedLength(field.ai)) element += kGroupSeparator;
  }
  return element;
}

}  // namespace cli
