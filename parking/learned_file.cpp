#include "parking/learned_file.h"

#include <fmt/format.h>

#include <cmath>
#include <exception>
#include <fstream>
#include <unordered_map>

#include "appbase/gui.h"
#include "config/keys.h"
#include "config/options.h"
#include "config/parameter_snapshot.h"
#include "config/xml_helpers.h"
#include "config/xml_meta.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "parking/apf_file.h"
#include "simlink/stand_slots.h"

namespace fs = std::filesystem;

KeptParkingSettings g_keptParkingSettings;

namespace {

void lf_logSetting(std::string_view name, std::string_view value) {
  gf_logIndented(fmt::format("{:24}: {}", name, value));
}

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

std::optional<std::uint32_t> lf_readCount(const pugi::xml_document& document, std::string_view name) {
  const std::optional<std::int32_t> value = gf_getIntParameter(document, name);
  if (!value || *value < 0) return std::nullopt;
  lf_logSetting(name, fmt::format("{}", *value));
  return static_cast<std::uint32_t>(*value);
}

std::optional<bool> lf_readFlag(const pugi::xml_document& document, std::string_view name) {
  const std::optional<bool> value = gf_readXmlParameterBool(document, name);
  if (value) lf_logSetting(name, lf_boolText(*value));
  return value;
}

LearnedSettings lf_readSettings(const pugi::xml_document& document) {
  LearnedSettings settings;
  settings.parking_percentage = lf_readCount(document, "parking_percentage");
  settings.WEEK = lf_readFlag(document, "WEEK");
  settings.PARK_SOFT = lf_readFlag(document, "PARK_SOFT");
  settings.MAX_FIT = lf_readCount(document, "MAX_FIT");
  settings.RT_PARKTRAFFIC_ONLY = lf_readFlag(document, "RT_PARKTRAFFIC_ONLY");
  settings.AUTO_PARK = lf_readFlag(document, "AUTO_PARK");
  if (!settings.AUTO_PARK) {
    settings.AUTO_PARK = false;
    lf_logSetting("AUTO_PARK", "false");
  }
  return settings;
}

bool lf_isDuplicate(const Stand& stand, const StandOption& option) {
  for (const StandOption& other : stand.options)
    if (other.id != 0 && other.day == option.day && other.real == option.real && other.reg == option.reg &&
        other.identity == option.identity && (other.hours & option.hours) != 0)
      return true;
  return false;
}

// The stands' options from the learned file's "parkpos" elements, and its manual stands.
void lf_mergeStands(pugi::xml_node list, const fs::path& path, std::vector<Stand>& stands) {
  const std::string file = gf_pathToUtf8(path);
  std::unordered_map<std::string, std::size_t> byName;
  for (std::size_t i = 0; i < stands.size(); ++i) byName.emplace(stands[i].name, i);
  for (pugi::xml_node parkpos : list.children("parkpos")) {
    const std::string id = parkpos.attribute("id").value();
    const auto known = byName.find(id);
    if (!parkpos.attribute("manual").as_bool(false)) {
      if (known == byName.end() || !lf_readLearnedOptions(id, parkpos, stands[known->second]))
        gf_log(fmt::format("learned stand {} in {} not found?", id, file));
      continue;
    }
    if (known != byName.end()) {
      gf_logWarning(fmt::format("manually created standid {} already exists in {}", id, file));
      continue;
    }
    const Lalo position{parkpos.attribute("latitude").as_double(0.0), parkpos.attribute("longitude").as_double(0.0)};
    const double radius = parkpos.attribute("radius").as_double(0.0);
    if (!gf_isValidLalo(position) || !std::isfinite(radius) || !(radius > 0.0)) {
      gf_logWarning(fmt::format("manually created standid {} misses correct attributes in {}", id, file));
      continue;
    }
    if (!lf_readStand(parkpos, id, 0, stands)) continue;
    stands.back().manual = 1;
    byName.emplace(id, stands.size() - 1);
  }
}

std::variant<LearnedAirportData, std::string> lf_readLearned(const fs::path& path, std::string_view airportName,
                                                             std::span<const Stand> stands) {
  const std::string file = gf_pathToUtf8(path);
  LearnedAirportData data;
  data.stands.assign(stands.begin(), stands.end());

  std::ifstream in(path, std::ios::binary);
  if (!in) {
    gf_save1GenerationOf(path);
    gf_logWarning(fmt::format("{} could not be opened", file));
    return fmt::format("{} could not be opened", file);
  }
  pugi::xml_document document;
  if (const std::string problem = gf_xmlLoadProblem(document.load(in), document); !problem.empty()) {
    gf_save1GenerationOf(path);
    gf_logWarning(fmt::format("{} found, not loaded: {}, saved as *.0.xml", file, problem));
    return fmt::format("{} not loaded: {}", file, problem);
  }
  gf_log(fmt::format("Read from learned airport file: '{}'", file));
  if (!gf_readXmlMeta(document, false)) {
    gf_save1GenerationOf(path);
    gf_logWarning(fmt::format("{} has invalid metadata, saved as *.0.xml", file));
    return fmt::format("{} has invalid metadata", file);
  }
  const std::string name = gf_readXmlParameterString(document, "airport_name").value_or("");
  if (name != airportName)
    Gui::showMessage(fmt::format("Warning: learned file airport name: '{}' differs from archived file airport name: '{}'",
                                 name, airportName),
                     true);
  data.settings = lf_readSettings(document);

  if (gf_readXmlParameterBool(document, "handmade").value_or(false)) {
    data.stands.clear();
    gf_parseParkPositions(document, data.stands);
    lf_logSetting("handmade", "true");
    data.handmade = true;
    return data;
  }
  const pugi::xml_node root = document.child("root");
  const pugi::xml_node list = (root ? root : static_cast<pugi::xml_node>(document)).child("parkpositions");
  if (!list) {
    gf_log(fmt::format("learned file {} has no '{}' section", file, "parkpositions"));
    return data;
  }
  lf_mergeStands(list, path, data.stands);
  return data;
}

}  // namespace

