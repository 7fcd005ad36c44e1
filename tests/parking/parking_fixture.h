#pragma once
// The parking tests run in a temporary program folder with a Log.txt of their own, a small
// airports list and one registration; what the GUI was asked to show is read from its queue.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "appbase/gui.h"
#include "core/background_saver.h"
#include "core/log.h"
#include "parking/park_airports.h"
#include "parking/stand_download.h"
#include "refdata/airports.h"
#include "refdata/model_ids.h"
#include "refdata/registration.h"
#include "tests/support/test_support.h"

namespace parking_test {

namespace fs = std::filesystem;

// A stand file with a valid header around the parameter and parkpos elements.
inline std::string apfXml(std::string_view parkpositions,
                          std::string_view parameters = R"(<parameter name="altitude" value="1417"/>)") {
  return fmt::format(R"(<root><meta><info name="copyright" value="c"/><info name="sim" value="2"/></meta>)"
                     R"(<parameters>{}</parameters><parkpositions>{}</parkpositions></root>)",
                     parameters, parkpositions);
}

// A 20 m stand, with the option elements given.
inline std::string parkpos(std::string_view id, double lat, double lon, std::string_view options = "") {
  return fmt::format(R"(<parkpos id="{}" typestr="GATE_MEDIUM" latitude="{}" longitude="{}" radius="20">{}</parkpos>)",
                     id, lat, lon, options);
}

inline bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

class ParkingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_.emplace(dir_.path());
    gf_openLog();
    newLog();
    gf_resetGuiForTest();
    std::unique_lock lock(g_airportsLock);
    for (const auto& [code, lat, lon] : {std::tuple{"EDDF", 50.0333, 8.5706}, std::tuple{"EGLL", 51.4706, -0.4619},
                                         std::tuple{"LOWW", 48.1103, 16.5697}, std::tuple{"LSZH", 47.4647, 8.5492}})
      g_airports.push_back(Airport{IcaoCode(code), g_defaultIataCode, {lat, lon}, 400});
    g_dbaseRecords = {DbaseRecord{"HB-JNA", DbaseEntry{9, 9, 3, 0, 1}}};
  }
  void TearDown() override {
    gf_joinParkAirportFetches();
    gf_drainSaves();
    gf_resetParkAirports();
    gf_setParkAirportHooks({});
    gf_resetGuiForTest();
    gf_resetModelTables();
    g_dbaseRecords.clear();
    gf_resetAirportsForTest();
    gf_closeLog();
  }
  // What the log gained since the last call.
  std::string newLog() {
    gf_drainSaves();  // their outcome is logged by the saver
    gf_flushLog();
    const std::string text = testing_support::readFile(dir_ / "Log.txt");
    return text.substr(std::exchange(seen_, text.size()));
  }
  // The status-line texts queued for the window since the last call.
  static std::vector<std::string> shown() {
    std::vector<std::string> texts;
    std::lock_guard lock(g_gui.queueMutex);
    for (const GuiUpdate& update : g_gui.queue)
      if (const auto* message = std::get_if<gui::ShowMessage>(&update)) texts.push_back(message->text);
    g_gui.queue.clear();
    return texts;
  }
  void write(const fs::path& relative, const std::string& text) { testing_support::writeFile(dir_ / relative, text); }
  // As the program reads a file it may have handed to the saver.
  std::string read(const fs::path& relative) {
    gf_awaitSave(dir_ / relative);
    return testing_support::readFile(dir_ / relative);
  }

  testing_support::TempDir dir_;

 private:
  std::optional<testing_support::ScopedCurrentDir> cwd_;
  std::size_t seen_ = 0;
};

}  // namespace parking_test
