#include "parking/apf_file.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "config/xml_helpers.h"
#include "config/xml_meta.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "platform/os.h"
#include "refdata/registration.h"
#include "simlink/stand_slots.h"

namespace fs = std::filesystem;

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kMetresPerNm = 1852.0;

// Program-wide, so that concurrent saves (the scan, a learned save) never share a temporary file.
std::atomic<std::uint64_t> g_apfSaveCounter{0};
// When this process started, for telling its own temporaries from those of an earlier process
// that had the same id.
const std::filesystem::file_time_type g_processStart = std::filesystem::file_time_type::clock::now();
// File times may be kept in coarser steps than the clock's.
constexpr std::chrono::seconds kStartSlack{2};

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

bool lf_addParameter(pugi::xml_node parameters, std::string_view name, std::string_view value) {
  pugi::xml_node parameter = parameters.append_child("parameter");
  return parameter && gf_appendXmlAttribute(parameter, "name", name) && gf_addXmlAttribute(parameter, "value", value);
}

bool lf_geometryIsValid(const Stand& stand) {
  return gf_isValidLalo(stand.position) && std::isfinite(stand.radius) && stand.radius > 0.0 &&
         std::isfinite(stand.heading);
}

bool lf_writeGeometry(pugi::xml_node parkpos, const Stand& stand) {
  const auto info = gf_parkingTypeInfo(stand.type);
  bool ok = gf_addXmlAttribute(parkpos, "typestr", info ? info->name : "NONE") &&
            gf_addXmlAttribute(parkpos, "latitude", fmt::format("{:.6f}", stand.position.lat)) &&
            gf_addXmlAttribute(parkpos, "longitude", fmt::format("{:.6f}", stand.position.lon)) &&
            gf_addXmlAttribute(parkpos, "heading", fmt::format("{:.1f}", stand.heading * kDegreesPerRadian)) &&
            gf_addXmlAttribute(parkpos, "radius", fmt::format("{:.1f}", stand.radius * kMetresPerNm));
  // A stand without a type keeps the flags that the reader derives its type from.
  if (ok && stand.type == PARKING_NONE && !stand.heli)
    ok = gf_addXmlAttribute(parkpos, "type", "0") && gf_addXmlBoolAttribute(parkpos, "cargo", stand.cargo) &&
         gf_addXmlBoolAttribute(parkpos, "ramp", stand.ramp);
  if (ok && stand.heli) ok = gf_addXmlAttribute(parkpos, "heli", "true");
  return ok;
}

bool lf_writeOption(pugi::xml_node parkpos, const StandOption& option, const std::string& hours) {
  pugi::xml_node opt = parkpos.append_child("opt");
  if (!opt || !gf_addXmlAttribute(opt, "reg", option.reg)) return false;
  // An identity from the registration table is found again by "reg".
  if (option.identity.marker == 0 &&
      !(gf_addXmlAttribute(opt, "airl", gf_airlineName(option.identity.airlineId)) &&
        gf_addXmlAttribute(opt, "type", gf_modelName(option.identity.modelId))))
    return false;
  if (option.real == 0 && !gf_addXmlAttribute(opt, "soft", "true")) return false;
  if (!gf_addXmlAttribute(opt, "day", fmt::format("{}", option.day)) || !gf_addXmlAttribute(opt, "hh", hours))
    return false;
  if (!option.name1.empty()) {
    const std::string cs = option.name2.empty() ? option.name1 : fmt::format("{}:{}", option.name1, option.name2);
    if (!gf_addXmlAttribute(opt, "cs", cs)) return false;
  }
  return !option.cpl || gf_addXmlAttribute(opt, "cpl", "true");
}

// A stand's options, each that can be read back; false only when the document cannot grow.
bool lf_writeOptions(pugi::xml_node parkpos, const Stand& stand) {
  for (const StandOption& option : stand.options) {
    if (option.id == 0) continue;
    const std::optional<std::string> hours = gf_hoursText(option.hours);
    if (!hours || option.day < 1 || option.day > 7) {
      gf_logWarning(fmt::format("invalid flight option: {} {} {}", option.reg, option.name1, option));
      continue;
    }
    if (!lf_writeOption(parkpos, option, *hours)) return false;
  }
  return true;
}

