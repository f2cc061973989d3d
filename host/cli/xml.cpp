#include "host/cli/xml.h"

namespace cli {

namespace {

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

std::string Unescape(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    if (text[i] == '&') {
      for (const auto& [entity, character] : kEntities) {
        if (text.substr(i, entity.size()) == entity) {
          out += character;
          i += entity.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

enum class TagKind { Start, End, Empty, Other };  // Other: <?...?>, <!...>

struct Tag {
  TagKind kind;
  std::string_view body;  // between '<' and '>'
};

TagKind KindOf(std::string_view body) {
  if (body.empty() || body[0] == '?' || body[0] == '!') return TagKind::Other;
  if (body[0] == '/') return TagKind::End;
  if (body.back() == '/') return TagKind::Empty;
  return TagKind::Start;
}

// Calls onTag for each tag and onText for the text between tags. A '>' inside
// a quoted attribute value does not end the tag.
template <typename OnTag, typename OnText>
void Scan(std::string_view xml, OnTag onTag, OnText onText) {
  std::size_t at = 0;
  while (at < xml.size()) {
    const std::size_t open = xml.find('<', at);
    if (open == std::string_view::npos) {
      onText(xml.substr(at));
      return;
    }
    if (open > at) onText(xml.substr(at, open - at));
    char quote = 0;
    std::size_t close = open + 1;
    for (; close < xml.size(); ++close) {
      const char c = xml[close];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        break;
      }
    }
    if (close >= xml.size()) {  // an unterminated tag: keep it as text
      onText(xml.substr(open));
      return;
    }
    const std::string_view body = xml.substr(open + 1, close - open - 1);
    onTag(Tag{KindOf(body), body});
    at = close + 1;
  }
}

XmlElement ParseElement(std::string_view body) {
  if (!body.empty() && body.back() == '/') body.remove_suffix(1);
  XmlElement element;
  std::size_t at = body.find_first_of(kBlanks);
  element.name = std::string(body.substr(0, at));
  while (at != std::string_view::npos && at < body.size()) {
    const std::size_t nameStart = body.find_first_not_of(kBlanks, at);
    if (nameStart == std::string_view::npos) break;
    const std::size_t equals = body.find('=', nameStart);
    if (equals == std::string_view::npos) break;
    const std::string_view name = Trim(body.substr(nameStart, equals - nameStart));
    const std::size_t quoteAt = body.find_first_of("\"'", equals);
    if (quoteAt == std::string_view::npos) break;
    const std::size_t end = body.find(body[quoteAt], quoteAt + 1);
    if (end == std::string_view::npos) break;
    element.attributes.emplace_back(std::string(name),
                                    Unescape(body.substr(quoteAt + 1, end - quoteAt - 1)));
    at = end + 1;
  }
  return element;
}

}  // namespace

std::optional<std::string> XmlElement::Attribute(std::string_view attribute) const {
  for (const auto& [key, value] : attributes)
    if (key == attribute) return value;
  return std::nullopt;
}

std::vector<XmlElement> XmlElements(std::string_view xml) {
  std::vector<XmlElement> elements;
  Scan(
      xml,
      [&](const Tag& tag) {
        if (tag.kind == TagKind::Start || tag.kind == TagKind::Empty)
          elements.push_back(ParseElement(tag.body));
      },
      [](std::string_view) {});
  return elements;
}

std::string IndentXml(std::string_view xml, int width) {
  std::string out;
  int depth = 0;
  auto line = [&](std::string_view text, int level) {
    out.append(static_cast<std::size_t>(width) * static_cast<std::size_t>(level < 0 ? 0 : level),
               ' ');
    out += text;
    out += '\n';
  };
  Scan(
      xml,
      [&](const Tag& tag) {
        if (tag.kind == TagKind::End && depth > 0) --depth;
        line("<" + std::string(tag.body) + ">", depth);
        if (tag.kind == TagKind::Start) ++depth;
      },
      [&](std::string_view text) {
        const std::string_view trimmed = Trim(text);
        if (!trimmed.empty()) line(trimmed, depth);
      });
  return out;
}

std::optional<std::string> NamedAttribute(std::string_view xml, std::string_view name,
                                          std::string_view attribute) {
  for (const XmlElement& element : XmlElements(xml))
    if (element.Attribute("Name") == name) return element.Attribute(attribute);
  return std::nullopt;
}

}  // namespace cli
