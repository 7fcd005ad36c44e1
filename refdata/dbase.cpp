#include "refdata/dbase.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "core/log.h"
#include "core/text.h"
#include "core/user_exception.h"
#include "refdata/enc_xml.h"
#include "refdata/registration.h"

namespace {

constexpr int kMissingSectionCode = 61;
constexpr double kMetresPerNm = 1852.0;
constexpr std::size_t kReservedRecords = 0x14000;

std::string lf_lowerTrimmed(const char* text) {
  std::string value = gf_trim(text);
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return value;
}

std::string_view lf_attribute(pugi::xml_node node, const char* name) { return node.attribute(name).as_string(); }

struct CategorySection {
  const char* section;
  const char* element;
  std::set<ModelId>* ids;
};

// Model codes to ids; codes the aircraft list lacks are interned all the same.
void lf_internModelSet(const CodeSet& codes, std::set<ModelId>& ids) {
  ids.clear();
  for (const auto& code : codes) ids.insert(gf_internModelName(code));
}

void lf_readWingspans(pugi::xml_node root) {
  g_wingspans.clear();
  g_maxHalfWingspanNm = 0.0;
  for (const auto node : root.child("wingspans").children("wingspan")) {
    const std::string_view type = lf_attribute(node, "type");
    if (type.empty() || !g_dbaseModelCodes.contains(type)) {
      gf_logWarning(fmt::format("wingspan model {} is not valid, skipped", type));
      continue;
    }
    const double meters = gf_attributeAsDouble(node, "meters").value_or(0.0);
    if (!(meters > 0.0)) {
      gf_logWarning(fmt::format("wingspan for model {} is not positive, skipped", type));
      continue;
    }
    const double halfNm = meters * 0.5 / kMetresPerNm;
    if (!g_wingspans.emplace(std::string(type), halfNm).second) {
      gf_logWarning(fmt::format("duplicate wingspan model {}, skipped", type));
      continue;
    }
    g_maxHalfWingspanNm = std::max(g_maxHalfWingspanNm, halfNm);
  }
  // One slot per name interned so far; ids interned later read as unknown (0).
  g_wingspanTable.assign(gf_modelNameCount(), 0.0);
  for (const auto& [code, halfNm] : g_wingspans) {
    const ModelId id = gf_internModelName(code);
    if (id != 0 && id < g_wingspanTable.size()) g_wingspanTable[id] = halfNm;
  }
}

void lf_readFixes(pugi::xml_node root) {
  std::map<std::string, std::string, std::less<>> fixes;
  for (const auto node : root.child("fixes").children("fx")) {
    const std::string_view wrong = lf_attribute(node, "wro");
    const std::string_view correct = lf_attribute(node, "cor");
    if (correct.empty() || !g_dbaseModelCodes.contains(correct)) {
      gf_logWarning(fmt::format("invalid fix {} -> {}, target is not a valid ICAO model", wrong, correct));
      continue;
    }
    if (!fixes.emplace(std::string(wrong), std::string(correct)).second)
      gf_logWarning(fmt::format("duplicate fix key '{}', skipped", wrong));
  }
  const std::size_t count = fixes.size();
  gf_setModelFixes(std::move(fixes));
  gf_log(fmt::format("{:5} fixes", count));
}

void lf_readRegistrations(pugi::xml_node root) {
  g_dbaseRecords.clear();
  g_dbaseRecords.reserve(kReservedRecords);
  for (const auto node : root.child("dbase").children("d")) {
    DbaseEntry entry;
    entry.airlineId = gf_internAirlineName(lf_attribute(node, "a"));
    entry.operatorId = gf_internAirlineName(lf_attribute(node, "o"));
    entry.modelId = gf_internModelName(lf_attribute(node, "m"));
    entry.cargo = gf_attributeAsBool(node, "c").value_or(false) ? 1 : 0;
    entry.marker = 1;
    g_dbaseRecords.push_back({std::string(lf_attribute(node, "r")), entry});
  }
  std::sort(g_dbaseRecords.begin(), g_dbaseRecords.end(),
            [](const DbaseRecord& a, const DbaseRecord& b) { return a.key < b.key; });
  const auto last = std::unique(g_dbaseRecords.begin(), g_dbaseRecords.end(),
                                [](const DbaseRecord& a, const DbaseRecord& b) { return a.key == b.key; });
  g_dbaseRecords.erase(last, g_dbaseRecords.end());
  g_dbaseRecords.shrink_to_fit();
}

}  // namespace