// The number of stands written; none when the document cannot grow.
std::optional<std::size_t> lf_writeStands(pugi::xml_node root, const AirportFile& record, ApfMode mode,
                                          bool handmade) {
  pugi::xml_node list = root.append_child("parkpositions");
  if (!list) return std::nullopt;
  std::unordered_set<std::string> names;
  for (const Stand& stand : record.stands) {
    if (stand.name.empty() || names.contains(stand.name)) {
      gf_logWarning(fmt::format("gf_writeApf: empty or duplicate stand id '{}'", stand.name));
      continue;
    }
    const bool geometry = mode == ApfMode::generated || stand.manual || handmade;
    if (geometry && !lf_geometryIsValid(stand)) {
      gf_logWarning(fmt::format("gf_writeApf: stand '{}' has invalid geometry", stand.name));
      continue;
    }
    names.insert(stand.name);
    pugi::xml_node parkpos = list.append_child("parkpos");
    if (!parkpos || !gf_addXmlAttribute(parkpos, "id", stand.name)) return std::nullopt;
    if (geometry && !lf_writeGeometry(parkpos, stand)) return std::nullopt;
    if (stand.manual && !gf_addXmlAttribute(parkpos, "manual", "true")) return std::nullopt;
    if (mode == ApfMode::learned && !lf_writeOptions(parkpos, stand)) return std::nullopt;
  }
  return names.size();
}

// Saves beside the target and moves the file over it durably: a learned file keeps a visit's
// learning, and the scan drops its backups once its generated files are in place.
bool lf_saveDocument(pugi::xml_document& document, const fs::path& path) {
  fs::path temporary = path;
  temporary += fmt::format(".{}.{}.tmp", os::currentProcessId(), g_apfSaveCounter.fetch_add(1));
  const TempFileRemover remover(temporary);
  if (!gf_saveXml(document, temporary)) {
    gf_logWarning(fmt::format("gf_writeApf: could not write '{}'", gf_pathToUtf8(temporary)));
    return false;
  }
  std::error_code error;
  if (os::durableReplace(temporary, path, error)) return true;
  gf_logWarning(fmt::format("gf_writeApf: could not replace '{}': {}", gf_pathToUtf8(path), error.message()));
  return false;
}

