// Each field against its dictionary entry: the AI, the value's length, each
// component's characters and linters.
#include <algorithm>
#include <optional>

#include "host/gs1/dictionary.h"
#include "host/gs1/linters.h"
#include "host/gs1/rules.h"
#include "host/gs1/syntax.h"

namespace gs1 {

namespace {

// "14", "1 to 20", "6 or 7", "8, 10 or 12".
std::string LengthsText(const std::vector<std::pair<std::size_t, std::size_t>>& ranges) {
  std::vector<std::string> items;
  for (const auto& [low, high] : ranges) {
    items.push_back(std::to_string(low));
    if (high == low + 1) items.push_back(std::to_string(high));
    if (high > low + 1) items.back() += " to " + std::to_string(high);
  }
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i)
    text += (i == 0 ? "" : i + 1 == items.size() ? " or " : ", ") + items[i];
  return text;
}

bool InSet(CharacterSet set, char c) {
  switch (set) {
    case CharacterSet::kNumeric:
      return c >= '0' && c <= '9';
    case CharacterSet::kCset82:
      return InCset82(c);
    case CharacterSet::kCset39:
      return InCset39(c);
    case CharacterSet::kCset64:
      return InCset64(c);
  }
  return false;
}

// Why `part` holds a character outside the component's set; `offset` is
// where the part starts in the value, for the message.
std::optional<std::string> WrongCharacter(const Component& component, std::string_view part,
                                          std::size_t offset) {
  std::string_view body = part;
  if (component.set == CharacterSet::kCset64) {
    // Base64 may end with one or two "=" that pad it to a multiple of 4.
    while (!body.empty() && body.back() == '=' && part.size() - body.size() < 2)
      body.remove_suffix(1);
    if (body.size() < part.size() && part.size() % 4 != 0)
      return "its \"=\" padding does not end a multiple of 4 characters";
  }
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (InSet(component.set, body[i])) continue;
    return "character " + std::to_string(offset + i + 1) + " is " + ShowCharacter(body[i]) +
           ", which is not in its set (" + SetName(component.set) + ")";
  }
  return std::nullopt;
}

FieldReport ExplainField(const Field& field) {
  FieldReport report;
  report.field = field;
  const AiEntry* entry = Dictionary::Builtin().Find(field.ai);
  auto add = [&](const std::string& rule, const std::string& message) {
    report.problems.push_back({field.ai, rule, message});
  };
  if (entry == nullptr) {
    add("unknown-ai", "unknown AI (" + field.ai + "): GS1 defines no such AI");
    return report;
  }
  report.known = true;
  report.title = entry->title;
  report.predefinedLength = entry->predefinedLength;
  const std::string name = entry->Name();
  const std::string_view value = field.value;
  const auto lengths = entry->Lengths();
  const bool lengthOk = std::any_of(lengths.begin(), lengths.end(), [&](const auto& range) {
    return value.size() >= range.first && value.size() <= range.second;
  });
  if (!lengthOk)
    add("length", name + ": takes " + LengthsText(lengths) + " characters, not " +
                      std::to_string(value.size()));
  std::size_t at = 0;
  for (std::size_t i = 0; i < entry->components.size(); ++i) {
    const Component& component = entry->components[i];
    ComponentReport& part = report.components.emplace_back();
    part.type = component.Notation();
    part.characterSet = SetName(component.set);
    if (at == value.size() && component.optional) {
      part.present = false;
      continue;
    }
    part.part = std::string(value.substr(at, component.maximum));
    at += part.part.size();
    // Which component, where the value has several.
    const std::string where =
        entry->components.size() == 1
            ? name + ": "
            : name + ", component " + std::to_string(i + 1) + " (" + part.type + "): ";
    if (const std::optional<std::string> why =
            WrongCharacter(component, part.part, at - part.part.size())) {
      part.ok = false;
      add("characters", where + *why);
      continue;
    }
    // A value of the wrong length is not split where its author meant: the
    // length problem says what is wrong, its linters would guess.
    if (!lengthOk) {
      part.ok = part.part.size() >= component.minimum;
      continue;
    }
    for (const Linter* linter : component.linters) {
      LinterVerdict& verdict = part.linters.emplace_back();
      verdict.name = linter->name;
      verdict.checks = linter->checks;
      if (LintResult why = linter->lint(part.part)) {
        verdict.ok = part.ok = false;
        verdict.why = *why;
        add(linter->name, where + *why);
      }
    }
  }
  return report;
}

}  // namespace

Report Explain(const std::vector<Field>& fields) {
  Report report;
  for (const Field& field : fields) {
    report.fields.push_back(ExplainField(field));
    const auto& own = report.fields.back().problems;
    report.problems.insert(report.problems.end(), own.begin(), own.end());
  }
  for (Problem& problem : CheckRules(report.fields)) report.problems.push_back(std::move(problem));
  return report;
}

std::vector<Problem> Check(const std::vector<Field>& fields) { return Explain(fields).problems; }

}  // namespace gs1
