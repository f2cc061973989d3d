// The content checks the dictionary names after a component ("N14,csum"):
// each takes the component's characters, already in the component's
// character set and of a length it allows, and says why they fail, if they do.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gs1 {

using LintResult = std::optional<std::string>;  // nothing: the check holds

struct Linter {
  const char* name;    // as the dictionary writes it: "csum", "yymmd0", ...
  const char* checks;  // what it verifies, for explanations
  LintResult (*lint)(std::string_view part);
};

// The linter the dictionary calls `name`, or null.
const Linter* FindLinter(std::string_view name);
// Every linter this module implements.
const std::vector<Linter>& AllLinters();

// Whether `c` belongs to the set: GS1's character sets 82 ("X"), 39 ("Y")
// and 64 ("Z", base64url without its padding).
bool InCset82(char c);
bool InCset39(char c);
bool InCset64(char c);

// How a character is shown in a message: 'A', or \x1D for one that is not
// printable ASCII.
std::string ShowCharacter(char c);

// ISO 3166-1 numeric ("250") and alpha-2 ("FR") country codes and ISO 4217
// numeric currency codes ("978"), from Debian's iso-codes at build time.
bool IsIso3166Numeric(std::string_view code);
bool IsIso3166Alpha2(std::string_view code);
bool IsIso4217Numeric(std::string_view code);

}  // namespace gs1
