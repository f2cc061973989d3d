#include "host/gs1/dictionary.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "host/gs1/characters.h"
#include "host/gs1/data.h"
#include "host/gs1/linters.h"

namespace gs1 {

namespace {

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])) != 0) ++at;
    std::size_t end = at;
    while (end < text.size() && std::isspace(static_cast<unsigned char>(text[end])) == 0) ++end;
    if (end > at) words.push_back(text.substr(at, end - at));
    at = end;
  }
  return words;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0)
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0)
    text.remove_suffix(1);
  return text;
}

// Reads one line; `fail` throws with the line's number.
class LineReader {
 public:
  LineReader(std::string_view line, std::size_t number) : line_(line), number_(number) {}

  // The entries of the line: one per AI of its range.
  std::vector<AiEntry> Read() {
    AiEntry entry;
    const std::size_t hash = line_.find('#');
    if (hash != std::string_view::npos) entry.title = std::string(Trim(line_.substr(hash + 1)));
    const std::vector<std::string_view> words = Words(line_.substr(0, hash));
    std::size_t at = 1;
    if (at < words.size() && IsFlags(words[at])) ReadFlags(words[at++], entry);
    for (; at < words.size() && IsComponent(words[at]); ++at)
      entry.components.push_back(ReadComponent(words[at]));
    if (entry.components.empty()) Fail("no component");
    for (; at < words.size(); ++at) ReadAttribute(words[at], entry);
    CheckShape(entry);
    return Expand(words[0], entry);
  }

 private:
  [[noreturn]] void Fail(const std::string& why) const {
    throw std::invalid_argument("GS1 dictionary line " + std::to_string(number_) + ": " + why +
                                ": " + std::string(line_));
  }

  static bool IsFlags(std::string_view word) {
    return std::none_of(word.begin(), word.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '[';
    });
  }

  static bool IsComponent(std::string_view word) {
    if (!word.empty() && word.front() == '[') word.remove_prefix(1);
    return word.size() >= 2 && std::string_view("NXYZ").find(word[0]) != std::string_view::npos &&
           (IsDigit(word[1]) || word[1] == '.');
  }

  void ReadFlags(std::string_view flags, AiEntry& entry) const {
    for (const char flag : flags) {
      if (flag == '*')
        entry.predefinedLength = true;
      else if (flag == '?')
        entry.dlAttribute = true;
      else
        Fail(std::string("unknown flag ") + flag);
    }
  }

  // "N13,csum,gcppos1", "X..20", "[N3],iso3166" or "[N6,yymmdd]".
  Component ReadComponent(std::string_view word) const {
    Component component;
    if (word.front() == '[') {
      const std::size_t close = word.find(']');
      if (close == std::string_view::npos) Fail("no ] after [");
      component.optional = true;
      std::string joined(word.substr(1, close - 1));
      joined += word.substr(close + 1);
      return ReadComponentBody(joined, component);
    }
    return ReadComponentBody(std::string(word), component);
  }

  Component ReadComponentBody(const std::string& body, Component component) const {
    const std::vector<std::string_view> parts = Split(body, ',');
    std::string_view type = parts[0];
    const std::size_t set = std::string_view("NXYZ").find(type[0]);
    component.set = static_cast<CharacterSet>(set);
    type.remove_prefix(1);
    const bool variable = type.substr(0, 2) == "..";
    if (variable) type.remove_prefix(2);
    if (!AllDigits(type) || type.size() > 3) Fail("bad component length");
    component.maximum = std::stoul(std::string(type));
    component.minimum = variable ? 1 : component.maximum;
    if (component.maximum == 0) Fail("zero-length component");
    for (std::size_t i = 1; i < parts.size(); ++i) {
      const Linter* linter = FindLinter(parts[i]);
      if (linter == nullptr) Fail("unknown linter \"" + std::string(parts[i]) + "\"");
      component.linters.push_back(linter);
    }
    return component;
  }

  static std::vector<Pattern> Patterns(std::string_view list, char separator) {
    std::vector<Pattern> patterns;
    for (const std::string_view pattern : Split(list, separator)) patterns.emplace_back(pattern);
    return patterns;
  }

  void RequirePatterns(const std::vector<Pattern>& patterns) const {
    for (const Pattern& pattern : patterns) {
      const bool shaped = pattern.size() >= 2 && pattern.size() <= 4 && IsDigit(pattern[0]) &&
                          std::all_of(pattern.begin(), pattern.end(),
                                      [](char c) { return IsDigit(c) || c == 'n'; });
      if (!shaped) Fail("bad AI pattern \"" + pattern + "\"");
    }
  }

  void ReadAttribute(std::string_view word, AiEntry& entry) const {
    const std::size_t equals = word.find('=');
    const std::string_view key = word.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : word.substr(equals + 1);
    if (key == "req" && !value.empty()) {
      std::vector<std::vector<Pattern>> alternatives;
      for (const std::string_view alternative : Split(value, ',')) {
        alternatives.push_back(Patterns(alternative, '+'));
        RequirePatterns(alternatives.back());
      }
      entry.required.push_back(std::move(alternatives));
    } else if (key == "ex" && !value.empty()) {
      for (Pattern& pattern : Patterns(value, ',')) entry.excludes.push_back(std::move(pattern));
      RequirePatterns(entry.excludes);
    } else if (key == "dlpkey") {
      entry.dlPrimaryKey = true;
      if (equals == std::string_view::npos) return;
      for (const std::string_view sequence : Split(value, '|')) {
        entry.dlQualifiers.push_back(Patterns(sequence, ','));
        RequirePatterns(entry.dlQualifiers.back());
      }
    } else {
      Fail("unknown attribute \"" + std::string(word) + "\"");
    }
  }

  // What the parsers and checks rely on: only the last component varies in
  // length, no mandatory component follows an optional one, and an AI of
  // predefined length has one length.
  void CheckShape(const AiEntry& entry) const {
    for (std::size_t i = 0; i < entry.components.size(); ++i) {
      const Component& component = entry.components[i];
      if (!component.fixed() && i + 1 < entry.components.size())
        Fail("a variable-length component that is not last");
      if (i > 0 && entry.components[i - 1].optional && !component.optional)
        Fail("a mandatory component after an optional one");
      if (entry.predefinedLength && (!component.fixed() || component.optional))
        Fail("a predefined-length AI whose length varies");
    }
  }

  std::vector<AiEntry> Expand(std::string_view range, const AiEntry& entry) const {
    const std::size_t dash = range.find('-');
    const std::string_view first = range.substr(0, dash);
    const std::string_view last = dash == std::string_view::npos ? first : range.substr(dash + 1);
    if (!AllDigits(first) || !AllDigits(last) || first.size() != last.size() || first.size() < 2 ||
        first.size() > 4 || last < first)
      Fail("bad AI or range \"" + std::string(range) + "\"");
    std::vector<AiEntry> entries;
    for (unsigned long ai = std::stoul(std::string(first)); ai <= std::stoul(std::string(last));
         ++ai) {
      entries.push_back(entry);
      std::string digits = std::to_string(ai);
      entries.back().ai = std::string(first.size() - digits.size(), '0') + digits;
    }
    return entries;
  }

  std::string_view line_;
  std::size_t number_;
};

}  // namespace

