#include "tests/liveries/livery_fixture.h"

#include <pugixml.hpp>

#include <cstdlib>
#include <mutex>
#include <sstream>

#include "config/keys.h"
#include "config/options.h"
#include "config/parameter_snapshot.h"
#include "config/parameters_file.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "liveries/livery_database.h"
#include "refdata/dbase.h"
#include "refdata/library_init.h"

namespace livery_testing {

std::string scanXml(const std::vector<ScanLine>& lines) {
  pugi::xml_document document;
  pugi::xml_node list = document.append_child("root").append_child("liveries");
  for (const ScanLine& line : lines) {
    pugi::xml_node l = list.append_child("l");
    if (!line.airline.empty()) l.append_attribute("a") = line.airline.c_str();
    if (!line.operatorName.empty()) l.append_attribute("o") = line.operatorName.c_str();
    l.append_attribute("m") = line.model.c_str();
    if (line.cargo) l.append_attribute("c") = "true";
    l.append_attribute("t") = line.title.c_str();
    if (!line.registration.empty()) l.append_attribute("r") = line.registration.c_str();
  }
  std::ostringstream out;
  document.save(out);
  return out.str();
}

void LiveryTest::SetUp() {
  ::setenv("JORV_APPDATA", (dir_.path() / "appdata").c_str(), 1);
  gf_resetProgramFolders();
  std::filesystem::create_directories(dir_.path() / "appdata" / "JORV");
  gf_publishSimChoice(SimChoice{});
  gf_initDataLibraries();
  gf_resetDbaseTables();
  ASSERT_TRUE(gf_readDbase(testing_support::sourceDataFolder()));
  gf_resetLiveriesForTest();
  gf_resetGuiForTest();
  for (CheckboxOption* option : {&TWO_PROPS, &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT}) {
    option->value = true;
    option->window = ui::Hwnd::null;
  }
  gf_resetParameterSnapshot();
  gf_setParameterWriter(&gf_saveParameter);
  gf_openLog();
}

void LiveryTest::TearDown() {
  gf_closeLog();
  gf_setParameterWriter(nullptr);
  gf_resetLiveriesForTest();
  gf_resetGuiForTest();
  gf_resetParameterSnapshot();
  for (CheckboxOption* option : {&TWO_PROPS, &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT}) {
    option->value = option->defaultValue;
    option->window = ui::Hwnd::null;
  }
  ::unsetenv("JORV_APPDATA");
  gf_resetProgramFolders();
}

std::string LiveryTest::log() {
  gf_flushLog();
  return testing_support::readFile(dir_.path() / "Log.txt");
}

void LiveryTest::writeScanFile(const std::string& xml) { testing_support::writeFile(dir_.path() / gf_liveriesScannedFile(), xml); }

std::string LiveryTest::parameterValue(const std::string& name) {
  pugi::xml_document document;
  if (!document.load_file(g_parametersPath.get().c_str())) return "<no file>";
  for (pugi::xml_node parameter : document.child("root").child("parameters").children("parameter"))
    if (name == parameter.attribute("name").value()) return parameter.attribute("value").value();
  return "<missing>";
}

std::vector<GuiUpdate> LiveryTest::takeGuiUpdates() {
  std::lock_guard lock(g_gui.queueMutex);
  std::vector<GuiUpdate> updates(std::make_move_iterator(g_gui.queue.begin()), std::make_move_iterator(g_gui.queue.end()));
  g_gui.queue.clear();
  return updates;
}

}  // namespace livery_testing