// "<name>.<digits>.<digits>.tmp" or the same with ".tmp" twice; the process id when it is one.
std::optional<std::uint32_t> lf_saveTemporaryProcess(std::string_view name) {
  if (name.ends_with(".tmp.tmp")) name.remove_suffix(4);
  if (!name.ends_with(".tmp")) return std::nullopt;
  name.remove_suffix(4);
  const auto digitsBefore = [](std::string_view& text) -> std::optional<std::string_view> {
    const std::size_t dot = text.rfind('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const std::string_view digits = text.substr(dot + 1);
    if (digits.empty() || digits.size() > 20 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return std::nullopt;
    text = text.substr(0, dot);
    return digits;
  };
  if (!digitsBefore(name)) return std::nullopt;
  const std::optional<std::string_view> process = digitsBefore(name);
  if (!process || name.empty()) return std::nullopt;
  std::uint32_t id = 0;
  const auto [end, ec] = std::from_chars(process->data(), process->data() + process->size(), id);
  if (ec != std::errc()) return std::nullopt;
  return id;
}

std::uint32_t lf_derivedType(bool cargo, bool ramp, double radiusMetres) {
  if (cargo) return 5;
  const std::uint32_t small = ramp ? 2 : 8;
  if (radiusMetres < 16.0) return small;
  return radiusMetres < 30.0 ? small + 1 : small + 2;
}

std::vector<StandOption> lf_readOptions(pugi::xml_node parkpos, std::uint32_t optionSource) {
  std::vector<StandOption> options;
  for (pugi::xml_node opt : parkpos.children("opt")) {
    const std::string hh = opt.attribute("hh").value();
    const std::int32_t day = opt.attribute("day").as_int(0);
    if (hh.empty() || day < 1 || day > 7) continue;
    const std::uint64_t hours = gf_hours2bitset(hh);
    if (hours == 0) continue;
    OptionIdentity who = lf_readOptionIdentity(opt);
    StandOption option;
    option.identity = who.identity;
    option.reg = opt.attribute("reg").value();
    option.name1 = std::move(who.name1);
    option.name2 = std::move(who.name2);
    option.hours = hours;
    option.id = static_cast<std::uint32_t>(options.size() + 1);
    option.day = static_cast<std::uint32_t>(day);
    option.fromFile = optionSource;
    option.real = opt.attribute("soft").as_bool(false) ? 0 : 1;
    option.cpl = opt.attribute("cpl").as_bool(false) ? 1 : 0;
    options.push_back(std::move(option));
  }
  return options;
}

}  // namespace

std::optional<std::string> gf_hoursText(std::uint64_t hours) {
  if (hours == 0) return std::nullopt;
  if (auto run = gf_bitset2hours(hours)) return run;
  std::string text;
  for (std::uint32_t slot = 0; slot < SLOTS_PER_DAY; ++slot) {
    if (!(hours >> slot & 1)) continue;
    if (!text.empty()) text += ',';
    text += fmt::format("{}", slot);
  }
  return text;
}

bool lf_writeApfParameters(pugi::xml_node root, const AirportFile& record, ApfMode mode, bool handmade,
                           const ParkingSettings& settings) {
  pugi::xml_node p = root.append_child("parameters");
  if (!p) return false;
  bool ok = lf_addParameter(p, "icao", record.icao.text());
  if (ok && !record.iata.empty() && record.iata.text() != "XXX") ok = lf_addParameter(p, "iata", record.iata.text());
  ok = ok && lf_addParameter(p, "airport_name", record.airportName);
  if (ok && !(record.position.lat == 0.0 && record.position.lon == 0.0))
    ok = lf_addParameter(p, "latitude", fmt::format("{:.{}f}", record.position.lat, 4)) &&
         lf_addParameter(p, "longitude", fmt::format("{:.{}f}", record.position.lon, 4));
  ok = ok && lf_addParameter(p, "publisher", record.publisher);
  if (ok && record.hasManifest && !record.version.empty() && record.publisher != "stock")
    ok = lf_addParameter(p, "version", record.version);
  if (ok && handmade) ok = lf_addParameter(p, "handmade", "true");
  if (ok && (mode == ApfMode::generated || handmade))
    ok = lf_addParameter(p, "altitude", fmt::format("{}", record.altitude));
  if (ok && mode == ApfMode::generated) ok = lf_addParameter(p, "num_parkpos", fmt::format("{}", record.stands.size()));
  const bool scored = handmade && (record.qfReal > 0 || record.qfSoft >= 1);
  if (ok && scored && record.qfReal >= 0) ok = lf_addParameter(p, "Qf_real", fmt::format("{}", record.qfReal));
  if (ok && scored && (record.qfSoft > 0 || record.qfReal == 0))
    ok = lf_addParameter(p, "Qf_soft", fmt::format("{}", record.qfSoft));
  if (ok && record.publisher.empty()) {
    ok = lf_addParameter(p, "BGLpath", record.bglPath);
    if (ok && record.hasManifest)
      ok = lf_addParameter(p, "manufacturer", record.manufacturer) && lf_addParameter(p, "creator", record.creator);
  }
  if (!ok || mode != ApfMode::learned) return ok;
  if (!settings.valid) return false;
  return lf_addParameter(p, "RT_PARKTRAFFIC_ONLY", lf_boolText(settings.RT_PARKTRAFFIC_ONLY)) &&
         lf_addParameter(p, "AUTO_PARK", lf_boolText(settings.AUTO_PARK)) &&
         lf_addParameter(p, "parking_percentage", fmt::format("{}", settings.parking_percentage)) &&
         lf_addParameter(p, "MAX_FIT", fmt::format("{}", settings.MAX_FIT)) &&
         lf_addParameter(p, "WEEK", lf_boolText(settings.WEEK)) &&
         lf_addParameter(p, "PARK_SOFT", lf_boolText(settings.PARK_SOFT));
}

std::size_t gf_removeStaleApfTemporaries(const fs::path& folder) {
  std::size_t removed = 0;
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) return 0;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) break;
    const std::string name = gf_pathToUtf8(it->path().filename());
    const std::optional<std::uint32_t> process = lf_saveTemporaryProcess(name);
    if (!process) continue;
    std::error_code ignored;
    if (!it->is_regular_file(ignored)) continue;
    // The running program's own saves may be under way. A process id comes again, though (a
    // container runs the program as process 1 every time): one written before this process
    // started was left by an earlier one.
    if (*process == os::currentProcessId()) {
      const fs::file_time_type written = it->last_write_time(ignored);
      if (ignored || written >= g_processStart - kStartSlack) continue;
    }
    if (fs::remove(it->path(), ignored)) {
      ++removed;
      gf_log(fmt::format("Removed '{}' left by an interrupted save", gf_pathToUtf8(it->path())));
    }
  }
  return removed;
}