std::variant<LearnedAirportData, std::string> gf_readLearnedAirportFile(const fs::path& path,
                                                                        std::string_view airportName,
                                                                        std::span<const Stand> stands) {
  try {
    return lf_readLearned(path, airportName, stands);
  } catch (const std::exception& e) {
    std::string text = fmt::format("{}: {}", "gf_readLearnedAirportFile", e.what());
    gf_log(text);
    return text;
  }
}

bool lf_readLearnedOptions(std::string_view id, pugi::xml_node parkpos, Stand& stand) {
  if (stand.name != id) return false;
  std::uint32_t next = stand.options.empty() ? 1 : stand.options.back().id + 1;
  for (pugi::xml_node opt : parkpos.children("opt")) {
    OptionIdentity who = lf_readOptionIdentity(opt);
    StandOption option;
    option.hours = gf_hours2bitset(opt.attribute("hh").value());
    if (option.hours == 0) {
      gf_logWarning("empty bit set");
      continue;
    }
    const std::int32_t day = opt.attribute("day").as_int(0);
    // The writer cannot write such an option back, so it would stop every later save.
    if (day < 1 || day > 7) {
      gf_logWarning(fmt::format("stand {}: learned option with day {} skipped", stand.name, day));
      continue;
    }
    option.identity = who.identity;
    option.reg = opt.attribute("reg").value();
    option.name1 = std::move(who.name1);
    option.name2 = std::move(who.name2);
    option.day = static_cast<std::uint32_t>(day);
    option.fromFile = 0;
    option.real = opt.attribute("soft").as_bool(false) ? 0 : 1;
    option.cpl = opt.attribute("cpl").as_bool(false) ? 1 : 0;
    if (lf_isDuplicate(stand, option)) continue;
    option.id = next++;
    stand.options.push_back(std::move(option));
  }
  return true;
}

fs::path lf_shortIcaoPath(const fs::path& path) {
  const std::string stem = path.stem().string();
  if (stem.size() < 5) return path;
  return path.parent_path() / (stem.substr(0, 4) + path.extension().string());
}

void gf_publishParkingSettings() {
  const auto percentage = static_cast<std::uint32_t>(parking_percentage.value);
  const auto maxParkSel = static_cast<std::uint32_t>(MAX_PARK_SEL.value);
  const auto maxFit = static_cast<std::uint32_t>(MAX_FIT.value);
  const bool trafficOnly = RT_PARKTRAFFIC_ONLY.value, autoPark = AUTO_PARK.value, week = WEEK.value,
             soft = PARK_SOFT.value;
  gf_changeParameterSnapshot([&](ParameterSnapshot& s) {
    s.parkingPercentage = percentage;
    s.maxParkSel = maxParkSel;
    s.maxFit = maxFit;
    s.rtParkTrafficOnly = trafficOnly;
    s.autoPark = autoPark;
    s.week = week;
    s.parkSoft = soft;
  });
}

void gf_keepParkingSettings() {
  const auto s = g_parameterSnapshot.load();
  g_keptParkingSettings = KeptParkingSettings{s->parkingPercentage, s->maxParkSel, s->maxLiveSel, s->maxFit,
                                              s->rtParkTrafficOnly,  s->autoPark,   s->week,       s->parkSoft};
}
