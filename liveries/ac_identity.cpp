#include "liveries/ac_identity.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "config/parameter_snapshot.h"
#include "config/random.h"
#include "core/geodesy.h"

namespace {

constexpr std::array<CategoryModel, 7> kCategoryModels{{
    {0.15, 250, 250, 100, 150, -9.0, -15.0, 3.0},    // none
    {0.1, 275, 275, 150, 200, -8.5, -17.0, 5.0},     // twoprops
    {0.09, 300, 300, 200, 250, -8.0, -18.0, 5.0},    // buzjet
    {0.07, 400, 350, 200, 300, -6.0, -16.5, 8.0},    // large
    {0.05, 450, 450, 250, 400, -5.0, -12.5, 12.0},   // heavy
    {0.1, 150, 150, 100, 200, -6.0, -20.0, 4.0},     // high_performance
    {0.2, 100, 100, 100, 100, -20.0, -30.0, 4.0},    // rotorcraft
}};

// ICAO type designators, sorted in byte order for the binary search.
constexpr std::array<std::string_view, 46> kRegionalTypes{
    "AN24", "AT43", "AT44", "AT45", "AT46", "AT72", "AT73", "AT75", "AT76", "B190", "CRJ1", "CRJ2", "CRJ7", "CRJ9",
    "CRJX", "D328", "DH8A", "DH8B", "DH8C", "DH8D", "DHC6", "DHC7", "E110", "E120", "E135", "E145", "E170", "E190",
    "E195", "E290", "E295", "E35L", "E75L", "E75S", "F100", "F28", "F50", "F70", "J328", "JS41", "RJ70", "RJ85",
    "SB20", "SF34", "SH36", "SU95",
};
constexpr std::array<std::string_view, 22> kLightTwinTypes{
    "B58T", "BE55", "BE58", "BE76", "C310", "C337", "C340", "DA42", "DA62", "G21", "G44", "GA7", "L200", "P06T",
    "P337", "P68", "PA23", "PA27", "PA30", "PA31", "PA34", "PA44",
};
constexpr std::array<std::string_view, 204> kLightSingleTypes{
    "A210", "A5", "AA1", "AA5", "AAT3", "AFOX", "ALGR", "AP22", "AP32", "ARCP", "AS02", "AS16", "ASTO", "BE23",
    "BE24", "BE33", "BE35", "BE36", "BEAR", "BL8", "BR23", "BREZ", "BT36", "BTB2", "C140", "C150", "C152", "C162",
    "C170", "C172", "C175", "C177", "C180", "C182", "C185", "C206", "C207", "C210", "C42", "C72R", "C77R", "C82R",
    "C82S", "C82T", "CC11", "CC19", "CTAH", "D140", "D28D", "D7", "DA2", "DA40", "DA50", "DIMO", "DO27", "DR22",
    "DR40", "DV1", "DV20", "ECHO", "EFOX", "ELPS", "ERCO", "EUPA", "EV97", "EVOT", "EVSS", "EXNG", "F8L", "FDCT",
    "FDF2", "FK14", "FK9", "FM25", "FOX", "G115", "G120", "G200", "G70", "GA8", "GB1", "GLAS", "GX", "HROC", "HUSK",
    "IMPU", "J3", "JAB4", "JABI", "JAS4", "KP2", "KP5", "KR30", "M108", "M18", "M200", "M20P", "M20T", "M5", "M7",
    "MCR1", "MCR4", "MJ5", "MP02", "NG4", "NG5", "P149", "P208", "P210", "P28A", "P28B", "P28R", "P28S", "P28T",
    "P28U", "P32R", "PA18", "PA22", "PA24", "PA25", "PA32", "PA38", "PA46", "PARA", "PETR", "PIAT", "PIPA", "PISI",
    "PIVI", "PL2", "PNR2", "PNR3", "PRIM", "PTS2", "R200", "RALL", "RBEL", "RF5", "RF6", "RISN", "RS21", "RV10",
    "RV12", "RV14", "RV4", "RV6", "RV7", "RV8", "RV9", "S108", "S22T", "SAVG", "SE1", "SF25", "SHRK", "SIRA", "SKAR",
    "SKRA", "SLG2", "SLG4", "SLH4", "SNGY", "SONX", "SR20", "SR22", "SSTL", "STCH", "STOR", "SUBA", "SVNH", "T206",
    "T210", "T34P", "TAGO", "TAIL", "TAMP", "TB20", "TB21", "TEX2", "TEXA", "TL20", "TL30", "TOBA", "TRAL", "TRF1",
    "TRIN", "TRIS", "TUCA", "TUCR", "U15", "ULAC", "VENT", "VEZE", "VL3", "VR7", "VTRA", "WACO", "WFOC", "WT9",
    "XA41", "XL2", "Z42", "Z43", "ZEPH",
};
static_assert(std::ranges::is_sorted(kRegionalTypes) && std::ranges::is_sorted(kLightTwinTypes) &&
              std::ranges::is_sorted(kLightSingleTypes));

template <std::size_t N>
bool lf_isListed(const std::array<std::string_view, N>& types, std::string_view model) {
  return std::ranges::binary_search(types, model);
}

constexpr double kMinGroundRadiusM = 18.0;
constexpr double kMaxGroundRadiusM = 65.0;

}  // namespace