std::optional<double> gf_attributeAsDouble(pugi::xml_node node, const char* name) {
  const auto attribute = node.attribute(name);
  if (!attribute) return std::nullopt;
  std::string text = gf_trim(attribute.value());
  std::string_view number = text;
  if (!number.empty() && number.front() == '+') number.remove_prefix(1);
  if (number.empty()) return std::nullopt;
  double value = 0.0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<bool> gf_attributeAsBool(pugi::xml_node node, const char* name) {
  const auto attribute = node.attribute(name);
  if (!attribute) return std::nullopt;
  const std::string value = lf_lowerTrimmed(attribute.value());
  if (value == "true" || value == "yes" || value == "on" || value == "1") return true;
  if (value == "false" || value == "no" || value == "off" || value == "0") return false;
  return std::nullopt;
}

void gf_readDbaseListSection(pugi::xml_node root, std::string_view section, CodeSet& set, std::string_view element,
                             std::string_view attribute) {
  set.clear();
  const std::string sectionName(section);
  const auto sectionNode = root.child(sectionName.c_str());
  if (!sectionNode) throw jrv::UserRelatedException(kMissingSectionCode, "Missing section: " + sectionName);
  const std::string elementName(element);
  const std::string attributeName(attribute);
  for (const auto node : sectionNode.children(elementName.c_str())) {
    for (auto& code : gf_split(node.attribute(attributeName.c_str()).as_string(), ',')) set.insert(std::move(code));
  }
}

void gf_readDbaseTypesSection(pugi::xml_node root, std::string_view section, CodeSet& set, std::string_view element) {
  gf_readDbaseListSection(root, section, set, element, "types");
}

void gf_readDbaseCodesSection(pugi::xml_node root, std::string_view section, CodeSet& set) {
  gf_readDbaseListSection(root, section, set, "ICAO", "codes");
}

void gf_resetDbaseTables() {
  gf_resetModelTables();
  g_dbaseRecords.clear();
  g_dbaseRecords.shrink_to_fit();
}

bool gf_readDbase(const std::filesystem::path& inputFolder) {
  const std::filesystem::path path = inputFolder / kDbaseFileName;
  const std::string pathText = gf_pathToUtf8(path);
  std::error_code error;
  if (!std::filesystem::exists(path, error)) throw std::runtime_error(fmt::format("{} not available", pathText));

  EncReadResult read = gf_readEncFile(path, kDbasePlainLimit);
  if (!read.ok()) throw std::runtime_error(read.message());
  // The document points into the plaintext: both live and die together in xml.
  const auto xml = gf_parseEncXml(std::move(read.buffer()));
  if (!xml->parse) {
    gf_logWarning(fmt::format("{} not read because: {}", pathText, xml->parse.description()));
    return false;
  }
  const auto root = xml->document.child("root");
  if (!root) {
    gf_logWarning(fmt::format("'{}' has no root node", pathText));
    return false;
  }

  gf_readDbaseTypesSection(root, "aircrafts", g_dbaseModelCodes, "aircraft");
  gf_log(fmt::format("\n{:5} ICAO model codes", g_dbaseModelCodes.size()));
  CodeSet cargoTypes;
  gf_readDbaseTypesSection(root, "cargo_types", cargoTypes, "cargo_type");

  gf_internModelName("");
  for (const auto& code : g_dbaseModelCodes) gf_internModelName(code);
  gf_activateModelFixes();
  lf_internModelSet(cargoTypes, g_cargoModels);

  const std::array<CategorySection, 6> categories{{
      {"heavy", "hvy", &g_heavyModels},
      {"large", "lar", &g_largeModels},
      {"buzjet", "bzj", &g_buzjetModels},
      {"twoprops", "tpr", &g_twopropsModels},
      {"high_performance", "hpf", &g_highPerformanceModels},
      {"rotorcraft", "rot", &g_rotorcraftModels},
  }};
  std::array<CodeSet, 6> categoryCodes;
  for (std::size_t i = 0; i < categories.size(); ++i)
    gf_readDbaseTypesSection(root, categories[i].section, categoryCodes[i], categories[i].element);
  for (std::size_t i = 0; i < categories.size(); ++i) lf_internModelSet(categoryCodes[i], *categories[i].ids);

  g_similarTypes.clear();
  g_similarTypes.reserve(128);
  for (const auto node : root.child("similar_types").children("similar")) {
    auto group = gf_splitAtComma(node.attribute("types").as_string());
    std::sort(group.begin(), group.end());
    g_similarTypes.push_back(std::move(group));
  }

  gf_readDbaseCodesSection(root, "ICAO_airlines", g_dbaseAirlineCodes);
  gf_log(fmt::format("{:5} ICAO airline codes", g_dbaseAirlineCodes.size()));
  CodeSet cargoOperators;
  gf_readDbaseCodesSection(root, "cargo_operators", cargoOperators);
  gf_log(fmt::format("{:5} cargo operators", cargoOperators.size()));

  gf_internAirlineName("");
  for (const auto& code : g_dbaseAirlineCodes) gf_internAirlineName(code);
  for (const auto& code : cargoOperators) gf_internAirlineName(code);
  g_cargoOperators.clear();
  for (const auto& code : cargoOperators) g_cargoOperators.insert(gf_internAirlineName(code));

  lf_readWingspans(root);
  lf_readFixes(root);
  lf_readRegistrations(root);
  gf_log(fmt::format("{:5} dbase records read\n", g_dbaseRecords.size()));
  return true;
}
