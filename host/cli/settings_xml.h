// Reading the add-in's XML documents (settings and actions) with pugixml.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// The attribute `attribute` of the first element whose Name attribute is
// `name` (the settings document names its parameters that way).
std::optional<std::string> NamedAttribute(const std::string& xml, const std::string& name,
                                          const std::string& attribute);

// The Name and Caption of every Action element of the actions document.
std::vector<std::pair<std::string, std::string>> ActionsOf(const std::string& xml);

// The document laid out one element a line, indented by two blanks a level;
// the document as it came when it is not well formed.
std::string IndentXml(const std::string& xml);

}  // namespace cli
