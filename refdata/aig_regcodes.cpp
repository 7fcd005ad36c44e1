#include "refdata/aig_regcodes.h"

#include <fmt/format.h>

#include <charconv>
#include <list>
#include <unordered_set>

#include "config/xml_meta.h"
#include "core/log.h"
#include "core/text.h"
#include "refdata/enc_xml.h"

bool gf_isValidRegcode(std::string_view code) {
  if (code.size() < 3 || code.size() > 12) return false;
  for (const char c : code) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

bool gf_checkAigRegcode(std::string_view code, std::string_view title, RegcodeReadResult& result) {
  if (gf_isValidRegcode(code)) return false;
  result.errors.push_back(fmt::format("invalid registration code '{}' for AIG title '{}'", code, title));
  return true;
}

RegcodeReadResult gf_parseAigRegcodes(const pugi::xml_document& document) {
  RegcodeReadResult result;
  const auto root = document.child("root");
  if (!root) {
    result.errors.emplace_back("missing <root> element");
    return result;
  }
  const auto aig = root.child("aig");
  if (!aig) {
    result.errors.emplace_back("missing <aig> element");
    return result;
  }
  std::unordered_set<std::string> seen;
  std::size_t number = 0;
  for (const auto record : aig.children("l")) {
    ++number;
    const std::string title = record.attribute("t").as_string();
    if (title.empty()) {
      result.errors.push_back(fmt::format("AIG XML record {} has no title", number));
      continue;
    }
    // A record dropped below still claims its title.
    if (!seen.insert(title).second) {
      result.errors.push_back(fmt::format("duplicate AIG title '{}'", title));
      continue;
    }
    // An empty list has no codes; gf_parseCommaList would make it one empty (invalid) code.
    const std::string_view list = record.attribute("r").as_string();
    const auto listed = list.empty() ? std::list<std::string>{} : gf_parseCommaList(list);
    std::vector<std::string> codes;
    for (const auto& code : listed)
      if (!gf_checkAigRegcode(code, title, result)) codes.push_back(code);
    if (!listed.empty() && codes.empty()) continue;
    result.entries.push_back({title, std::move(codes), record.attribute("s").as_bool(false)});
  }
  return result;
}

RegcodeReadResult gf_readAigRegcodesFile(const std::filesystem::path& path) {
  RegcodeReadResult result;
  const std::string pathText = gf_pathToUtf8(path);
  EncReadResult read = gf_readEncFile(path, kAigRegcodesPlainLimit);
  if (!read.ok()) {
    result.errors.push_back(read.message());
    return result;
  }
  const auto xml = gf_parseEncXml(std::move(read.buffer()));
  if (!xml->parse) {
    result.errors.push_back(fmt::format("'{}' not loaded: {}", pathText, xml->parse.description()));
    return result;
  }
  if (!gf_readXmlMeta(xml->document, false)) {
    result.errors.push_back(fmt::format("'{}' has invalid metadata", pathText));
    return result;
  }
  result = gf_parseAigRegcodes(xml->document);
  std::size_t codes = 0;
  for (const auto& entry : result.entries) codes += entry.codes.size();
  gf_log(fmt::format("{:5} livery title{} with {} regcode{}, read from {}", result.entries.size(),
                     result.entries.size() == 1 ? "" : "s", codes, codes == 1 ? "" : "s", pathText));
  return result;
}
