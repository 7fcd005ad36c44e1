// Facility data of the stand-in simulator: airports from fixture files, facility definitions as
// the client adds them, and answers laid out field by field from those definitions.
#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>

#include "standin/sim/sim.h"
#include "standin/sim/sim_internal.h"

namespace standin::sim {
namespace detail {

namespace {

enum class Wire { F64, F32, I32, U32, Text32 };

struct ObjectKind {
  std::string_view name;
  std::string_view parent;  // empty: the top object
  std::uint32_t type;       // SIMCONNECT_FACILITY_DATA_TYPE of its records
};

constexpr ObjectKind kKinds[] = {
    {"AIRPORT", "", SIMCONNECT_FACILITY_DATA_AIRPORT},
    {"RUNWAY", "AIRPORT", SIMCONNECT_FACILITY_DATA_RUNWAY},
    {"PRIMARY_THRESHOLD", "RUNWAY", SIMCONNECT_FACILITY_DATA_RUNWAY_THRESHOLD},
    {"SECONDARY_THRESHOLD", "RUNWAY", SIMCONNECT_FACILITY_DATA_RUNWAY_THRESHOLD},
    {"START", "AIRPORT", SIMCONNECT_FACILITY_DATA_START},
    {"HELIPAD", "AIRPORT", SIMCONNECT_FACILITY_DATA_HELIPAD},
    {"TAXI_PARKING", "AIRPORT", SIMCONNECT_FACILITY_DATA_TAXI_PARKING},
};

struct FieldKind {
  std::string_view object;
  std::string_view field;
  Wire wire;
};

// The fields the stand-in serves, with the simulator's own wire types.
constexpr FieldKind kFields[] = {
    {"AIRPORT", "LATITUDE", Wire::F64},
    {"AIRPORT", "LONGITUDE", Wire::F64},
    {"AIRPORT", "ALTITUDE", Wire::F64},
    {"AIRPORT", "NAME", Wire::Text32},
    {"AIRPORT", "N_RUNWAYS", Wire::I32},
    {"AIRPORT", "N_STARTS", Wire::I32},
    {"AIRPORT", "N_HELIPADS", Wire::I32},
    {"AIRPORT", "N_TAXI_PARKINGS", Wire::I32},
    {"RUNWAY", "LATITUDE", Wire::F64},
    {"RUNWAY", "LONGITUDE", Wire::F64},
    {"RUNWAY", "ALTITUDE", Wire::F64},
    {"RUNWAY", "HEADING", Wire::F32},
    {"RUNWAY", "LENGTH", Wire::F32},
    {"RUNWAY", "WIDTH", Wire::F32},
    {"RUNWAY", "PRIMARY_NUMBER", Wire::I32},
    {"RUNWAY", "PRIMARY_DESIGNATOR", Wire::I32},
    {"RUNWAY", "SECONDARY_NUMBER", Wire::I32},
    {"RUNWAY", "SECONDARY_DESIGNATOR", Wire::I32},
    {"PRIMARY_THRESHOLD", "LENGTH", Wire::F32},
    {"PRIMARY_THRESHOLD", "WIDTH", Wire::F32},
    {"PRIMARY_THRESHOLD", "ENABLE", Wire::I32},
    {"SECONDARY_THRESHOLD", "LENGTH", Wire::F32},
    {"SECONDARY_THRESHOLD", "WIDTH", Wire::F32},
    {"SECONDARY_THRESHOLD", "ENABLE", Wire::I32},
    {"START", "LATITUDE", Wire::F64},
    {"START", "LONGITUDE", Wire::F64},
    {"START", "ALTITUDE", Wire::F64},
    {"START", "HEADING", Wire::F32},
    {"START", "NUMBER", Wire::I32},
    {"START", "DESIGNATOR", Wire::I32},
    {"START", "TYPE", Wire::I32},
    {"HELIPAD", "LATITUDE", Wire::F64},
    {"HELIPAD", "LONGITUDE", Wire::F64},
    {"HELIPAD", "ALTITUDE", Wire::F64},
    {"HELIPAD", "HEADING", Wire::F32},
    {"HELIPAD", "LENGTH", Wire::F32},
    {"HELIPAD", "WIDTH", Wire::F32},
    {"HELIPAD", "SURFACE", Wire::I32},
    {"HELIPAD", "TYPE", Wire::I32},
    {"TAXI_PARKING", "TYPE", Wire::I32},
    {"TAXI_PARKING", "TAXI_POINT_TYPE", Wire::I32},
    {"TAXI_PARKING", "NAME", Wire::I32},
    {"TAXI_PARKING", "SUFFIX", Wire::I32},
    {"TAXI_PARKING", "NUMBER", Wire::U32},
    {"TAXI_PARKING", "ORIENTATION", Wire::I32},
    {"TAXI_PARKING", "HEADING", Wire::F32},
    {"TAXI_PARKING", "RADIUS", Wire::F32},
    {"TAXI_PARKING", "BIAS_X", Wire::F32},
    {"TAXI_PARKING", "BIAS_Z", Wire::F32},
};

// Counts of the airport that follow its arrays unless the fixture gives them.
constexpr std::pair<std::string_view, std::string_view> kCounts[] = {
    {"N_RUNWAYS", "RUNWAY"},
    {"N_STARTS", "START"},
    {"N_HELIPADS", "HELIPAD"},
    {"N_TAXI_PARKINGS", "TAXI_PARKING"},
};

const ObjectKind* lf_kind(std::string_view name) {
  for (const auto& kind : kKinds)
    if (kind.name == name) return &kind;
  return nullptr;
}

const FieldKind* lf_field(std::string_view object, std::string_view field) {
  for (const auto& kind : kFields)
    if (kind.object == object && kind.field == field) return &kind;
  return nullptr;
}

// A definition as a tree: each object's fields in order, and the objects inside it.
struct DefinitionNode {
  std::string kind;
  std::vector<std::string> fields;
  std::vector<DefinitionNode> children;
};

// The objects still open after the entries; false when an entry does not fit where it stands.
bool lf_openStack(const std::vector<std::string>& entries, std::vector<std::string>& stack) {
  stack.clear();
  for (const auto& entry : entries) {
    if (entry.starts_with("OPEN ")) {
      const std::string kind = entry.substr(5);
      const ObjectKind* known = lf_kind(kind);
      if (!known) return false;
      if (stack.empty() ? !known->parent.empty() : known->parent != stack.back()) return false;
      stack.push_back(kind);
    } else if (entry.starts_with("CLOSE ")) {
      if (stack.empty() || stack.back() != entry.substr(6)) return false;
      stack.pop_back();
    } else {
      if (stack.empty() || !lf_field(stack.back(), entry)) return false;
    }
  }
  return true;
}

// The tree of a complete definition (every object closed); none for an incomplete one.
std::optional<DefinitionNode> lf_definitionTree(const std::vector<std::string>& entries) {
  std::vector<std::string> stack;
  if (entries.empty() || !lf_openStack(entries, stack) || !stack.empty()) return std::nullopt;
  DefinitionNode root;
  std::vector<DefinitionNode*> path;
  for (const auto& entry : entries) {
    if (entry.starts_with("OPEN ")) {
      if (path.empty()) {
        root.kind = entry.substr(5);
        path.push_back(&root);
      } else {
        path.back()->children.push_back(DefinitionNode{entry.substr(5), {}, {}});
        path.push_back(&path.back()->children.back());
      }
    } else if (entry.starts_with("CLOSE ")) {
      path.pop_back();
      if (path.empty()) break;  // a second airport in one definition is not served
    } else {
      path.back()->fields.push_back(entry);
    }
  }
  return root;
}

double lf_number(const FacilityObject& object, const std::string& field) {
  auto it = object.fields.find(field);
  if (it == object.fields.end() || !std::holds_alternative<double>(it->second)) return 0.0;
  return std::get<double>(it->second);
}

template <typename Value>
void lf_append(std::vector<std::byte>& out, Value value) {
  const std::size_t at = out.size();
  out.resize(at + sizeof value);
  std::memcpy(out.data() + at, &value, sizeof value);
}

template <typename Integer>
Integer lf_integer(double value) {
  if (!std::isfinite(value)) return 0;
  const double low = static_cast<double>(std::numeric_limits<Integer>::min());
  const double high = static_cast<double>(std::numeric_limits<Integer>::max());
  return static_cast<Integer>(std::llround(std::clamp(value, low, high)));
}

void lf_appendField(std::vector<std::byte>& out, const std::string& kind, const std::string& field,
                    const FacilityObject& object) {
  const FieldKind* known = lf_field(kind, field);
  if (!known) return;
  double number = lf_number(object, field);
  if (kind == "AIRPORT" && !object.fields.contains(field)) {
    for (const auto& [count, child] : kCounts) {
      if (count != field) continue;
      auto list = object.children.find(std::string(child));
      number = list == object.children.end() ? 0.0 : static_cast<double>(list->second.size());
    }
  }
  switch (known->wire) {
    case Wire::F64:
      lf_append(out, number);
      break;
    case Wire::F32:
      lf_append(out, static_cast<float>(number));
      break;
    case Wire::I32:
      lf_append(out, lf_integer<std::int32_t>(number));
      break;
    case Wire::U32:
      lf_append(out, lf_integer<std::uint32_t>(number));
      break;
    case Wire::Text32: {
      // As the simulator sends it: up to 32 bytes, NUL padded, no NUL when the text fills them.
      std::string text;
      auto it = object.fields.find(field);
      if (it != object.fields.end() && std::holds_alternative<std::string>(it->second))
        text = std::get<std::string>(it->second);
      const std::size_t at = out.size();
      out.resize(at + 32);
      std::memcpy(out.data() + at, text.data(), std::min<std::size_t>(text.size(), 32));
      break;
    }
  }
}

struct AnswerRecord {
  std::uint32_t type = 0;
  std::vector<std::byte> bytes;
};

void lf_emit(Sim& s, const DefinitionNode& node, const FacilityObject& object, std::uint32_t requestId,
             std::uint32_t parentId, std::uint32_t index, std::uint32_t listSize, std::vector<AnswerRecord>& out) {
  SimConnectRecvFacilityData head{};
  head.userRequestId = requestId;
  head.uniqueRequestId = s.nextFacilityUniqueId++;
  head.parentUniqueRequestId = parentId;
  head.type = lf_kind(node.kind)->type;
  head.isListItem = listSize > 0 ? 1 : 0;
  head.itemIndex = index;
  head.listSize = listSize;
  std::vector<std::byte> bytes = recordBytes(head, SIMCONNECT_RECV_ID_FACILITY_DATA);
  for (const auto& field : node.fields) lf_appendField(bytes, node.kind, field, object);
  const auto size = static_cast<std::uint32_t>(bytes.size());
  std::memcpy(bytes.data(), &size, sizeof size);
  out.push_back(AnswerRecord{head.type, std::move(bytes)});
  for (const auto& child : node.children) {
    auto list = object.children.find(child.kind);
    if (list == object.children.end()) continue;
    const auto count = static_cast<std::uint32_t>(list->second.size());
    for (std::uint32_t i = 0; i < count; ++i)
      lf_emit(s, child, list->second[i], requestId, head.uniqueRequestId, i, count, out);
  }
}

std::vector<std::byte> lf_endRecord(std::uint32_t requestId) {
  SimConnectRecvFacilityDataEnd end{};
  end.requestId = requestId;
  return recordBytes(end, SIMCONNECT_RECV_ID_FACILITY_DATA_END);
}

std::string lf_upperKey(const std::string& key) { return upper(key); }

FacilityObject lf_parseObject(const nlohmann::json& json, const std::string& kind, const std::string& where) {
  if (!json.is_object()) throw std::runtime_error(fmt::format("{}: {} must be a JSON object", where, kind));
  FacilityObject object;
  for (const auto& [key, value] : json.items()) {
    if (key.empty() || !std::isupper(static_cast<unsigned char>(key.front()))) continue;  // "faults", remarks
    const std::string name = lf_upperKey(key);
    if (value.is_number() || value.is_boolean()) {
      object.fields[name] = value.is_boolean() ? (value.get<bool>() ? 1.0 : 0.0) : value.get<double>();
    } else if (value.is_string()) {
      object.fields[name] = value.get<std::string>();
    } else if (value.is_array() || value.is_object()) {
      const ObjectKind* child = lf_kind(name);
      if (!child || child->parent != kind)
        throw std::runtime_error(fmt::format("{}: {} cannot hold {}", where, kind, name));
      auto& list = object.children[name];
      if (value.is_object()) {
        list.push_back(lf_parseObject(value, name, where));
      } else {
        for (const auto& item : value) list.push_back(lf_parseObject(item, name, where));
      }
    } else {
      throw std::runtime_error(fmt::format("{}: {}.{} has no usable value", where, kind, name));
    }
  }
  return object;
}

FacilityFaults lf_parseFaults(const nlohmann::json& json) {
  FacilityFaults faults;
  faults.noEnd = json.value("noEnd", false);
  faults.late = json.value("late", false);
  faults.lateException = json.value("lateException", false);
  faults.strayRequestId = json.value("strayRequestId", 0u);
  faults.truncateType = json.value("truncateType", kNever);
  faults.truncateBytes = json.value("truncateBytes", 0u);
  return faults;
}

// The airport from the folder, when the folder holds it; a bad file is reported, not served.
const FacilityAirport* lf_airport(Sim& s, const std::string& icao) {
  auto it = s.facilityAirports.find(icao);
  if (it != s.facilityAirports.end()) return &it->second;
  if (s.facilityFolder.empty() || icao.size() != 4) return nullptr;
  const std::filesystem::path file = s.facilityFolder / (icao + ".json");
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return nullptr;
  try {
    std::ifstream in(file, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    FacilityAirport airport = parseFacilityAirport(text, file.string());
    return &s.facilityAirports.insert_or_assign(icao, std::move(airport)).first->second;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "stand-in simulator: facility file %s not loaded: %s\n", file.string().c_str(), e.what());
    return nullptr;
  }
}

GroundAirport lf_groundAirport(const FacilityObject& airport) {
  return GroundAirport{lf_number(airport, "LATITUDE"), lf_number(airport, "LONGITUDE"),
                       lf_number(airport, "ALTITUDE") * 3.280839895};
}

// Every fixture airport, loaded or only lying in the folder; a file that cannot be read is left
// out here and reported when a client asks for it.
void lf_buildGround(Sim& s) {
  s.groundAirports.clear();
  std::set<std::string> seen;
  for (const auto& [icao, airport] : s.facilityAirports) {
    s.groundAirports.push_back(lf_groundAirport(airport.airport));
    seen.insert(icao);
  }
  std::error_code error;
  if (!s.facilityFolder.empty() && std::filesystem::is_directory(s.facilityFolder, error)) {
    for (const auto& entry : std::filesystem::directory_iterator(s.facilityFolder, error)) {
      const auto& path = entry.path();
      if (path.extension() != ".json" || seen.contains(upper(path.stem().string()))) continue;
      try {
        std::ifstream in(path, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        s.groundAirports.push_back(lf_groundAirport(parseFacilityAirport(text, path.string()).airport));
      } catch (const std::exception&) {
      }
    }
  }
  std::erase_if(s.groundAirports, [](const GroundAirport& airport) {
    return !std::isfinite(airport.latitude) || !std::isfinite(airport.longitude) || !std::isfinite(airport.elevationFeet);
  });
  s.groundFolder = s.facilityFolder;
  s.groundFacilityCount = s.facilityAirports.size();
  s.groundBuilt = true;
}

}  // namespace

std::optional<double> groundLevelFeet(Sim& s, double lat, double lon) {
  // Asked at every pose write: the folders compare as plain text, not path by path.
  if (!s.groundBuilt || s.groundFacilityCount != s.facilityAirports.size() ||
      s.groundFolder.native() != s.facilityFolder.native())
    lf_buildGround(s);
  if (!std::isfinite(lat) || !std::isfinite(lon)) return std::nullopt;
  const GroundAirport* nearest = nullptr;
  double best = 0.0;
  const double eastScale = std::cos(lat * 3.14159265358979323846 / 180.0);
  for (const auto& airport : s.groundAirports) {
    // Flat-earth distance is plenty to tell the nearest of a few airports.
    const double dLat = airport.latitude - lat;
    double across = airport.longitude - lon;
    if (across > 180.0 || across < -180.0) across = std::remainder(across, 360.0);
    const double dLon = across * eastScale;
    const double d = dLat * dLat + dLon * dLon;
    if (!nearest || d < best) {
      nearest = &airport;
      best = d;
    }
  }
  if (!nearest) return std::nullopt;
  return nearest->elevationFeet;
}

void settleOnGround(Sim& s, ObjectState& object, bool placedOnGround) {
  const auto level = groundLevelFeet(s, object.latitude, object.longitude);
  if (!level) return;  // no fixtures: the object keeps what its creation gave it
  // An aircraft on the ground stands with its reference point its CG height above the ground;
  // a little more still counts, as the simulator's gear does.
  constexpr double kGearSlackFeet = 2.0;
  // Created on the ground, an aircraft is set on its gear whatever altitude the client gave.
  if (placedOnGround) object.altitude = *level + object.staticCg;
  object.groundAltitude = *level;
  object.altitudeAboveGround = object.altitude - *level;
  object.onGround = placedOnGround || object.altitudeAboveGround <= object.staticCg + kGearSlackFeet;
  if (object.onGround) object.altitudeAboveGround = std::max(0.0, object.altitudeAboveGround);
}

FacilityAirport parseFacilityAirport(const std::string& jsonText, const std::string& origin) {
  nlohmann::json json;
  try {
    json = nlohmann::json::parse(jsonText);
  } catch (const nlohmann::json::exception& e) {
    throw std::runtime_error(fmt::format("{}: not valid JSON: {}", origin, e.what()));
  }
  FacilityAirport airport;
  try {
    airport.airport = lf_parseObject(json, "AIRPORT", origin);
    if (json.contains("faults")) airport.faults = lf_parseFaults(json.at("faults"));
  } catch (const nlohmann::json::exception& e) {
    throw std::runtime_error(fmt::format("{}: {}", origin, e.what()));
  }
  auto icao = airport.airport.fields.find("ICAO");
  if (icao == airport.airport.fields.end() || !std::holds_alternative<std::string>(icao->second) ||
      std::get<std::string>(icao->second).empty())
    throw std::runtime_error(fmt::format("{}: the airport needs its \"ICAO\" text", origin));
  return airport;
}

void resetFacilities(Sim& s) {
  s.facilityAirports.clear();
  s.facilityFaults.clear();
  s.facilityFolder.clear();
  s.nextFacilityUniqueId = 1;
  s.facilityRequests = 0;
  s.groundAirports.clear();
  s.groundBuilt = false;
}

HRESULT addFacilityEntry(Sim& s, Connection& connection, std::uint32_t defineId, std::string_view entry) {
  auto& entries = connection.facilityDefinitions[defineId];
  entries.push_back(upper(entry));
  std::vector<std::string> stack;
  if (!lf_openStack(entries, stack)) {
    // An entry the simulator does not know, or one out of place: refused, as the real one does,
    // through an exception record.
    entries.pop_back();
    queueException(s, connection, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, connection.lastPacketId, 2);
  }
  return S_OK;
}

HRESULT answerFacilityRequest(Sim& s, Connection& connection, std::uint32_t defineId, std::uint32_t requestId,
                              std::string_view icaoText) {
  ++s.facilityRequests;
  // Whatever an earlier request left waiting arrives first.
  while (!connection.heldFacilityReplies.empty()) {
    connection.queue.push_back(std::move(connection.heldFacilityReplies.front()));
    connection.heldFacilityReplies.pop_front();
  }
  auto definition = connection.facilityDefinitions.find(defineId);
  std::optional<DefinitionNode> tree;
  if (definition != connection.facilityDefinitions.end()) tree = lf_definitionTree(definition->second);
  if (!tree) {
    queueException(s, connection, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, connection.lastPacketId, 1);
    return S_OK;
  }
  const std::string icao = upper(icaoText);
  const FacilityAirport* airport = lf_airport(s, icao);
  if (!airport) {
    queueException(s, connection, SIMCONNECT_EXCEPTION_ERROR, connection.lastPacketId, 3);
    return S_OK;
  }
  FacilityFaults faults = airport->faults;
  if (auto it = s.facilityFaults.find(icao); it != s.facilityFaults.end()) faults = it->second;

  std::vector<AnswerRecord> records;
  lf_emit(s, *tree, airport->airport, requestId, 0, 0, 0, records);
  if (faults.truncateType != kNever) {
    for (auto& record : records) {
      if (record.type != faults.truncateType) continue;
      record.bytes.resize(faults.truncateBytes >= record.bytes.size() ? 0 : record.bytes.size() - faults.truncateBytes);
      break;
    }
  }
  std::vector<std::vector<std::byte>> answer;
  if (faults.strayRequestId != 0) {
    std::vector<std::byte> stray = records.front().bytes;
    if (stray.size() >= sizeof(SimConnectRecvFacilityData))
      std::memcpy(stray.data() + 12, &faults.strayRequestId,  // userRequestId
                  sizeof faults.strayRequestId);
    answer.push_back(std::move(stray));
    answer.push_back(lf_endRecord(faults.strayRequestId));
  }
  for (auto& record : records) answer.push_back(std::move(record.bytes));
  if (!faults.noEnd) answer.push_back(lf_endRecord(requestId));

  if (faults.late) {
    for (const auto& bytes : answer) connection.heldFacilityReplies.push_back(makeMessage(bytes.data(), bytes.size()));
    if (faults.lateException) {
      SimConnectRecvException exception{};
      exception.exception = SIMCONNECT_EXCEPTION_ERROR;
      exception.sendId = connection.lastPacketId;
      const auto bytes = recordBytes(exception, SIMCONNECT_RECV_ID_EXCEPTION);
      connection.heldFacilityReplies.push_back(makeMessage(bytes.data(), bytes.size()));
    }
    return S_OK;
  }
  for (auto& bytes : answer) queue(s, connection, std::move(bytes));
  return S_OK;
}

}  // namespace detail

using namespace detail;

void setFacilityFolder(const std::filesystem::path& folder) {
  ensureConfigured();
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.facilityFolder = folder;
}

void addFacilityAirport(const std::string& json) {
  ensureConfigured();
  FacilityAirport airport = parseFacilityAirport(json, "facility airport");
  const std::string icao = upper(std::get<std::string>(airport.airport.fields.at("ICAO")));
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.facilityAirports.insert_or_assign(icao, std::move(airport));
}

void loadFacilityFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error(fmt::format("cannot open {}", file.string()));
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ensureConfigured();
  FacilityAirport airport = parseFacilityAirport(text, file.string());
  const std::string icao = upper(std::get<std::string>(airport.airport.fields.at("ICAO")));
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.facilityAirports.insert_or_assign(icao, std::move(airport));
}

void setFacilityFaults(const std::string& icao, const FacilityFaults& faults) {
  ensureConfigured();
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.facilityFaults[upper(icao)] = faults;
}

std::uint64_t facilityRequestCount() {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  return s.facilityRequests;
}

}  // namespace standin::sim
