// Element strings as scanners send them: split into fields with the
// dictionary's predefined lengths, and written from fields.
#include <algorithm>

#include "host/gs1/dictionary.h"
#include "host/gs1/syntax.h"

namespace gs1 {

namespace {

// The symbology identifiers of the carriers that hold GS1 element strings.
constexpr std::string_view kGs1Symbologies[] = {"]C1", "]e0", "]d2", "]Q3", "]J1"};

Parsed Refuse(Parsed parsed, const std::string& message) {
  parsed.problems.push_back({"", "syntax", message});
  return parsed;
}

std::string Shown(std::string_view text) {
  constexpr std::size_t kLongest = 24;
  std::string shown;
  for (const char c : text.substr(0, kLongest))
    shown += c == kGroupSeparator ? std::string("<GS>") : std::string(1, c);
  return "\"" + shown + (text.size() > kLongest ? "...\"" : "\"");
}

// The defined AI the data starts with: AIs are 2 to 4 digits and none is
// the start of another, so at most one matches.
const AiEntry* LeadingAi(std::string_view data) {
  for (std::size_t length = 2; length <= 4 && length <= data.size(); ++length) {
    const std::string_view digits = data.substr(0, length);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return nullptr;
    if (const AiEntry* entry = Dictionary::Builtin().Find(digits)) return entry;
  }
  return nullptr;
}

}  // namespace

Parsed ParseElementString(std::string_view data) {
  Parsed parsed;
  if (!data.empty() && data.front() == ']') {
    const std::string_view identifier = data.substr(0, 3);
    if (std::find(std::begin(kGs1Symbologies), std::end(kGs1Symbologies), identifier) ==
        std::end(kGs1Symbologies))
      return Refuse(parsed, "symbology identifier " + Shown(identifier) +
                                " is no GS1 carrier's (]C1, ]e0, ]d2, ]Q3, ]J1)");
    parsed.symbologyIdentifier = std::string(identifier);
    data.remove_prefix(identifier.size());
  }
  // FNC1 in first position says "GS1"; a scanner may send it as a GS.
  if (!data.empty() && data.front() == kGroupSeparator) data.remove_prefix(1);
  if (data.empty()) return Refuse(parsed, "no element string");
  std::size_t at = 0;
  while (at < data.size()) {
    const std::string where = " at character " + std::to_string(at + 1);
    const AiEntry* entry = LeadingAi(data.substr(at));
    if (entry == nullptr)
      return Refuse(parsed,
                    "no AI that GS1 defines starts" + where + ": " + Shown(data.substr(at)));
    at += entry->ai.size();
    std::size_t end = data.find(kGroupSeparator, at);
    if (end == std::string_view::npos) end = data.size();
    if (entry->predefinedLength) {
      const std::size_t length = entry->Lengths().front().first;
      if (end - at < length)
        return Refuse(parsed, entry->Name() + where + " takes " + std::to_string(length) +
                                  " characters, but " + Shown(data.substr(at, end - at)) +
                                  (end < data.size() ? " ends at a GS" : " ends the data"));
      end = at + length;
    }
    parsed.fields.push_back({entry->ai, std::string(data.substr(at, end - at))});
    at = end;
    // A GS after a field of predefined length is not needed, but harmless.
    if (at < data.size() && data[at] == kGroupSeparator) {
      if (++at == data.size()) return Refuse(parsed, "the element string ends with a GS");
      if (data[at] == kGroupSeparator)
        return Refuse(parsed, "two GS one after the other at character " + std::to_string(at));
    }
  }
  return parsed;
}

std::string ToElementString(const std::vector<Field>& fields) {
  std::string element;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    element += fields[i].ai + fields[i].value;
    const AiEntry* entry = Dictionary::Builtin().Find(fields[i].ai);
    if (i + 1 < fields.size() && (entry == nullptr || !entry->predefinedLength))
      element += kGroupSeparator;
  }
  return element;
}

Built Build(std::string_view notation, Checking checking) {
  Parsed parsed = ParseNotation(notation);
  Built built;
  built.problems = std::move(parsed.problems);
  if (!built.problems.empty()) return built;
  built.fields = std::move(parsed.fields);
  built.elementString = ToElementString(built.fields);
  if (checking == Checking::kFull) built.problems = Check(built.fields);
  return built;
}

}  // namespace gs1