namespace {

// The document of a stand file; false when it cannot be built.
bool lf_buildApf(pugi::xml_document& document, const AirportFile& record, ApfMode mode, std::uint32_t sim,
                 bool handmade, const ParkingSettings& settings) {
  XmlMeta meta;
  meta.version = gf_versionString(g_programVersion.major, g_programVersion.minor, g_programVersion.patch);
  meta.sim = sim;
  if (!gf_writeXmlMeta(document, meta)) return false;
  pugi::xml_node root = document.child("root");
  if (!root) root = document.append_child("root");
  if (!root || !lf_writeApfParameters(root, record, mode, handmade, settings)) return false;
  if (!record.stands.empty()) {
    const std::optional<std::size_t> written = lf_writeStands(root, record, mode, handmade);
    if (!written) return false;
    // The count says what the file holds, skipped stands not included.
    pugi::xml_node count = root.child("parameters").find_child_by_attribute("parameter", "name", "num_parkpos");
    if (count && *written != record.stands.size()) count.attribute("value").set_value(fmt::format("{}", *written).c_str());
  }
  return true;
}

}  // namespace

std::optional<std::string> gf_apfText(const AirportFile& record, ApfMode mode, std::uint32_t sim, bool handmade,
                                      const ParkingSettings& settings) {
  pugi::xml_document document;
  if (!lf_buildApf(document, record, mode, sim, handmade, settings)) return std::nullopt;
  return gf_xmlText(document);
}

bool gf_writeApf(const AirportFile& record, const fs::path& path, ApfMode mode, std::uint32_t sim, bool handmade,
                 const ParkingSettings& settings) {
  pugi::xml_document document;
  if (!lf_buildApf(document, record, mode, sim, handmade, settings)) return false;
  if (path.empty()) {
    gf_logWarning("gf_writeApf: empty output filename");
    return false;
  }
  if (path.has_parent_path()) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error) {
      gf_logWarning(fmt::format("gf_writeApf: could not create directory '{}': {}", gf_pathToUtf8(path.parent_path()),
                                error.message()));
      return false;
    }
  }
  return lf_saveDocument(document, path);
}

