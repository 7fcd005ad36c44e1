#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "app/main_loop.h"
#include "app/parking_controls.h"
#include "tests/app/window_fixture.h"

namespace {
using namespace window_test;

class ParkingControlsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    gf_resetMainLoopState();
    gf_resetParkingControlsForTest();
    ASSERT_TRUE(startGui());
    ui::driver::runOnGuiThread([] { gf_parkingGenerationDone(); });  // every control usable
  }
  void TearDown() override {
    WindowTest::TearDown();
    gf_resetMainLoopState();
    gf_resetParkingControlsForTest();
  }

  void click(const GuiControl& c) {
    ui::driver::click(window_, static_cast<int>(c.controlId));
    ui::driver::sync();
  }
  template <typename T>
  T onGui(T Gui::*field) {
    ui::driver::sync();
    T value{};
    ui::driver::runOnGuiThread([&] { value = g_gui.*field; });
    return value;
  }
};

struct Row {
  bool parkedOnly;
  bool autoPark;
  bool percentage, autoParkBox, week, soft, maxFit;
};
// What the user may change for each setting of RT_PARKTRAFFIC_ONLY and AUTO_PARK.
const Row kTruthTable[] = {
    {false, false, true, true, true, true, true},
    {false, true, true, true, false, false, false},
    {true, false, false, false, false, false, true},
    {true, true, false, false, false, false, true},
};

std::string nameOf(const Row& r) {
  return std::string("RT_PARKTRAFFIC_ONLY ") + (r.parkedOnly ? "on" : "off") + ", AUTO_PARK " +
         (r.autoPark ? "on" : "off");
}

void expectEnabled(const Row& r) {
  const auto enabled = [](const GuiControl& c) { return ui::isWindowEnabled(c.window); };
  EXPECT_EQ(enabled(parking_percentage), r.percentage) << nameOf(r);
  EXPECT_EQ(enabled(AUTO_PARK), r.autoParkBox) << nameOf(r);
  EXPECT_EQ(enabled(WEEK), r.week) << nameOf(r);
  EXPECT_EQ(enabled(PARK_SOFT), r.soft) << nameOf(r);
  EXPECT_EQ(enabled(MAX_FIT_FL), r.maxFit) << nameOf(r);
}

TEST_F(ParkingControlsTest, TheTruthTableOfParkedOnlyAndAutoPark) {
  for (const Row& r : kTruthTable) {
    gf_changeParameterSnapshot([&](ParameterSnapshot& s) {
      s.rtParkTrafficOnly = r.parkedOnly;
      s.autoPark = r.autoPark;
    });
    ui::driver::runOnGuiThread([] { gf_updateParkingControls(); });
    expectEnabled(r);
    // Either update alone, in either order, ends in the same state.
    ui::driver::runOnGuiThread([] {
      gf_updateParkTrafficOnlyControls();
      gf_updateAutoParkControls();
    });
    EXPECT_EQ(enabled(WEEK), r.week) << "after both updates: " << nameOf(r);
    ui::driver::runOnGuiThread([] {
      gf_updateAutoParkControls();
      gf_updateParkTrafficOnlyControls();
    });
    EXPECT_EQ(enabled(WEEK), r.week) << "reversed: " << nameOf(r);
    EXPECT_EQ(enabled(MAX_FIT_FL), r.maxFit) << "reversed: " << nameOf(r);
  }
}

TEST_F(ParkingControlsTest, ClickingTheCheckBoxesWalksTheTruthTable) {
  auto expectRow = [&](const Row& r) {
    EXPECT_EQ(g_parameterSnapshot.load()->rtParkTrafficOnly, r.parkedOnly) << nameOf(r);
    EXPECT_EQ(g_parameterSnapshot.load()->autoPark, r.autoPark) << nameOf(r);
    expectEnabled(r);
  };
  expectRow(kTruthTable[1]);  // the defaults
  click(AUTO_PARK);
  expectRow(kTruthTable[0]);
  click(RT_PARKTRAFFIC_ONLY);
  expectRow(kTruthTable[2]);  // WEEK and PARK_SOFT stay off though AUTO_PARK is off
  click(AUTO_PARK);           // disabled: the click does nothing
  expectRow(kTruthTable[2]);
  click(RT_PARKTRAFFIC_ONLY);
  expectRow(kTruthTable[0]);
  click(AUTO_PARK);
  click(RT_PARKTRAFFIC_ONLY);
  expectRow(kTruthTable[3]);
  click(RT_PARKTRAFFIC_ONLY);  // off again with AUTO_PARK on: WEEK and PARK_SOFT stay off
  expectRow(kTruthTable[1]);
  click(RT_PARKTRAFFIC_ONLY);
  // The parked-only change is handed to the main loop with its change count.
  std::lock_guard lock(g_parkingRequestMutex);
  EXPECT_TRUE(g_parkingRequest.flag);
  EXPECT_EQ(g_parkingRequest.second, 5);
}

TEST_F(ParkingControlsTest, AParkingUpdateRequestLocksTheControlsUntilTheGenerationIsDone) {
  ui::driver::runOnGuiThread([] { gf_requestParkingUpdate(); });
  EXPECT_EQ(onGui(&Gui::statusLine), "JORV will update static parking soon ...");
  EXPECT_EQ(log().find("will update static parking soon"), std::string::npos);  // shown, not logged
  for (const GuiControl* c : std::initializer_list<const GuiControl*>{
           &parking_percentage, &MAX_LIVE_SEL, &FLUSH_BUTTON, &PARK_BUTTON, &PARKING_INTERVAL_MINUTES, &RT_PARKTRAFFIC_ONLY})
    EXPECT_FALSE(enabled(*c)) << c->controlId;
  {
    std::lock_guard lock(g_parkingRequestMutex);
    EXPECT_EQ(g_parkingRequest.requested, 1u);
  }

  g_parkingGenerating = true;
  ui::driver::runOnGuiThread([] { gf_parkingGenerationDone(); });
  EXPECT_FALSE(g_parkingGenerating);
  EXPECT_TRUE(enabled(PARK_BUTTON));
  EXPECT_TRUE(enabled(MAX_LIVE_SEL));
  EXPECT_FALSE(enabled(WEEK));  // AUTO_PARK is on by default
  EXPECT_EQ(onGui(&Gui::nextParkingUpdateMinutes), 20);
  EXPECT_EQ(onGui(&Gui::statusLine), "");
}

TEST_F(ParkingControlsTest, ARestartedCountdownIsHandedToTheWorkerAndShown) {
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.parkingIntervalMinutes = 45; });
  gf_restartParkingCountdown();
  EXPECT_EQ(g_parkingCountdown, 45);
  EXPECT_EQ(onGui(&Gui::nextParkingUpdateMinutes), 45);
}

TEST_F(ParkingControlsTest, TheWaitForFirstTrafficEndsOnTrafficOnStopOrAfter150Steps) {
  int sleeps = 0;
  auto sleep = [&] { ++sleeps; };
  EXPECT_TRUE(gf_waitForTraffic([&] { return sleeps == 7; }, sleep));
  EXPECT_EQ(sleeps, 7);

  sleeps = 0;
  EXPECT_FALSE(gf_waitForTraffic([] { return false; }, sleep));
  EXPECT_EQ(sleeps, 150);
  EXPECT_NE(log().find("No traffic in this region"), std::string::npos);

  sleeps = 0;
  gf_requestStop(StopReason::NewSettings, 0);
  EXPECT_FALSE(gf_waitForTraffic([] { return false; }, sleep));
  EXPECT_EQ(sleeps, 0);
}

}  // namespace
