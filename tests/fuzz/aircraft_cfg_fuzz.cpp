// A package aircraft.cfg and an IVAO MTL aircraft.cfg, the input being the file in whatever
// charset, read as the livery scan reads them: a plain package folder, an IVAO model folder and
// a winglet one (its titles carry a "W" behind the model). What comes out are complete liveries,
// each title once in the scan, trimmed, not on the don't-use list, with a model the dbase knows
// and a registration that can be one.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/text.h"
#include "liveries/cfg_reader.h"
#include "liveries/ivao_reader.h"
#include "liveries/livery_regcodes.h"
#include "liveries/scan_reports.h"
#include "refdata/model_ids.h"
#include "tests/fuzz/fuzz_support.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kSourceIndex = 3;

struct Files {
  fs::path package, ivao, winglets;
};

// The texture folders the seeds' IVAO liveries name: "texture.KLM", "texture.1".
fs::path lf_modelFolder(const fs::path& folder) {
  for (const char* texture : {"texture.KLM", "texture.1"}) fs::create_directories(folder / texture);
  return folder / "aircraft.cfg";
}

const Files& lf_files() {
  static const Files files = [] {
    const fs::path root = fuzz::tempFolder();
    const fs::path airplanes = root / "Community" / "ivao-mtl" / "IVAO_MTL" / "SimObjects" / "Airplanes";
    return Files{lf_modelFolder(root / "Community" / "pkg" / "SimObjects" / "Airplanes" / "pkg-b738"),
                 lf_modelFolder(airplanes / "IVAO_B738"), lf_modelFolder(airplanes / "IVAO_B738WLfa")};
  }();
  return files;
}

void lf_resetScanWorld() {
  fuzz::resetFeedWorld(false);
  for (const char* code : {"KLM", "DLH", "FDX", "KLC", "SWR", "EZY"}) g_dbaseAirlineCodes.insert(code);
  lf_clearScanReports();
  g_dontUseTitles.clear();
  g_dontUseTitles.insert("KLM Retired");
}

void lf_checkLivery(const Livery& livery, TextSet& titles, const std::string& ivaoModel) {
  fuzz::require(!gf_liveryIncomplete(livery), "a livery has an airline and a model");
  fuzz::require(!livery.title.empty() && gf_trim(livery.title) == livery.title, "a livery's title is trimmed text");
  fuzz::require(titles.insert(livery.title).second, "a title is used once in a scan");
  fuzz::require(!g_dontUseTitles.contains(livery.title), "a don't-use title makes no livery");
  fuzz::require(livery.sourceIndex == kSourceIndex, "a livery keeps its livery folder");
  const std::string model(gf_modelName(livery.model));
  fuzz::require(g_dbaseModelCodes.contains(model), "a livery's model is one of the dbase");
  if (!ivaoModel.empty() && livery.marker == 0)
    fuzz::require(model == ivaoModel, "an IVAO livery has its folder's model");
  fuzz::require(livery.registration.size() <= 12 && livery.registration.find_first_of("*,") == std::string::npos,
                "a registration is one, of at most 12 characters");
}

void lf_read(const fs::path& file, bool ivao, const std::string& ivaoModel, TextSet& titles) {
  std::vector<Livery> liveries;
  try {
    liveries = ivao ? lf_searchLiveriesinIVAOFile(kSourceIndex, file) : lf_searchLiveriesinFile(kSourceIndex, file);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    fuzz::require(false, "a readable file's text throws nothing");
  }
  for (const Livery& livery : liveries) lf_checkLivery(livery, titles, ivaoModel);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lf_resetScanWorld();
  const Files& files = lf_files();
  TextSet titles;
  for (const auto& [file, ivao] : {std::pair{files.package, false}, {files.ivao, true}, {files.winglets, true}}) {
    fuzz::writeFile(file, fuzz::text(data, size));
    lf_read(file, ivao, ivao ? "B738" : "", titles);
  }
  return 0;
}