char SetLetter(CharacterSet set) { return "NXYZ"[static_cast<int>(set)]; }

const char* SetName(CharacterSet set) {
  switch (set) {
    case CharacterSet::kNumeric:
      return "digits";
    case CharacterSet::kCset82:
      return "GS1 character set 82";
    case CharacterSet::kCset39:
      return "GS1 character set 39 (0-9 A-Z # - /)";
    case CharacterSet::kCset64:
      return "GS1 character set 64 (base64url: A-Z a-z 0-9 - _, = padding)";
  }
  return "";
}

std::string Component::Notation() const {
  std::string text(1, SetLetter(set));
  if (!fixed()) text += "..";
  text += std::to_string(maximum);
  return optional ? "[" + text + "]" : text;
}

bool PatternMatches(std::string_view pattern, std::string_view ai) {
  if (pattern.size() != ai.size()) return false;
  for (std::size_t i = 0; i < ai.size(); ++i)
    if (pattern[i] != 'n' && pattern[i] != ai[i]) return false;
  return true;
}

std::string AiEntry::Name() const { return "(" + ai + ")" + (title.empty() ? "" : " " + title); }

std::vector<std::pair<std::size_t, std::size_t>> AiEntry::Lengths() const {
  // Only the last present component may vary, so each count of present
  // components gives one range.
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  std::size_t before = 0;
  for (std::size_t i = 0; i < components.size(); ++i) {
    const Component& component = components[i];
    const bool canEndHere = i + 1 == components.size() || components[i + 1].optional;
    if (canEndHere) {
      const std::size_t low = before + component.minimum, high = before + component.maximum;
      if (!ranges.empty() && low <= ranges.back().second + 1)
        ranges.back().second = std::max(ranges.back().second, high);
      else
        ranges.emplace_back(low, high);
    }
    before += component.maximum;
  }
  return ranges;
}

Dictionary Dictionary::Parse(std::string_view text) {
  Dictionary dictionary;
  std::size_t number = 0;
  for (const std::string_view raw : Split(text, '\n')) {
    ++number;
    const std::string_view line = Trim(raw);
    if (line.empty()) continue;
    if (line.front() == '#') {
      constexpr std::string_view kRelease = "# Release:";
      if (line.substr(0, kRelease.size()) == kRelease && dictionary.release_.empty())
        dictionary.release_ = std::string(Trim(line.substr(kRelease.size())));
      continue;
    }
    for (AiEntry& entry : LineReader(line, number).Read()) {
      if (dictionary.index_.count(entry.ai) != 0)
        throw std::invalid_argument("GS1 dictionary line " + std::to_string(number) + ": (" +
                                    entry.ai + ") defined twice");
      dictionary.index_.emplace(entry.ai, 0);
      dictionary.entries_.push_back(std::move(entry));
    }
  }
  std::sort(dictionary.entries_.begin(), dictionary.entries_.end(),
            [](const AiEntry& a, const AiEntry& b) { return a.ai < b.ai; });
  for (std::size_t i = 0; i < dictionary.entries_.size(); ++i)
    dictionary.index_[dictionary.entries_[i].ai] = i;
  return dictionary;
}

const Dictionary& Dictionary::Builtin() {
  static const Dictionary dictionary = Parse(data::kDictionary);
  return dictionary;
}

const AiEntry* Dictionary::Find(std::string_view ai) const {
  const auto found = index_.find(ai);
  return found == index_.end() ? nullptr : &entries_[found->second];
}

}  // namespace gs1
