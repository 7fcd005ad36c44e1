#include "tests/e2e/livery_expectations.h"

#include <pugixml.hpp>

#include <cstdlib>
#include <stdexcept>

#include "appbase/gui.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "feed/feed_neighbours.h"
#include "liveries/ac_identity.h"
#include "liveries/livery_database.h"
#include "liveries/livery_matching.h"
#include "refdata/dbase.h"
#include "refdata/library_init.h"
#include "refdata/registration.h"
#include "tests/support/test_support.h"

namespace e2e {

LiveryChoices liveryChoices(const std::filesystem::path& programFolder, const std::filesystem::path& appdata,
                            const Knowledge& knowledge, const tracepicture::Trace& trace) {
  testing_support::ScopedCurrentDir cwd(programFolder);
  ::setenv("JORV_APPDATA", appdata.c_str(), 1);
  gf_resetProgramFolders();
  gf_initDataLibraries();
  gf_resetDbaseTables();
  if (!gf_readDbase(programFolder / "input")) throw std::runtime_error("the dbase of the run cannot be read");
  gf_resetLiveriesForTest();
  gf_resetGuiForTest();
  gf_resetParameterSnapshot();
  gf_publishSimChoice(SimChoice{2, 1});
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.random = false; });
  gf_processScannedLiveries();

  LiveryChoices choices;
  pugi::xml_document scan;
  if (!scan.load_file(gf_liveriesScannedFile().c_str()))
    throw std::runtime_error("no scan result " + gf_liveriesScannedFile().string());
  for (const pugi::xpath_node& node : scan.select_nodes("//l"))
    choices.installed.insert(node.node().attribute("t").value());

  // The user's aircraft stands at the park airport, as in the run.
  double ground = 0.0;
  for (const auto& airport : knowledge.airports)
    if (airport.icao == knowledge.parkAirport) ground = airport.elevationMetres * standin::sim::kFeetPerMetre;
  gf_publishUserAcPosition(UserAcPosition{.altitude = ground});
  for (const tracepicture::TraceEvent& e : trace.events) {
    if (e.event != "create" && e.event != "refuse") continue;
    const auto fact = knowledge.flights.find(e.tailNumber);
    if (fact == knowledge.flights.end() || fact->second.kind == Kind::Parked || choices.expected.contains(e.tailNumber))
      continue;
    FeedRecordHead head;
    head.setIdentity({gf_internAirlineName(fact->second.airline), 0, gf_internModelName(fact->second.type), 0, 0});
    head.callsign = fact->second.airline + "123";
    head.registration = e.tailNumber;
    AcIdentity aircraft(std::move(head));
    gf_matchLivery(aircraft, e.altitude);
    choices.expected[e.tailNumber] = std::string(aircraft.matchedTitle);
  }
  gf_publishUserAcPosition(UserAcPosition{});
  gf_resetLiveriesForTest();
  gf_resetParameterSnapshot();
  gf_publishSimChoice(SimChoice{});
  ::unsetenv("JORV_APPDATA");
  gf_resetProgramFolders();
  return choices;
}

}  // namespace e2e
