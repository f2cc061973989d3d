// GS1's table of Application Identifiers, read from GS1's own Barcode Syntax
// Dictionary (host/gs1/dictionary/gs1-syntax-dictionary.txt, embedded at build
// time): for each AI its title, whether its length is predefined, each
// component's character set, length and linters, and the pairing rules.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace gs1 {

struct Linter;

// "N" digits, "X" GS1 character set 82, "Y" set 39, "Z" set 64 (base64url).
enum class CharacterSet { kNumeric, kCset82, kCset39, kCset64 };

// The letter the dictionary writes for the set, and how a person names it.
char SetLetter(CharacterSet set);
const char* SetName(CharacterSet set);

// One part of an AI's value, consuming `minimum` to `maximum` characters.
struct Component {
  CharacterSet set = CharacterSet::kNumeric;
  std::size_t minimum = 0, maximum = 0;  // equal when the length is fixed
  bool optional = false;
  std::vector<const Linter*> linters;  // in the dictionary's order

  bool fixed() const { return minimum == maximum; }
  // As the dictionary writes it: "N13", "X..20", "[N3]".
  std::string Notation() const;
};

// An AI or a pattern of AIs: digits, where "n" stands for any digit ("31nn").
using Pattern = std::string;
bool PatternMatches(std::string_view pattern, std::string_view ai);

struct AiEntry {
  std::string ai;                 // "01", "3103", ...: ranges are expanded, one entry per AI
  std::string title;              // "GTIN"; empty where the dictionary gives none
  bool predefinedLength = false;  // flag "*": no separator is needed after it
  bool dlAttribute = false;       // flag "?": may be a Digital Link query attribute
  std::vector<Component> components;
  // One entry per "req=" attribute, each satisfied by any of its
  // alternatives; an alternative holds the patterns that must all be present.
  std::vector<std::vector<std::vector<Pattern>>> required;
  std::vector<Pattern> excludes;  // "ex=": none of these may be present (itself aside)
  bool dlPrimaryKey = false;      // "dlpkey"
  // The qualifier sequences a Digital Link path may follow the key with, in
  // order, each one of the alternatives ("22,10,21|235").
  std::vector<std::vector<std::string>> dlQualifiers;

  // "(01) GTIN", or "(8110)" for an AI without a title.
  std::string Name() const;
  // The lengths a value may have, as sorted disjoint ranges [first, second].
  std::vector<std::pair<std::size_t, std::size_t>> Lengths() const;
};

class Dictionary {
 public:
  // Reads a dictionary text. Throws std::invalid_argument naming the line
  // for anything it cannot read exactly (an unknown linter or attribute, a
  // variable-length component that is not last, ...).
  static Dictionary Parse(std::string_view text);
  // GS1's dictionary as embedded in this build, read once on first use.
  static const Dictionary& Builtin();

  // The entry of exactly this AI, or null.
  const AiEntry* Find(std::string_view ai) const;
  const std::vector<AiEntry>& entries() const { return entries_; }
  // The "Release:" line of the header ("2026-01-27").
  const std::string& release() const { return release_; }

 private:
  std::vector<AiEntry> entries_;  // sorted by AI
  std::map<std::string, std::size_t, std::less<>> index_;
  std::string release_;
};

}  // namespace gs1
