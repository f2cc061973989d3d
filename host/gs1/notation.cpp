// AI notation, "(01)09521234543213(10)AB\(C": read and written.
#include <algorithm>
#include <cctype>

#include "host/gs1/characters.h"
#include "host/gs1/syntax.h"

namespace gs1 {

namespace {

constexpr const char kEscapeHint[] = " (write \"\\(\" for a \"(\" inside a value)";

Parsed Refuse(Parsed parsed, const std::string& message) {
  parsed.problems.push_back({"", "syntax", message});
  return parsed;
}

std::string Shown(std::string_view text) {
  constexpr std::size_t kLongest = 24;
  return "\"" + std::string(text.substr(0, kLongest)) + (text.size() > kLongest ? "...\"" : "\"");
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

}  // namespace

Parsed ParseNotation(std::string_view notation) {
  Parsed parsed;
  if (notation.empty())
    return Refuse(parsed, "no AI notation; write it as (01)09521234543213(10)ABC");
  std::size_t at = 0;
  while (at < notation.size()) {
    const std::string where = " at character " + std::to_string(at + 1);
    if (notation[at] != '(')
      return Refuse(parsed,
                    "expected \"(\" and an AI" + where + ", not " + Shown(notation.substr(at)));
    const std::size_t close = notation.find(')', at);
    if (close == std::string_view::npos)
      return Refuse(parsed, "the \"(\"" + where + " is never closed by \")\"" +
                                (parsed.fields.empty() ? "" : kEscapeHint));
    const std::string_view ai = notation.substr(at + 1, close - at - 1);
    if (ai.size() < 2 || ai.size() > 4 || !std::all_of(ai.begin(), ai.end(), IsDigit))
      return Refuse(parsed, "(" + std::string(ai) + ")" + where +
                                " is no AI: an AI is 2 to 4 digits" + kEscapeHint);
    Field field{std::string(ai), ""};
    for (at = close + 1; at < notation.size() && notation[at] != '('; ++at) {
      if (notation[at] != '\\') {
        field.value += notation[at];
        continue;
      }
      if (at + 1 == notation.size() || (notation[at + 1] != '(' && notation[at + 1] != '\\'))
        return Refuse(parsed, "the backslash at character " + std::to_string(at + 1) +
                                  " escapes nothing: write \"\\(\" for \"(\" and \"\\\\\" for "
                                  "\"\\\" in a value");
      field.value += notation[++at];
    }
    parsed.fields.push_back(std::move(field));
  }
  return parsed;
}

std::string ToNotation(const std::vector<Field>& fields) {
  std::string notation;
  for (const Field& field : fields) {
    notation += "(" + field.ai + ")";
    for (const char c : field.value) {
      if (c == '(' || c == '\\') notation += '\\';
      notation += c;
    }
  }
  return notation;
}

std::string Messages(const std::vector<Problem>& problems, std::string_view separator) {
  std::string joined;
  for (const Problem& problem : problems) {
    if (!joined.empty()) joined += separator;
    joined += problem.message;
  }
  return joined;
}

Parsed Parse(std::string_view text) {
  if (!text.empty() && text.front() == '(') return ParseNotation(text);
  if (StartsWithNoCase(text, "http://") || StartsWithNoCase(text, "https://"))
    return ParseDigitalLink(text);
  return ParseElementString(text);
}

}  // namespace gs1