const CategoryModel& gf_categoryModel(AcCategory category) {
  const auto index = static_cast<std::size_t>(category);
  if (index >= kCategoryModels.size()) throw std::out_of_range("invalid unordered_map<K, T> key");
  return kCategoryModels[index];
}

AcIdentity::AcIdentity(FeedRecordHead head) : FeedRecordHead(std::move(head)) {
  category = gf_categoryOf(modelId);
  const CategoryModel& model = gf_categoryModel(category);
  wingspan = gf_wingspanOf(modelId);
  const double radiusM = std::clamp(wingspan * 1852.0 * 1.8 + 12.0, kMinGroundRadiusM, kMaxGroundRadiusM);
  groundRadius = radiusM / 1852.0;
  wideGroundRadius = 1.25 * groundRadius;
  cgHeightFt = model.cgHeightFt;
  takeoffPitch = gf_randomizeByPercent(model.takeoffPitchDeg, 2.5) * geo::kDegToRad;
  climbPitch = gf_randomizeByPercent(model.climbPitchDeg, 5.0) * geo::kDegToRad;
  defaultTurnPerStep = model.turnRateDeg * geo::kDegToRad;
  flareSteps = model.flareSteps;
  secondSteps = model.secondSteps;
  // After the flare's steps, the second ones bring the nose and wings down on the runway.
  rolloutSteps = model.secondSteps;
  rotationSteps = model.rotationSteps;
  climbPitchSteps = model.climbPitchSteps;
  isLarge = category == AcCategory::buzjet || category == AcCategory::large || category == AcCategory::heavy;
  const std::string_view type = gf_modelName(modelId);
  isRegional = category == AcCategory::large && lf_isListed(kRegionalTypes, type);
  isLightTwin = category == AcCategory::twoprops && lf_isListed(kLightTwinTypes, type);
  isLightSingle = category == AcCategory::none && lf_isListed(kLightSingleTypes, type);
}

bool gf_isCategoryIncluded(AcCategory category) {
  const auto snapshot = g_parameterSnapshot.load();
  switch (category) {
    case AcCategory::buzjet:
    case AcCategory::large:
    case AcCategory::heavy:
      return true;
    case AcCategory::none:
      return snapshot->lightAircraft;
    case AcCategory::twoprops:
      return snapshot->twoProps;
    case AcCategory::high_performance:
      return snapshot->highPerfAircraft;
    case AcCategory::rotorcraft:
      return snapshot->helicopters;
  }
  return false;
}
