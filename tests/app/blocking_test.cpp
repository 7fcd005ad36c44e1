#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "app/blocking.h"
#include "app/main_loop.h"
#include "parking/park_airports.h"
#include "refdata/airports.h"
#include "tests/app/window_fixture.h"

namespace {
using namespace window_test;

class BlockingTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    g_removeBlockedRequested = false;
    BLOCK_CALLSIGN.value = BLOCK_REGCODE.value = "";
    BLOCK_HEXIDDEC.value = 0;
    {
      std::unique_lock lock(g_airportsLock);
      savedAirports_ = g_airports;
      g_airports.clear();
      for (const char* code : {"EDDF", "EGLL", "KJFK"}) g_airports.push_back(Airport{IcaoCode(code), g_defaultIataCode, {50, 8}, 364});
      std::sort(g_airports.begin(), g_airports.end(), [](const Airport& a, const Airport& b) { return a.code < b.code; });
    }
    ParkingNeighbours fakes;
    fakes.readApfForStands = [](IcaoCode code) {
      if (code == IcaoCode("EGLL")) return ApfStands{std::nullopt, "file damaged"};
      if (code == IcaoCode("KJFK")) return ApfStands{std::vector<std::string>{}, ""};
      return ApfStands{std::vector<std::string>{"A1", "A2", "V155"}, ""};
    };
    gf_setParkingNeighboursForTest(fakes);
    gf_resetParkAirports();
    ASSERT_TRUE(startGui());
    ui::driver::runOnGuiThread([] { ui::enableWindow(DESTINATION.window, true); });
  }
  void TearDown() override {
    WindowTest::TearDown();
    gf_setParkingNeighboursForTest({});
    gf_resetParkAirports();
    std::unique_lock lock(g_airportsLock);
    g_airports = savedAirports_;
    BLOCK_CALLSIGN.value = BLOCK_REGCODE.value = "";
    BLOCK_HEXIDDEC.value = 0;
    g_removeBlockedRequested = false;
  }

  void enterDestination(std::string_view text) {
    ui::driver::typeText(window_, static_cast<int>(DESTINATION.controlId), text);
    ui::driver::pressEnter(window_, static_cast<int>(DESTINATION.controlId));
    ui::driver::sync();
  }
  void blockEntry(const std::string& entry) {
    ui::driver::runOnGuiThread([&] {
      AIRCRAFT_SELECTOR.value = entry;
      gf_blockSelectedAircraft();
    });
  }

  // The park-airports list, front first.
  static std::vector<std::string> listed() {
    std::lock_guard lock(g_parkAirportsMutex);
    std::vector<std::string> codes;
    for (const ParkAirport& entry : g_parkAirports) codes.emplace_back(entry.code.text());
    return codes;
  }

  std::vector<Airport> savedAirports_;
};

TEST_F(BlockingTest, BlockingStoresTheIdentityAndLocksTheSelectors) {
  blockEntry("DLH4AB_,D-AIBA,3c6444,A320");
  EXPECT_EQ(statusLine(), "Aircraft with callsign: DLH4AB_, regcode: D-AIBA and hexid: 3c6444 is blocked");
  EXPECT_EQ(lastSaved("BLOCK_AIRCRAFT"), "DLH4AB_,D-AIBA,3c6444,A320");
  EXPECT_EQ(lastSaved("BLOCK_CALLSIGN"), "DLH4AB_");
  EXPECT_EQ(lastSaved("BLOCK_REGCODE"), "D-AIBA");
  EXPECT_EQ(lastSaved("BLOCK_HEXIDDEC"), "3957828");
  const auto blocked = g_parameterSnapshot.load()->blocked;
  EXPECT_EQ(blocked.callsign, "DLH4AB_");
  EXPECT_EQ(blocked.hexid, 0x3c6444u);
  EXPECT_TRUE(blocked.callsignEndsInUnderscore);
  EXPECT_TRUE(g_removeBlockedRequested);
  EXPECT_FALSE(enabled(BLOCK_BUTTON));
  EXPECT_TRUE(enabled(UNBLOCK_BUTTON));
  EXPECT_FALSE(enabled(AIRCRAFT_BUTTON));
  EXPECT_FALSE(enabled(AIRCRAFT_SELECTOR));
  EXPECT_FALSE(enabled(ALL_AIR_GND_SELECTOR));
}

TEST_F(BlockingTest, AnEntryWithoutItsFourthFieldOnlyClearsTheBlockedEntry) {
  BLOCK_AIRCRAFT.value = "OLD,OLD,1,X";
  ui::driver::runOnGuiThread([] { ui::enableWindow(AIRCRAFT_BUTTON.window, true); });
  blockEntry("DLH4AB,D-AIBA,3c6444");
  EXPECT_EQ(BLOCK_AIRCRAFT.value.load(), "");
  EXPECT_EQ(lastSaved("BLOCK_AIRCRAFT"), "");
  EXPECT_EQ(lastSaved("BLOCK_CALLSIGN"), "");  // never written
  EXPECT_FALSE(g_removeBlockedRequested);
  EXPECT_EQ(statusLine(), "");
  EXPECT_TRUE(enabled(AIRCRAFT_BUTTON));
}

