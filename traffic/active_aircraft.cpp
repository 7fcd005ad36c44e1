#include "traffic/active_aircraft.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>

#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/background_saver.h"
#include "core/log.h"
#include "core/text.h"
#include "traffic/engine_state.h"

namespace {

std::string_view lf_orNull(std::string_view text) { return text.empty() ? std::string_view("null") : text; }

}  // namespace

void gf_writeActiveAcFile() {
  std::string text;
  for (const LiveAc& aircraft : g_liveAcs) {
    if (aircraft.simState != SimStatus::active) continue;
    fmt::format_to(std::back_inserter(text), "{};{};{};{};{};{};{}\n", gf_objectIdText(aircraft.objectId),
                   aircraft.callsign, aircraft.registration, gf_airlineName(aircraft.airlineId),
                   gf_modelName(aircraft.modelId), aircraft.onGround ? "GND" : "AIR",
                   aircraft.state == FlightPhase::parked ? "PARKED" : "");
  }
  // Rewritten every second from the 10-ms loop, for the user to look at: written by the saver,
  // and not worth a wait for the disk even there.
  BackgroundSave save{g_objectIdListFile, std::move(text), false, false, {}};
  save.done = [](bool ok, const std::string&) {
    if (!ok) gf_logWarning(fmt::format("Failed to write {}", gf_pathToUtf8(g_objectIdListFile)));
  };
  gf_queueSave(std::move(save));
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
