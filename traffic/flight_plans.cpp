#include "traffic/flight_plans.h"

#include <fmt/format.h>

#include <fstream>
#include <string>
#include <system_error>

#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/text.h"
#include "liveries/ac_identity.h"

namespace fs = std::filesystem;

namespace {

bool lf_isIfr(AcCategory category) {
  switch (category) {
    case AcCategory::twoprops:
    case AcCategory::buzjet:
    case AcCategory::large:
    case AcCategory::heavy:
      return true;
    default:
      return false;
  }
}

std::string lf_flightPlanText(const AcIdentity& aircraft) {
  return fmt::format("{}\n{}\n{}\n{}{}{}\n{}{}{}\n{}{}{}\n{}\n{}\n", R"(<?xml version="1.0" encoding="UTF-8"?>)",
                     R"(<SimBase.Document Type="AceXML" version="4,3">)", "<FlightPlan.FlightPlan>", "<FPType>",
                     lf_isIfr(aircraft.category) ? "IFR" : "VFR", "</FPType>", "<DepartureID>",
                     aircraft.origin.text(), "</DepartureID>", "<DestinationID>", aircraft.destination.text(),
                     "</DestinationID>", "</FlightPlan.FlightPlan>", "</SimBase.Document>");
}

bool lf_isNotFound(const std::error_code& error) { return error == std::errc::no_such_file_or_directory; }

}  // namespace

std::optional<fs::path> gf_flightPlanFolder() {
  if (!gf_isMsfs2020()) return std::nullopt;
  return g_programFolder / "orig_dest";
}

bool gf_ensureFlightPlanFolder() {
  const auto folder = gf_flightPlanFolder();
  if (!folder) return false;
  std::error_code createError;
  fs::create_directories(*folder, createError);
  std::error_code statusError;
  const fs::file_status status = fs::status(*folder, statusError);
  // A file in the folder's place also fails the creation; it gets its own message.
  const bool somethingElse = !statusError && !fs::is_directory(status);
  if (createError && !somethingElse) {
    gf_log(fmt::format("Could not create flight-plan folder '{}': {}", gf_pathToUtf8(*folder), createError.message()));
    return false;
  }
  if (statusError) {
    gf_log(fmt::format("Could not inspect flight-plan folder '{}': {}", gf_pathToUtf8(*folder), statusError.message()));
    return false;
  }
  if (somethingElse) {
    gf_log(fmt::format("Flight-plan path '{}' is not a directory", gf_pathToUtf8(*folder)));
    return false;
  }
  return true;
}

bool gf_removeFlightPlanFolder() {
  const auto folder = gf_flightPlanFolder();
  if (!folder) return false;
  std::error_code error;
  bool removed = fs::remove(*folder, error);
  if (error == std::errc::directory_not_empty) {
    error.clear();
    removed = fs::remove_all(*folder, error) > 0 && !error;
  }
  if (error)
    gf_log(fmt::format("Could not remove flight-plan folder '{}': {}", gf_pathToUtf8(*folder), error.message()));
  std::error_code statusError;
  const bool gone = fs::status(*folder, statusError).type() == fs::file_type::not_found;
  if (statusError && !gone) {
    gf_log(fmt::format("Could not inspect removed flight-plan folder '{}': {}", gf_pathToUtf8(*folder),
                       statusError.message()));
  }
  return removed && gone;
}

fs::path gf_flightPlanPath(const fs::path& folder, std::uint32_t objectId) {
  return folder / fmt::format("{}.pln", objectId);
}

bool gf_writeFlightPlan(const fs::path& path, const AcIdentity& aircraft) {
  if (!gf_isMsfs2020()) return false;
  const std::string text = lf_flightPlanText(aircraft);
  // Under a temporary name first, so that the simulator never loads half a plan.
  fs::path temporary = path;
  temporary += ".tmp";
  std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
  if (!file) {
    gf_log(fmt::format("Could not open flight plan '{}' for writing", gf_pathToUtf8(path)));
    return false;
  }
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  file.flush();
  file.close();
  std::error_code error;
  if (file.good()) fs::rename(temporary, path, error);
  if (!file.good() || error) {
    gf_log(fmt::format("Writing flight plan '{}' failed", gf_pathToUtf8(path)));
    fs::remove(temporary, error);
    return false;
  }
  return true;
}

bool gf_removeFlightPlan(std::uint32_t objectId) {
  const auto folder = gf_flightPlanFolder();
  if (!folder) return false;
  const fs::path path = gf_flightPlanPath(*folder, objectId);
  std::error_code error;
  const bool removed = fs::remove(path, error);
  if (error && !lf_isNotFound(error))
    gf_log(fmt::format("Could not remove flight plan '{}': {}", gf_pathToUtf8(path), error.message()));
  return removed;
}
