#include "traffic/active_aircraft.h"

#include <fmt/format.h>

#include <algorithm>

#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_file.h"
#include "traffic/engine_state.h"

namespace {

std::string_view lf_orNull(std::string_view text) { return text.empty() ? std::string_view("null") : text; }

}  // namespace

void gf_writeActiveAcFile() {
  std::vector<std::string> lines;
  for (const LiveAc& aircraft : g_liveAcs) {
    if (aircraft.simState != SimStatus::active) continue;
    lines.push_back(fmt::format("{};{};{};{};{};{};{}", gf_objectIdText(aircraft.objectId), aircraft.callsign,
                                aircraft.registration, gf_airlineName(aircraft.airlineId),
                                gf_modelName(aircraft.modelId), aircraft.onGround ? "GND" : "AIR",
                                aircraft.state == FlightPhase::parked ? "PARKED" : ""));
  }
  // Rewritten twice a minute from the 10-ms loop, for the user to look at: not worth a wait for
  // the disk.
  if (!gf_writeLinesUnsynced(lines, g_objectIdListFile))
    gf_logWarning(fmt::format("Failed to write {}", gf_pathToUtf8(g_objectIdListFile)));
}

std::vector<std::string> gf_liveAcDescriptions() {
  const std::uint8_t filter = g_parameterSnapshot.load()->airGroundFilter;
  std::vector<std::string> descriptions;
  for (const LiveAc& aircraft : g_liveAcs) {
    if (aircraft.simState != SimStatus::active) continue;
    if ((filter == 1 && aircraft.onGround) || (filter == 2 && !aircraft.onGround)) continue;
    const std::string text =
        fmt::format("{}, {}, {:x}", lf_orNull(aircraft.callsign), lf_orNull(aircraft.registration), aircraft.hexid);
    descriptions.push_back(fmt::format("{}, oid={}", text, gf_objectIdText(aircraft.objectId)));
  }
  std::sort(descriptions.begin(), descriptions.end());
  return descriptions;
}
