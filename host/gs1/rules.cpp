#include "host/gs1/rules.h"

#include <algorithm>
#include <map>
#include <set>

#include "host/gs1/dictionary.h"

namespace gs1 {

namespace {

// "(01) GTIN", or the pattern itself for one that stands for several AIs.
std::string PatternName(const Pattern& pattern) {
  if (pattern.find('n') == Pattern::npos)
    if (const AiEntry* entry = Dictionary::Builtin().Find(pattern)) return entry->Name();
  return "(" + pattern + ")";
}

// "(01) GTIN, (02) CONTENT or (8006) ITIP", "(01) GTIN with (21) SERIAL".
std::string AlternativesText(const std::vector<std::vector<Pattern>>& alternatives) {
  std::string text;
  for (std::size_t i = 0; i < alternatives.size(); ++i) {
    if (i > 0) text += i + 1 == alternatives.size() ? " or " : ", ";
    for (std::size_t j = 0; j < alternatives[i].size(); ++j)
      text += (j > 0 ? " with " : "") + PatternName(alternatives[i][j]);
  }
  return text;
}

}  // namespace

std::vector<Problem> CheckRules(std::vector<FieldReport>& fields) {
  std::vector<Problem> problems;
  // Each known AI once, in the order it first comes.
  std::vector<const AiEntry*> present;
  std::map<std::string, const std::string*> values;
  for (FieldReport& field : fields) {
    const AiEntry* entry = Dictionary::Builtin().Find(field.field.ai);
    const auto [first, added] = values.emplace(field.field.ai, &field.field.value);
    if (!added) {
      if (*first->second == field.field.value)
        field.repeated = true;
      else
        problems.push_back({field.field.ai, "repeat",
                            (entry != nullptr ? entry->Name() : "(" + field.field.ai + ")") +
                                " is given twice with different values: \"" + *first->second +
                                "\" and \"" + field.field.value + "\""});
      continue;
    }
    if (entry != nullptr) present.push_back(entry);
  }
  const auto anyMatches = [&](const Pattern& pattern) {
    return std::any_of(present.begin(), present.end(),
                       [&](const AiEntry* entry) { return PatternMatches(pattern, entry->ai); });
  };
  std::set<std::pair<std::string, std::string>> excluded;
  for (const AiEntry* entry : present) {
    for (const auto& alternatives : entry->required) {
      const bool met = std::any_of(
          alternatives.begin(), alternatives.end(), [&](const std::vector<Pattern>& together) {
            return std::all_of(together.begin(), together.end(), anyMatches);
          });
      if (!met)
        problems.push_back(
            {entry->ai, "req", entry->Name() + " needs " + AlternativesText(alternatives)});
    }
    for (const Pattern& pattern : entry->excludes)
      for (const AiEntry* other : present) {
        if (other == entry || !PatternMatches(pattern, other->ai)) continue;
        // Each pair once, however many of the two name the other.
        if (excluded.insert(std::minmax(entry->ai, other->ai)).second)
          problems.push_back(
              {entry->ai, "ex", entry->Name() + " cannot be used with " + other->Name()});
      }
  }
  return problems;
}

}  // namespace gs1
