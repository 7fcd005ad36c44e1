#pragma once
// Small pugixml helpers shared by the writers and readers of the program's XML files.
#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Append an attribute and set its value; false, with nothing set, when the append fails.
bool gf_addXmlAttribute(pugi::xml_node element, std::string_view name, std::string_view text);
bool gf_addXmlBoolAttribute(pugi::xml_node element, std::string_view name, bool value);  // "true"/"false"
bool gf_appendXmlAttribute(pugi::xml_node element, std::string_view name, std::string_view text);
bool gf_appendXmlAttributeInt(pugi::xml_node element, std::string_view name, std::int32_t value);

// A <parameter name=".." value=".."/> holding the path as UTF-8.
bool gf_appendXmlPathParameter(pugi::xml_node parameters, std::string_view name, const std::filesystem::path& path);
// Sets the attribute to the path as UTF-8, appending the attribute when the element lacks it.
bool gf_setXmlAttributePath(pugi::xml_node element, std::string_view attributeName, const std::filesystem::path& path);

// The first parameter of that name (root optional) read by gf_intAttribute.
std::optional<std::int32_t> gf_getIntParameter(const pugi::xml_document& document, std::string_view name);

// The attribute's text; no value when the element has no attribute of that name.
std::optional<std::string> gf_attributeAsString(pugi::xml_node element, std::string_view name);
// The attribute's text, or the fallback when the element has no attribute of that name.
std::string gf_attributeOr(pugi::xml_node element, std::string_view name, std::string_view fallback);

std::string gf_versionString(std::uint32_t major, std::uint32_t minor, std::uint32_t patch);  // "16.8.2"

// Our files nest a handful of levels. A deeper document is refused as damaged: pugixml loads it,
// but walking and indented saving cost time and memory by its depth.
inline constexpr std::size_t kXmlMaxDepth = 32;
bool gf_isXmlTooDeep(const pugi::xml_node& node, std::size_t limit = kXmlMaxDepth);
// Why a load is refused: the parser's description, the depth, or empty when the document is fine.
std::string gf_xmlLoadProblem(const pugi::xml_parse_result& parsed, const pugi::xml_document& document);

// Makes sure of the declaration (version 1.0, UTF-8) and saves indented by two blanks. The
// target is written directly: callers that replace a file write to a temporary name first.
bool gf_saveXml(pugi::xml_document& document, const std::filesystem::path& path);
// The text gf_saveXml writes; none when the declaration cannot be added.
std::optional<std::string> gf_xmlText(pugi::xml_document& document);
