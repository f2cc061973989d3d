// GS1 Digital Link URIs: the primary key and its qualifiers in the path, data
// attributes in the query.
#include <algorithm>
#include <optional>

#include "host/gs1/characters.h"
#include "host/gs1/dictionary.h"
#include "host/gs1/syntax.h"

namespace gs1 {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> PercentDecoded(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size() || HexValue(text[i + 1]) < 0 || HexValue(text[i + 2]) < 0)
      return std::nullopt;
    decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
    i += 2;
  }
  return decoded;
}

std::string PathOf(const std::vector<std::string>& ais) {
  std::string path;
  for (const std::string& ai : ais) path += "/" + ai;
  return path;
}

// Whether the qualifiers follow one of the key's sequences, in its order.
bool InOrder(const AiEntry& key, const std::vector<std::string>& qualifiers) {
  return std::any_of(key.dlQualifiers.begin(), key.dlQualifiers.end(),
                     [&](const std::vector<std::string>& sequence) {
                       std::size_t next = 0;
                       for (const std::string& ai : qualifiers) {
                         while (next < sequence.size() && !PatternMatches(sequence[next], ai))
                           ++next;
                         if (next++ == sequence.size()) return false;
                       }
                       return true;
                     });
}

class Reader {
 public:
  explicit Reader(std::string_view uri) : uri_(uri) {}

  Parsed Read() {
    const std::size_t scheme = uri_.find("://");
    std::string lower(uri_.substr(0, scheme == std::string_view::npos ? 0 : scheme));
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    if (lower != "http" && lower != "https")
      return Refuse("a Digital Link starts with https:// or http://");
    std::string_view rest = uri_.substr(scheme + 3);
    rest = rest.substr(0, rest.find('#'));
    const std::size_t question = rest.find('?');
    const std::string_view query =
        question == std::string_view::npos ? std::string_view() : rest.substr(question + 1);
    rest = rest.substr(0, question);
    const std::size_t slash = rest.find('/');
    if (slash == 0 || rest.empty()) return Refuse("the Digital Link has no host");
    if (slash == std::string_view::npos)
      return Refuse("the Digital Link's path holds no key (such as /01/09521234543213)");
    std::vector<std::string> segments;
    for (const std::string_view raw : Split(rest.substr(slash + 1), '/')) {
      const std::optional<std::string> segment = PercentDecoded(raw);
      if (!segment)
        return Refuse("bad percent escape in the path segment \"" + std::string(raw) + "\"");
      if (segment->empty()) return Refuse("the Digital Link's path has an empty segment");
      segments.push_back(*segment);
    }
    if (!ReadPath(segments)) return parsed_;
    ReadQuery(query);
    return parsed_;
  }

 private:
  Parsed Refuse(const std::string& message) {
    parsed_.problems.push_back({"", "syntax", message});
    return parsed_;
  }

  void Violation(const std::string& ai, const std::string& message) {
    parsed_.problems.push_back({ai, "digital-link", message});
  }

  // From the right: qualifier pairs, then the key; what is before the key is
  // the path's own.
  bool ReadPath(const std::vector<std::string>& segments) {
    const AiEntry* key = nullptr;
    std::size_t at = segments.size();
    std::vector<Field> qualifiers;
    while (key == nullptr && at >= 2) {
      at -= 2;
      const AiEntry* entry =
          AllDigits(segments[at]) ? Dictionary::Builtin().Find(segments[at]) : nullptr;
      if (entry == nullptr) break;
      if (entry->dlPrimaryKey)
        key = entry;
      else
        qualifiers.insert(qualifiers.begin(), Field{entry->ai, segments[at + 1]});
    }
    if (key == nullptr) {
      Refuse(
          "the Digital Link's path holds no primary key (an AI such as /01/, /00/, /414/ "
          "followed by its value)");
      return false;
    }
    std::string value = segments[at + 1];
    // The path may give a GTIN-8, -12 or -13 as it is; the element string
    // holds 14 digits.
    if (key->ai == "01" && AllDigits(value) &&
        (value.size() == 8 || value.size() == 12 || value.size() == 13))
      value.insert(0, 14 - value.size(), '0');
    parsed_.fields.push_back({key->ai, value});
    std::vector<std::string> order;
    order.reserve(qualifiers.size());
    for (const Field& qualifier : qualifiers) order.push_back(qualifier.ai);
    if (!order.empty() && key->dlQualifiers.empty())
      Violation(key->ai,
                key->Name() + " takes no qualifiers in a Digital Link, not " + PathOf(order));
    else if (!order.empty() && !InOrder(*key, order)) {
      std::string allowed;
      for (const std::vector<std::string>& sequence : key->dlQualifiers)
        allowed += (allowed.empty() ? "" : " or ") + PathOf(sequence);
      Violation(key->ai, key->Name() + " takes its qualifiers in the order " + allowed +
                             " (each may be left out), not " + PathOf(order));
    }
    parsed_.fields.insert(parsed_.fields.end(), qualifiers.begin(), qualifiers.end());
    return true;
  }

  void ReadQuery(std::string_view query) {
    const std::size_t inPath = parsed_.fields.size();
    for (const std::string_view parameter : Split(query, '&')) {
      if (parameter.empty()) continue;
      const std::size_t equals = parameter.find('=');
      const std::optional<std::string> name = PercentDecoded(parameter.substr(0, equals));
      const std::optional<std::string> value = PercentDecoded(
          equals == std::string_view::npos ? std::string_view() : parameter.substr(equals + 1));
      if (!name || !value) {
        Refuse("bad percent escape in the query parameter \"" + std::string(parameter) + "\"");
        return;
      }
      if (!AllDigits(*name)) continue;  // not GS1's: linkType, context, ...
      const AiEntry* entry = Dictionary::Builtin().Find(*name);
      if (entry == nullptr) {
        Violation(*name, "unknown AI (" + *name + ") in the Digital Link's query");
        continue;
      }
      if (!entry->dlAttribute)
        Violation(entry->ai, entry->Name() + " cannot be a Digital Link attribute (in the query)");
      const auto path = parsed_.fields.begin();
      if (std::any_of(path, path + static_cast<std::ptrdiff_t>(inPath),
                      [&](const Field& field) { return field.ai == entry->ai; }))
        Violation(entry->ai, entry->Name() + " is in the Digital Link's path and in its query");
      parsed_.fields.push_back({entry->ai, *value});
    }
  }

  std::string_view uri_;
  Parsed parsed_;
};

}  // namespace

Parsed ParseDigitalLink(std::string_view uri) { return Reader(uri).Read(); }

}  // namespace gs1
