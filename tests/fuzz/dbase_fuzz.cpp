// The dbase: the input is the XML, enciphered and read from "dbase.enc" as at start-up, then
// the similar-model lists built from it as if every model had liveries.
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "refdata/dbase.h"
#include "refdata/model_ids.h"
#include "refdata/registration.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/enc_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::array<unsigned char, kEncKeyBytes> key{};
  gf_encKeyPartA(key);
  gf_encKeyPartB(key);
  fuzz::writeFile(fuzz::tempFolder() / kDbaseFileName, gf_encryptEncData(key, fuzz::text(data, size)));
  gf_wipeEncKey(key);

  gf_resetDbaseTables();
  bool read = false;
  try {
    read = gf_readDbase(fuzz::tempFolder());
  } catch (const std::exception&) {
    // a missing section: the start-up tells the user
  }
  if (!read) return 0;
  for (std::size_t i = 1; i < g_dbaseRecords.size(); ++i)
    fuzz::require(g_dbaseRecords[i - 1].key < g_dbaseRecords[i].key, "registrations are sorted and unique");
  for (const auto& record : g_dbaseRecords) (void)gf_lookupRegistration(record.key);
  for (const auto& [wrong, right] : g_dbaseModelFixes) (void)gf_internModelName(wrong);

  LiveryPresence presence;
  presence.modelHasLiveries = [](ModelId id) { return id % 2 == 0; };
  presence.collectLiveryAirlines = [] {
    std::vector<AirlineId> airlines;
    for (std::size_t id = 1; id < gf_airlineNameCount() && id < 64; ++id) airlines.push_back(static_cast<AirlineId>(id));
    return airlines;
  };
  presence.hasLiveryForAirlineModel = [](AirlineId airline, ModelId model) { return (airline + model) % 3 == 0; };
  gf_buildSimilarModels(presence);
  return 0;
}
