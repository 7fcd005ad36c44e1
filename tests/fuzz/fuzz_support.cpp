#include "tests/fuzz/fuzz_support.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "feed/feed_neighbours.h"
#include "feed/traffic_mailbox.h"
#include "refdata/dbase.h"
#include "refdata/model_ids.h"
#include "refdata/registration.h"

namespace fs = std::filesystem;

namespace fuzz {

namespace {

struct OwnFolder {
  fs::path path;
  ~OwnFolder() {
    std::error_code ignored;
    if (!path.empty()) fs::remove_all(path, ignored);
  }
};

fs::path lf_makeFolder() {
  std::error_code error;
  const fs::path shm = "/dev/shm";
  fs::path base = fs::is_directory(shm, error) && ::access(shm.c_str(), W_OK) == 0 ? shm : fs::temp_directory_path();
  // tools/fuzz.sh names a folder of its own, and removes it with what crashed runs left there.
  if (const char* named = std::getenv("JORV_FUZZ_TMP"); named && *named) {
    base = named;
    fs::create_directories(base, error);
  }
  std::string pattern = (base / "jorv-fuzz-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder for the fuzz driver");
  return pattern;
}

std::optional<Lalo> lf_parkAirport() { return kParkAirport; }
std::optional<std::string> lf_userStand() { return std::string("D7"); }
std::optional<std::string> lf_standAt(const Lalo&) { return std::string("D7"); }
UserAcPosition lf_user() {
  UserAcPosition user;
  user.latitude = kParkAirport.lat;
  user.longitude = kParkAirport.lon;
  return user;
}
bool lf_userOnGround() { return true; }

// Models of every category, a fix, a cargo operator and registrations with and without operator.
void lf_fillDbase() {
  gf_resetDbaseTables();
  gf_internModelName("");
  gf_internAirlineName("");
  for (const char* code : {"B738", "B777", "B77F", "EC35", "C172", "E190", "A320", "BE20", "C25A", "PC12"})
    g_dbaseModelCodes.insert(code);
  gf_setModelFixes({{"B73H", "B738"}});
  gf_activateModelFixes();
  g_largeModels = {gf_internModelName("B738"), gf_internModelName("E190"), gf_internModelName("A320")};
  g_heavyModels = {gf_internModelName("B777"), gf_internModelName("B77F")};
  g_rotorcraftModels = {gf_internModelName("EC35")};
  g_twopropsModels = {gf_internModelName("BE20")};
  g_buzjetModels = {gf_internModelName("C25A")};
  g_highPerformanceModels = {gf_internModelName("PC12")};
  g_cargoOperators = {gf_internAirlineName("FDX")};
  const AirlineId klm = gf_internAirlineName("KLM");
  const AirlineId klc = gf_internAirlineName("KLC");
  g_dbaseRecords = {{"N851FD", DbaseEntry{gf_internAirlineName("FDX"), 0, gf_internModelName("B777"), 1, 1}},
                    {"PH-BXA", DbaseEntry{klm, 0, gf_internModelName("B738"), 0, 1}},
                    {"PH-EXA", DbaseEntry{klm, klc, gf_internModelName("E190"), 0, 1}}};
}

}  // namespace

const fs::path& tempFolder() {
  static OwnFolder folder{lf_makeFolder()};
  return folder.path;
}

void writeFile(const fs::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("the fuzz driver could not write " + file.string());
}

std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> out;
  for (;;) {
    const auto end = text.find('\n');
    out.push_back(text.substr(0, end));
    if (end == std::string_view::npos) return out;
    text.remove_prefix(end + 1);
  }
}

void resetFeedWorld(bool rtDirect) {
  lf_fillDbase();
  gf_publishSimChoice(SimChoice{2, rtDirect ? 0 : 1});
  gf_resetParameterSnapshot();
  gf_changeParameterSnapshot([](ParameterSnapshot& snapshot) {
    snapshot.blocked = {"TRA5432", "TRA5432", "", 0, false};
  });
  gf_resetFeedNeighbours();
  FeedNeighbours neighbours;
  neighbours.parkAirport = &lf_parkAirport;
  neighbours.userStand = &lf_userStand;
  neighbours.standNameAtPos = &lf_standAt;
  neighbours.userAcState = &lf_user;
  neighbours.userOnGround = &lf_userOnGround;
  gf_setFeedNeighbours(neighbours);
  gf_publishUserAcPosition(lf_user());
  gf_resetTrafficMailbox();
  std::lock_guard lock(g_trafficMutex);
  g_trafficMailbox.active = true;
}

void require(bool condition, const char* promise) {
  if (condition) return;
  std::fprintf(stderr, "broken promise: %s\n", promise);
  std::abort();
}

void checkRecord(const TrafficRecord& record) {
  require(gf_isValidLalo(record.lalo), "a live record has a valid position");
  require(record.hexid > 10000, "a live record has a real aircraft address");
  require(!record.callsign.empty() || !record.registration.empty(), "a live record has a callsign or registration");
  require(std::isfinite(record.altitude) && record.altitude >= 0.0, "a live record's altitude is 0 or more");
  require(std::isfinite(record.timestamp) && record.timestamp > 0.0, "a live record has a time");
  require(!record.trueHeadingRad || (*record.trueHeadingRad > 0.0 && *record.trueHeadingRad <= 2.0 * geo::kPi),
          "a true heading lies in (0, 2 pi]");
  require(!record.rollRad || std::abs(*record.rollRad) <= geo::kPi / 2.0, "a roll lies within 90 degrees");
}

void checkParked(const ParkedRecord& record) {
  require(gf_isValidLalo(record.lalo), "a parked record has a valid position");
  require(record.hexid > 10000, "a parked record has a real aircraft address");
  require(!record.standName.empty(), "a parked record has a stand");
  require(record.halfHourSlot >= -1 && record.halfHourSlot < 48, "a parked record's half hour lies in 0..47");
}

void checkMailbox() {
  for (const auto& record : gf_takeTrafficBatch()) checkRecord(record);
  for (const auto& batch : gf_takeHistoryBatches())
    for (const auto& record : batch.records) checkRecord(record);
}

}  // namespace fuzz