void gf_parseParkPositions(const pugi::xml_document& document, std::vector<Stand>& stands) {
  const pugi::xml_node root = document.child("root");
  const pugi::xml_node list = (root ? root : static_cast<pugi::xml_node>(document)).child("parkpositions");
  if (!list) {
    gf_log(fmt::format("airport file has no '{}' section", "parkpositions"));
    return;
  }
  std::unordered_set<std::string> seen;
  seen.reserve(kMaxApfStands);
  std::size_t count = 0;
  for (pugi::xml_node parkpos : list.children("parkpos")) {
    if (++count > kMaxApfStands) {
      gf_logWarning(
          fmt::format("airport file contains more than {} stands; remaining stands skipped", kMaxApfStands));
      return;
    }
    const pugi::xml_attribute idAttribute = parkpos.attribute("id");
    if (!idAttribute) {
      gf_logWarning(fmt::format("Parking position #{} has no '{}' attribute, skipped.", count, "id"));
      continue;
    }
    std::string id = gf_trim(idAttribute.value());
    if (id.empty()) {
      gf_logWarning(fmt::format("Stand #{} has empty '{}' attribute, skipped.", count, "id"));
      continue;
    }
    if (!seen.insert(id).second) {
      gf_logWarning(fmt::format("Stand '{}' appears more than once, last one skipped!", id));
      continue;
    }
    lf_readStand(parkpos, id, 1, stands);
  }
}

bool lf_readStand(pugi::xml_node parkpos, const std::string& id, std::uint32_t optionSource,
                  std::vector<Stand>& stands) {
  const Lalo position{parkpos.attribute("latitude").as_double(0.0), parkpos.attribute("longitude").as_double(0.0)};
  if (!gf_isValidLalo(position)) {
    gf_logWarning(fmt::format("stand {} has no valid lat/lon", id));
    return false;
  }
  const std::string_view typeText = parkpos.attribute("typestr").value();
  const double radius = parkpos.attribute("radius").as_double(0.0);  // metres
  const double heading = parkpos.attribute("heading").as_double(0.0);  // degrees
  const bool heli = parkpos.attribute("heli").as_bool(false);

  std::uint32_t type = PARKING_NONE;
  if (!typeText.empty()) {
    type = gf_parkingTypeOf(typeText).value_or(PARKING_NONE);
  } else {
    type = parkpos.attribute("type").as_uint(0);
    if (type >= PARKING_TYPE_COUNT) type = PARKING_NONE;
  }
  bool cargo = parkpos.attribute("cargo").as_bool(false);
  bool ramp = parkpos.attribute("ramp").as_bool(false);
  if (type != PARKING_NONE) {
    const ParkingTypeInfo info = *gf_parkingTypeInfo(type);
    cargo = info.cargo;
    ramp = info.ramp;
  } else if (!heli) {
    if (!parkpos.attribute("cargo") || !parkpos.attribute("ramp")) {
      gf_logWarning(fmt::format("stand {} has no valid type, and no valid cargo/ramp fallback info", id));
      return false;
    }
    if (!(radius > 0.0)) {
      gf_logWarning(fmt::format("stand {} has no valid type and no usable radius", id));
      return false;
    }
    type = lf_derivedType(cargo, ramp, radius);
  }
  if (!std::isfinite(radius) || !(radius > 0.0) || !std::isfinite(heading)) {
    gf_logWarning(fmt::format("stand {} has invalid radius or heading", id));
    return false;
  }
  stands.emplace_back(id, lf_readOptions(parkpos, optionSource), position, heading / kDegreesPerRadian, radius, type,
                      cargo, ramp, heli);
  return true;
}

OptionIdentity lf_readOptionIdentity(pugi::xml_node opt) {
  OptionIdentity who;
  const std::string_view cs = opt.attribute("cs").value();
  const std::size_t colon = cs.find(':');
  who.name1 = std::string(cs.substr(0, colon));
  if (colon != std::string_view::npos) who.name2 = std::string(cs.substr(colon + 1));
  const std::string_view reg = opt.attribute("reg").value();
  const std::optional<DbaseEntry> known = reg.empty() ? std::nullopt : gf_lookupRegistration(reg);
  who.identity = known ? *known : lf_readOptionAirlineType(opt);
  return who;
}

DbaseEntry lf_readOptionAirlineType(pugi::xml_node opt) {
  DbaseEntry identity;
  identity.airlineId = gf_internAirlineName(opt.attribute("airl").value());
  identity.modelId = gf_internModelName(opt.attribute("type").value());
  return identity;
}
