// The BGL reader of the airport scan: the input is a .bgl file. The walk finds records only
// inside the bytes and inside one another's blocks; the record readers turn every airport record
// into stands with usable positions and names unique within the airport; and the whole file
// route (records, idents, stands, the generated stand file) comes back without a throw.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <set>
#include <variant>

#include "airportscan/airport_processing.h"
#include "airportscan/bgl_airport.h"
#include "airportscan/bgl_sections.h"
#include "airportscan/scan_state.h"
#include "refdata/airports.h"
#include "refdata/weekly_traffic.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

namespace fs = std::filesystem;

// The generator's idents are known airports; the empty weekly list lets every airport through.
void lf_setUp() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::unique_lock lock(g_airportsLock);
    for (const char* code : {"EDDF", "EGLL", "EHAM", "KJFK", "KLAX", "LSZH"}) g_airports.push_back(Airport{IcaoCode(code)});
  });
  gf_resetAirportScanState();
  gf_resetRTWeeklyAirportsForTest();
}

void lf_checkAirport(BglBytes bytes, const BglRecordRef& record) {
  (void)gf_bglAirportIdent(bytes, record);
  const BglAirportRead read = gf_readBglAirportRecord(bytes, record);
  std::set<std::string> names;
  for (const Stand& stand : read.airport.stands) {
    fuzz::require(gf_isValidLalo(stand.position), "a stand read has a valid position");
    fuzz::require(names.insert(stand.name).second, "stand names are unique within the airport");
  }
  fuzz::require(read.helipadCount <= read.airport.stands.size(), "every helipad counted is a stand");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lf_setUp();
  const BglBytes bytes(data, size);
  const BglRecords found = lf_enumerateBglAirportRecords(bytes);
  if (const auto* records = std::get_if<std::vector<BglRecordRef>>(&found)) {
    for (const BglRecordRef& record : *records) {
      fuzz::require(lf_rangeFits(record.offset, record.size, size), "a record lies inside the file");
      fuzz::require(record.size >= 6 && record.size % 4 == 0, "a record has a usable size");
      if (record.id == kBglAirportRecordId) lf_checkAirport(bytes, record);
    }
  }

  // The stand files go below the current folder: the driver's own, for this input only.
  const fs::path previous = fs::current_path();
  fs::current_path(fuzz::tempFolder());
  const fs::path file = fs::path("Community") / "scenery" / "input.bgl";
  fs::create_directories(file.parent_path());
  fuzz::writeFile(file, fuzz::text(data, size));
  fs::remove_all("airports");
  fs::create_directories(fs::path("airports") / "my_thirdparty");
  lf_processBGLfile(file);  // never throws
  fs::current_path(previous);
  return 0;
}
