#pragma once
// A temporary current folder with the log open, empty scan tables and the airports that the
// airports list and this week's RealTraffic list hold; the window's queue read back.
#include <algorithm>
#include <initializer_list>
#include <mutex>
#include <string>

#include "airportscan/scan_state.h"
#include "appbase/gui.h"
#include "refdata/airports.h"
#include "refdata/weekly_traffic.h"
#include "tests/refdata/enc_fixture.h"

namespace airportscan_testing {

class ScanTest : public refdata_testing::DataSetTest {
 protected:
  void SetUp() override {
    DataSetTest::SetUp();
    gf_resetAirportScanState();
    gf_resetAirportsForTest();
    gf_resetRTWeeklyAirportsForTest();
  }
  void TearDown() override {
    gf_resetGuiForTest();
    gf_resetAirportScanState();
    gf_resetAirportsForTest();
    gf_resetRTWeeklyAirportsForTest();
    DataSetTest::TearDown();
  }
  static void knownAirports(std::initializer_list<const char*> codes) {
    std::unique_lock lock(g_airportsLock);
    g_airports.clear();
    for (const char* code : codes) g_airports.push_back(Airport{IcaoCode(code)});
    std::sort(g_airports.begin(), g_airports.end(), [](const Airport& a, const Airport& b) { return a.code < b.code; });
  }
  static void weeklyAirports(std::initializer_list<const char*> codes) {
    std::unique_lock lock(g_rtWeeklyAirportsLock);
    g_rtWeeklyAirports.clear();
    for (const char* code : codes) g_rtWeeklyAirports.emplace_back(code);
    std::sort(g_rtWeeklyAirports.begin(), g_rtWeeklyAirports.end());
  }
  // The status-line texts queued for the window, in order.
  static std::vector<std::string> shown() {
    std::vector<std::string> texts;
    std::lock_guard lock(g_gui.queueMutex);
    for (const GuiUpdate& update : g_gui.queue)
      if (const auto* message = std::get_if<gui::ShowMessage>(&update)) texts.push_back(message->text);
    return texts;
  }
  static bool messaged(const std::string& line) {
    return std::find(g_airportScanMessages.begin(), g_airportScanMessages.end(), line) != g_airportScanMessages.end();
  }
};

}  // namespace airportscan_testing
