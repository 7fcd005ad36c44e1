#include "parking/destination_readers.h"

#include <fmt/format.h>

#include <cctype>
#include <cmath>
#include <exception>
#include <filesystem>
#include <limits>
#include <unordered_set>

#include "config/xml_meta.h"
#include "core/text.h"
#include "core/geodesy.h"
#include "parking/airport_file_read.h"
#include "parking/stand_download.h"

namespace fs = std::filesystem;

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;

// Holds the loaded document (and its decrypted text) and removes a fetched copy when it goes.
struct LoadedApf {
  SecureBuffer buffer;  // before the document: it outlives it
  pugi::xml_document document;
  fs::path parsedPath;
  fs::path fetchedCopy;
  ~LoadedApf() {
    std::error_code ignored;
    if (!fetchedCopy.empty()) fs::remove(fetchedCopy, ignored);
  }
};

// The common opening of both readers: the file found, fetched, loaded and its header checked.
std::optional<std::string> lf_loadDestinationApf(IcaoCode airport, LoadedApf& loaded, bool localOnly = false) {
  const std::optional<fs::path> found = gf_findAirportFile(airport);
  if (!found) return "airport source path not found";
  if (localOnly && found->begin() != found->end() && *found->begin() == "archive")
    return "airport file not on this computer";
  const DownloadedAirportFile download = gf_downloadAirportFile(*found, false);
  if (!download.error.empty()) return download.error;
  loaded.fetchedCopy = download.localPath;
  loaded.parsedPath = download.fetched ? download.localPath : *found;
  if (auto error = gf_loadApfXml(loaded.parsedPath, download.fetched && download.encrypted, loaded.buffer,
                                 loaded.document))
    return error;
  if (!gf_readXmlMeta(loaded.document, false)) return "airport file has invalid metadata";
  return std::nullopt;
}

pugi::xml_node lf_parkPositions(const pugi::xml_document& document) {
  const pugi::xml_node root = document.child("root");
  return (root ? root : static_cast<pugi::xml_node>(document)).child("parkpositions");
}

std::variant<std::vector<NamedStandPosition>, std::string> lf_readStandPositions(IcaoCode airport, bool localOnly) {
  LoadedApf loaded;
  if (auto error = lf_loadDestinationApf(airport, loaded, localOnly)) return *error;
  const pugi::xml_node positions = lf_parkPositions(loaded.document);
  if (!positions)
    return fmt::format("airport file {} has no '{}' section", gf_pathToUtf8(loaded.parsedPath), "parkpositions");
  std::vector<NamedStandPosition> stands;
  for (const pugi::xml_node parkpos : positions.children("parkpos")) {
    const Lalo at{parkpos.attribute("latitude").as_double(0.0), parkpos.attribute("longitude").as_double(0.0)};
    const char* id = parkpos.attribute("id").value();
    if (!gf_isValidLalo(at) || *id == '\0') continue;
    stands.push_back(NamedStandPosition{id, at});
  }
  if (stands.empty()) return "airport file has no valid stands";
  return stands;
}

std::variant<ClosestStand, std::string> lf_readClosestStand(IcaoCode airport, const Lalo& reference, bool localOnly) {
  if (!gf_isValidLalo(reference)) return "invalid reference position";
  auto read = lf_readStandPositions(airport, localOnly);
  if (auto* error = std::get_if<std::string>(&read)) return std::move(*error);
  return gf_closestOfStands(std::get<std::vector<NamedStandPosition>>(read), reference);
}

std::variant<std::vector<std::string>, std::string> lf_readStandNames(IcaoCode airport) {
  LoadedApf loaded;
  if (auto error = lf_loadDestinationApf(airport, loaded)) return *error;
  const pugi::xml_node positions = lf_parkPositions(loaded.document);
  if (!positions) return fmt::format("airport file has no '{}' section", "parkpositions");
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;
  for (const pugi::xml_node parkpos : positions.children("parkpos")) {
    const pugi::xml_attribute id = parkpos.attribute("id");
    if (!id) continue;
    std::string name = gf_trim(id.value());
    if (name.empty()) continue;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (seen.insert(name).second) names.push_back(std::move(name));
  }
  return names;
}

// Either reader, any exception turned into its error text.
template <class Read>
auto lf_guarded(std::string_view reader, Read read) -> decltype(read()) {
  try {
    return read();
  } catch (const std::exception& e) {
    return fmt::format("{}: {}", reader, e.what());
  } catch (...) {
    return fmt::format("{}: unknown exception", reader);
  }
}

}  // namespace

std::variant<ClosestStand, std::string> gf_readDestApfForClosestStand(IcaoCode airport, const Lalo& reference,
                                                                      bool localOnly) {
  return lf_guarded("gf_readDestApfForClosestStand",
                    [&] { return lf_readClosestStand(airport, reference, localOnly); });
}

std::variant<std::vector<NamedStandPosition>, std::string> gf_readApfStandPositions(IcaoCode airport) {
  return lf_guarded("gf_readApfStandPositions", [&] { return lf_readStandPositions(airport, false); });
}

ClosestStand gf_closestOfStands(const std::vector<NamedStandPosition>& stands, const Lalo& reference) {
  const double cosLat = std::cos(reference.lat * kRadiansPerDegree);
  double best = std::numeric_limits<double>::infinity();
  ClosestStand closest;
  for (const NamedStandPosition& stand : stands) {
    const double dLat = (reference.lat - stand.position.lat) * 60.0;
    const double dLon = (reference.lon - stand.position.lon) * cosLat * 60.0;
    const double d2 = dLat * dLat + dLon * dLon;
    if (!(d2 < best)) continue;
    best = d2;
    closest.name = stand.name;
  }
  if (closest.name.empty()) return closest;
  closest.distanceNm = std::sqrt(best);
  closest.found = true;
  return closest;
}

std::variant<std::vector<std::string>, std::string> gf_readApfForStands(IcaoCode airport) {
  return lf_guarded("gf_readApfForStands", [&] { return lf_readStandNames(airport); });
}
