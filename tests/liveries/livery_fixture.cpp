#include "tests/liveries/livery_fixture.h"

#include <cstdlib>
#include <mutex>

#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/parameters_file.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "liveries/livery_database.h"
#include "refdata/dbase.h"
#include "refdata/library_init.h"

namespace livery_testing {
namespace {

void lf_resetState() {
  gf_resetLiveriesForTest();
  gf_resetGuiForTest();
  gf_resetParameterSnapshot();
  gf_publishSimChoice(SimChoice{});
  for (CheckboxOption* option : {&TWO_PROPS, &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT}) {
    option->value = option->defaultValue;
    option->window = ui::Hwnd::null;
  }
}

}  // namespace

void LiveryTest::SetUp() {
  ::setenv("JORV_APPDATA", (dir_.path() / "appdata").c_str(), 1);
  gf_resetProgramFolders();
  std::filesystem::create_directories(dir_.path() / "appdata" / "JORV");
  gf_initDataLibraries();
  gf_resetDbaseTables();
  ASSERT_TRUE(gf_readDbase(testing_support::sourceDataFolder()));
  lf_resetState();
  gf_setParameterWriter(&gf_saveParameter);
  gf_openLog();
}

void LiveryTest::TearDown() {
  gf_closeLog();
  gf_setParameterWriter(nullptr);
  lf_resetState();
  ::unsetenv("JORV_APPDATA");
  gf_resetProgramFolders();
}

std::string LiveryTest::log() {
  gf_flushLog();
  return testing_support::readFile(dir_.path() / "Log.txt");
}

void LiveryTest::writeScanFile(const std::string& elements) {
  testing_support::writeFile(dir_.path() / gf_liveriesScannedFile(), "<root><liveries>" + elements + "</liveries></root>");
}

std::vector<GuiUpdate> LiveryTest::takeGuiUpdates() {
  std::lock_guard lock(g_gui.queueMutex);
  std::vector<GuiUpdate> updates(g_gui.queue.begin(), g_gui.queue.end());
  g_gui.queue.clear();
  return updates;
}

}  // namespace livery_testing