TEST_F(BlockingTest, UnblockingClearsTheIdentityAndEmptiesTheSelector) {
  blockEntry("BAW12,G-EUUA,400a1b,A320");
  ui::driver::runOnGuiThread([] { gf_unblockAircraft(); });
  EXPECT_EQ(statusLine(), "No more blocking of aircraft: cs: BAW12 reg: G-EUUA hexid: 400a1b ");
  EXPECT_EQ(lastSaved("BLOCK_HEXIDDEC"), "0");
  EXPECT_EQ(g_parameterSnapshot.load()->blocked.callsign, "");
  EXPECT_FALSE(g_parameterSnapshot.load()->blocked.callsignEndsInUnderscore);
  EXPECT_FALSE(enabled(BLOCK_BUTTON));
  EXPECT_FALSE(enabled(UNBLOCK_BUTTON));
  EXPECT_TRUE(enabled(AIRCRAFT_BUTTON));
  EXPECT_TRUE(enabled(ALL_AIR_GND_SELECTOR));
  EXPECT_FALSE(enabled(AIRCRAFT_SELECTOR));
  EXPECT_EQ(ui::comboItems(AIRCRAFT_SELECTOR.window), (std::vector<std::string>{""}));
  EXPECT_EQ(ui::comboGetCurSel(AIRCRAFT_SELECTOR.window), 0);
  // Nothing blocked: a second unblock says nothing.
  ui::driver::runOnGuiThread([] {
    Gui::showMessage("", false);
    gf_unblockAircraft();
  });
  EXPECT_EQ(statusLine(), "");
}

TEST_F(BlockingTest, DestinationEntriesThatAreRejectedKeepTheStoredDestination) {
  DESTINATION.value = "EDDF";
  struct Case {
    const char* typed;
    const char* shown;
  } cases[] = {
      {"EDD", "destination 'EDD' is not valid"},
      {"eddf", "destination 'EDDF' was already set ..."},
      {"ZZZZ", "destination 'ZZZZ' is not supported ..."},
  };
  for (const auto& c : cases) {
    enterDestination(c.typed);
    EXPECT_EQ(statusLine(), c.shown) << c.typed;
    EXPECT_EQ(DESTINATION.value.load(), "EDDF") << c.typed;
    EXPECT_EQ(ui::getWindowText(DESTINATION.window), "EDDF") << c.typed;
    EXPECT_NE(log().find(c.shown), std::string::npos) << c.typed;
  }
  // Four characters that make no ICAO code: logged, nothing stored, the window lives on.
  enterDestination("ED-F");
  EXPECT_EQ(DESTINATION.value.load(), "EDDF");
  EXPECT_NE(log().find("gf_destinationEditProc exception"), std::string::npos);
  EXPECT_TRUE(listed().empty());
}

TEST_F(BlockingTest, ANewDestinationFillsTheStandList) {
  enterDestination("eddf");
  EXPECT_EQ(statusLine(), "New destination: EDDF");
  EXPECT_EQ(DESTINATION.value.load(), "EDDF");
  EXPECT_EQ(lastSaved("DESTINATION"), "EDDF");
  EXPECT_EQ(g_parameterSnapshot.load()->destination, "EDDF");
  EXPECT_EQ(ui::comboItems(STAND_SELECTOR.window), (std::vector<std::string>{"select a stand", "A1", "A2", "V155"}));
  EXPECT_EQ(ui::comboGetCurSel(STAND_SELECTOR.window), 0);
  EXPECT_TRUE(enabled(STAND_SELECTOR));
  EXPECT_EQ(listed(), (std::vector<std::string>{"EDDF"}));
}

TEST_F(BlockingTest, AReservedStandIsSelectedAndAFailedReadDisablesTheList) {
  gf_moveParkAirportToFrontWithStand(IcaoCode("EDDF"), {50, 8}, "V155");
  enterDestination("EDDF");
  EXPECT_EQ(statusLine(), "New destination: EDDF, with reserved stand: V155");
  EXPECT_EQ(ui::comboItems(STAND_SELECTOR.window), (std::vector<std::string>{"A1", "A2", "V155"}));
  EXPECT_EQ(ui::comboGetCurSel(STAND_SELECTOR.window), 2);

  enterDestination("KJFK");
  EXPECT_EQ(statusLine(), "New destination: KJFK, no stands available");
  EXPECT_FALSE(enabled(STAND_SELECTOR));

  enterDestination("EGLL");
  EXPECT_EQ(statusLine(), "New destination: EGLL, failed to read stands, file damaged");
  EXPECT_FALSE(enabled(STAND_SELECTOR));
  EXPECT_EQ(listed(), (std::vector<std::string>{"EGLL", "KJFK", "EDDF"}));

  enterDestination("");
  EXPECT_EQ(statusLine(), "destination set to empty");
  EXPECT_EQ(lastSaved("DESTINATION"), "");
  EXPECT_EQ(ui::comboItems(STAND_SELECTOR.window), (std::vector<std::string>{""}));
  EXPECT_FALSE(enabled(STAND_SELECTOR));
}

TEST_F(BlockingTest, TheTextOfAMissingControlIsEmptyAndLogged) {
  std::string text = "x";
  ui::driver::runOnGuiThread([&] { text = lf_getTextFromId(1234); });
  EXPECT_EQ(text, "");
  EXPECT_NE(log().find("lf_getTextFromId: GetDlgItem failed for ID 1234"), std::string::npos);
}

}  // namespace
