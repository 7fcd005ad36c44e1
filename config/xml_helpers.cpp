#include "config/xml_helpers.h"

#include <fmt/format.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "config/options.h"
#include "core/text.h"
#include "platform/os.h"

namespace {

bool lf_setAppended(pugi::xml_node element, std::string_view name, std::string_view text) {
  pugi::xml_attribute attribute = element.append_attribute(std::string(name).c_str());
  if (!attribute) return false;
  return attribute.set_value(std::string(text).c_str());
}

// The whole file or nothing: written beside the target, flushed, then renamed over it.
bool lf_replaceFileWith(const std::filesystem::path& target, const std::string& bytes) {
  std::filesystem::path temporary = target;
  temporary += ".tmp";
  std::error_code error;
  errno = 0;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      const int code = errno ? errno : EIO;  // the caller names the system's reason
      std::filesystem::remove(temporary, error);
      errno = code;
      return false;
    }
  }
  if (!os::durableReplace(temporary, target, error)) {
    const int code = error.value();
    std::filesystem::remove(temporary, error);
    errno = code;
    return false;
  }
  return true;
}

}  // namespace

bool gf_addXmlAttribute(pugi::xml_node element, std::string_view name, std::string_view text) {
  return lf_setAppended(element, name, text);
}

bool gf_addXmlBoolAttribute(pugi::xml_node element, std::string_view name, bool value) {
  return lf_setAppended(element, name, value ? "true" : "false");
}

bool gf_appendXmlAttribute(pugi::xml_node element, std::string_view name, std::string_view text) {
  return lf_setAppended(element, name, text);
}

bool gf_appendXmlAttributeInt(pugi::xml_node element, std::string_view name, std::int32_t value) {
  return lf_setAppended(element, name, std::to_string(value));
}

bool gf_appendXmlPathParameter(pugi::xml_node parameters, std::string_view name, const std::filesystem::path& path) {
  pugi::xml_node parameter = parameters.append_child("parameter");
  if (!parameter) return false;
  return gf_appendXmlAttribute(parameter, "name", name) && gf_appendXmlAttribute(parameter, "value", gf_pathToUtf8(path));
}

bool gf_setXmlAttributePath(pugi::xml_node element, std::string_view attributeName,
                            const std::filesystem::path& path) {
  const std::string name(attributeName);
  pugi::xml_attribute attribute = element.attribute(name.c_str());
  if (!attribute) attribute = element.append_attribute(name.c_str());
  if (!attribute) return false;
  return attribute.set_value(gf_pathToUtf8(path).c_str());
}

std::optional<std::int32_t> gf_getIntParameter(const pugi::xml_document& document, std::string_view name) {
  const auto text = gf_readXmlParameterString(document, name);
  if (!text) return std::nullopt;
  return gf_intAttribute(*text);
}

std::optional<std::string> gf_attributeAsString(pugi::xml_node element, std::string_view name) {
  pugi::xml_attribute attribute = element.attribute(std::string(name).c_str());
  if (!attribute) return std::nullopt;
  return std::string(attribute.value());
}

std::string gf_attributeOr(pugi::xml_node element, std::string_view name, std::string_view fallback) {
  return gf_attributeAsString(element, name).value_or(std::string(fallback));
}

std::string gf_versionString(std::uint32_t major, std::uint32_t minor, std::uint32_t patch) {
  return fmt::format("{}.{}.{}", major, minor, patch);
}

bool gf_isXmlTooDeep(const pugi::xml_node& node, std::size_t limit) {
  // Walked without recursion: the document to judge may be arbitrarily deep.
  std::size_t depth = 0;
  pugi::xml_node at = node.first_child();
  if (!at) return false;
  depth = 1;
  while (at) {
    if (depth > limit) return true;
    if (pugi::xml_node child = at.first_child()) {
      at = child;
      ++depth;
      continue;
    }
    while (at && !at.next_sibling()) {
      at = at.parent();
      --depth;
      if (at == node) return false;
    }
    if (at) at = at.next_sibling();
  }
  return false;
}

std::string gf_xmlLoadProblem(const pugi::xml_parse_result& parsed, const pugi::xml_document& document) {
  if (!parsed) return parsed.description();
  if (gf_isXmlTooDeep(document)) return fmt::format("nested deeper than {} levels", kXmlMaxDepth);
  return {};
}

std::optional<std::string> gf_xmlText(pugi::xml_document& document) {
  pugi::xml_node declaration;
  for (pugi::xml_node child : document.children()) {
    if (child.type() == pugi::node_declaration) {
      declaration = child;
      break;
    }
  }
  if (!declaration) declaration = document.prepend_child(pugi::node_declaration);
  if (!declaration) return std::nullopt;
  for (const char* name : {"version", "encoding"}) {
    if (!declaration.attribute(name)) declaration.append_attribute(name);
  }
  declaration.attribute("version").set_value("1.0");
  declaration.attribute("encoding").set_value("UTF-8");
  std::ostringstream text;
  document.save(text, "  ", pugi::format_indent, pugi::encoding_utf8);
  if (!text) return std::nullopt;
  return std::move(text).str();
}

bool gf_saveXml(pugi::xml_document& document, const std::filesystem::path& path) {
  const std::optional<std::string> text = gf_xmlText(document);
  return text && lf_replaceFileWith(path, *text);
}
