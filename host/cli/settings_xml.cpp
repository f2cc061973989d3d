#include "host/cli/settings_xml.h"

#include <pugixml.hpp>

#include <sstream>

namespace cli {

namespace {

pugi::xml_document Parse(const std::string& xml) {
  pugi::xml_document document;
  document.load_string(xml.c_str());
  return document;
}

}  // namespace

std::optional<std::string> NamedAttribute(const std::string& xml, const std::string& name,
                                          const std::string& attribute) {
  const pugi::xml_document document = Parse(xml);
  const pugi::xpath_node found = document.select_node(("//*[@Name='" + name + "']").c_str());
  if (!found) return std::nullopt;
  const pugi::xml_attribute value = found.node().attribute(attribute.c_str());
  if (!value) return std::nullopt;
  return std::string(value.value());
}

std::vector<std::pair<std::string, std::string>> ActionsOf(const std::string& xml) {
  std::vector<std::pair<std::string, std::string>> actions;
  const pugi::xml_document document = Parse(xml);
  for (const pugi::xpath_node& action : document.select_nodes("//Action"))
    actions.emplace_back(action.node().attribute("Name").value(),
                         action.node().attribute("Caption").value());
  return actions;
}

std::string IndentXml(const std::string& xml) {
  pugi::xml_document document;
  if (!document.load_string(xml.c_str())) return xml + '\n';
  std::ostringstream out;
  document.save(out, "  ", pugi::format_indent | pugi::format_no_declaration);
  return out.str();
}

}  // namespace cli
