#include <gtest/gtest.h>

#include <array>
#include <string>

#include "app/time_shift.h"
#include "core/utc_time.h"
#include "feed/feed_neighbours.h"
#include "feed/rt_api_metar_client.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_traffic_client.h"
#include "feed/rt_app_server.h"
#include "platform/net.h"
#include "simlink/user_aircraft.h"
#include "tests/app/window_fixture.h"

namespace {
using namespace window_test;

constexpr std::int64_t kNow = 1'765'000'000;  // the test's UTC clock, seconds

class TimeShiftTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    reset();
    gf_setSystemClockForTest([] { return kNow; });
    ASSERT_TRUE(startGui());
  }
  void TearDown() override {
    WindowTest::TearDown();
    gf_setSystemClockForTest({});
    reset();
  }
  static void reset() {
    gf_resetTimeShiftForTest();
    g_rtProfessional = false;
    g_simZuluTimeValid = false;
    g_simZuluTime = 0;
    g_rtApiTrafficClient.toffset = 0;
    g_rtApiMetarClient.toffset = 0;
  }

  bool restartRequested() {
    const auto request = gf_stopRequest();
    return request && request->reason == StopReason::NewSettings;
  }
  // The simulator clock this many seconds behind the test's clock, seen by the next step.
  void simClockBehind(std::int64_t seconds) {
    g_simZuluTime = kNow - seconds;
    g_simZuluTimeValid = true;
    gf_followSimTime();
  }
  std::array<std::int32_t, 3> lists() {
    return {TIME_SHIFT_DAYS.value, TIME_SHIFT_HOURS.value, TIME_SHIFT_MINS.value};
  }
};

TEST_F(TimeShiftTest, OneMinuteIsSingularAndTwoArePlural) {
  struct Case {
    std::uint32_t minutes;
    const char* shown;
  } cases[] = {{1, "Time shifted 1 minute"}, {2, "Time shifted 2 minutes"}};
  for (const auto& c : cases) {
    gf_resetStopStateForTest();
    gf_applyTimeShift(c.minutes, true, true);
    EXPECT_EQ(statusLine(), c.shown);
    EXPECT_TRUE(restartRequested()) << c.minutes;
    EXPECT_TRUE(g_timeShifted);
  }
  EXPECT_NE(log().find("Time shifted 1 minute\n"), std::string::npos);
}

TEST_F(TimeShiftTest, ZeroAfterAShiftRestartsAndZeroWithoutOneDoesNot) {
  gf_applyTimeShift(0, true, true);
  EXPECT_EQ(statusLine(), "Time shift = 0");
  EXPECT_FALSE(restartRequested());

  gf_applyTimeShift(30, false, true);  // the set-up's shift: no restart
  EXPECT_FALSE(restartRequested());
  gf_applyTimeShift(0, true, true);
  EXPECT_EQ(statusLine(), "Time shifted 0 minutes");
  EXPECT_TRUE(restartRequested());
  EXPECT_FALSE(g_timeShifted);
}

TEST_F(TimeShiftTest, TheShiftIsSplitOverTheListsSavedAndGivenToBothClients) {
  ui::driver::runOnGuiThread([] { TIME_SHIFT_HOURS.fillCombo(); });
  gf_applyTimeShift(1563, false, false);  // 1 day, 2 hours, 3 minutes
  EXPECT_EQ(lists(), (std::array<std::int32_t, 3>{1, 2, 3}));
  EXPECT_EQ(lastSaved("TIME_SHIFT_DAYS"), "1");
  EXPECT_EQ(lastSaved("TIME_SHIFT_MINS"), "3");
  EXPECT_EQ(gf_timeShiftMinutes(), 1563u);
  EXPECT_EQ(g_rtApiTrafficClient.toffset, 1563u);
  EXPECT_EQ(g_rtApiMetarClient.toffset, 1563u);
  EXPECT_EQ(ui::comboGetCurSel(TIME_SHIFT_HOURS.window), 2);
  // Only a professional licence lets stamps follow the feed's clock.
  EXPECT_FALSE(gf_feedTimeSwitch());
  g_rtProfessional = true;
  gf_applyTimeShift(5, false, true);
  EXPECT_TRUE(gf_feedTimeSwitch());
  gf_applyTimeShift(0, false, true);
  EXPECT_FALSE(gf_feedTimeSwitch());
}

TEST_F(TimeShiftTest, TheSimulatorClock20161MinutesBehindGives20160AndTheWarning) {
  simClockBehind(20161 * 60);
  EXPECT_EQ(statusLine(), "Time shifted 20160 minutes");
  EXPECT_NE(log().find("==> time shift is limited to 2 weeks !"), std::string::npos);
  EXPECT_EQ(g_rtApiTrafficClient.toffset, 20160u);
  EXPECT_EQ(g_rtApiMetarClient.toffset, 20160u);
  // The lists cannot show 14 days: they show the longest shift they hold, not 13 days flat.
  EXPECT_EQ(lists(), (std::array<std::int32_t, 3>{13, 23, 59}));
}

TEST_F(TimeShiftTest, TheFirstAutomaticShiftOnlyStoresAndALaterChangeRestarts) {
  simClockBehind(90 * 60);
  EXPECT_EQ(statusLine(), "Time shifted 90 minutes");
  EXPECT_FALSE(restartRequested());
  EXPECT_FALSE(g_firstSimTimeShift);
  EXPECT_EQ(g_rtApiTrafficClient.toffset, 90u);
  EXPECT_EQ(g_lastSimTimeSeconds, kNow - 90 * 60);

  // The clock ran on by less than 30 s: nothing new.
  simClockBehind(90 * 60 - 20);
  EXPECT_FALSE(restartRequested());

  // The user moved the simulator clock: a new shift and a restart of the feed.
  simClockBehind(3 * 3600);
  EXPECT_EQ(statusLine(), "Time shifted 180 minutes");
  EXPECT_TRUE(restartRequested());
  EXPECT_EQ(g_lastSimTimeSeconds, kNow - 3 * 3600);  // the step stores the clock after the restart's reset
  EXPECT_FALSE(g_timeShifted);
}

TEST_F(TimeShiftTest, ASimulatorClockAheadOfRealTimeGivesNoShift) {
  // First step: a shift of 0 is nothing at all.
  simClockBehind(-3600);
  EXPECT_EQ(statusLine(), "");
  EXPECT_TRUE(g_firstSimTimeShift);
  // After a first shift, a clock ahead gives 0 (never a negative shift).
  simClockBehind(600);
  simClockBehind(-7200);
  EXPECT_EQ(statusLine(), "Time shifted 0 minutes");
  EXPECT_EQ(lists(), (std::array<std::int32_t, 3>{0, 0, 0}));
}

TEST_F(TimeShiftTest, WithoutAValidSimulatorClockNothingIsFollowed) {
  g_lastSimTimeSeconds = 12345;
  g_simZuluTimeValid = false;
  gf_followSimTime();
  EXPECT_EQ(g_lastSimTimeSeconds, 0);
  EXPECT_EQ(statusLine(), "");
}

TEST_F(TimeShiftTest, TheRtAppVariantLeavesListsAndOffsetsAlone) {
  gf_publishSimChoice(SimChoice{2, 1});
  simClockBehind(20161 * 60);
  EXPECT_EQ(statusLine(), "Time shifted 20160 minutes");
  EXPECT_NE(log().find("time shift is limited to 2 weeks !"), std::string::npos);
  EXPECT_EQ(g_rtApiTrafficClient.toffset, 0u);
  EXPECT_EQ(lists(), (std::array<std::int32_t, 3>{0, 0, 0}));
  EXPECT_FALSE(restartRequested());
  simClockBehind(60 * 60);
  EXPECT_TRUE(restartRequested());
}

TEST_F(TimeShiftTest, DisablingTheControlsLocksTheTimeShiftLabels) {
  gf_enableTimeShiftControls(false);
  ui::driver::sync();
  bool editable = true;
  ui::driver::runOnGuiThread([&] { editable = g_gui.timeShiftEditable; });
  EXPECT_FALSE(editable);
  for (const GuiControl* c : std::initializer_list<const GuiControl*>{&TIME_SHIFT_DAYS, &SIM_TIME, &SET_BUTTON})
    EXPECT_FALSE(ui::isWindowEnabled(c->window)) << c->controlId;
  gf_enableTimeShiftControls(true);
  EXPECT_TRUE(ui::isWindowEnabled(TIME_SHIFT_MINS.window));
  EXPECT_FALSE(ui::isWindowEnabled(SET_BUTTON.window));
}

TEST(AutoRange, TheRadiusFollowsTheFlightLevel) {
  struct Case {
    bool onGround;
    double fl;
    double radius;
  } cases[] = {
      {true, 350, 10},   // on the ground: RANGE_GROUND whatever the altitude says
      {false, 0, 10},    //
      {false, 50, 15},   // halfway between (FL0, 10) and (FL100, 20)
      {false, 100, 20},  // the first bound itself
      {false, 200, 30},  // (FL100, 20) .. (FL300, 40), bounds as set below
      {false, 300, 40},  //
      {false, 301, 60},  // above the last bound
      {false, -5, 10},   // below sea level counts as FL0
  };
  RANGE_GROUND.value = 10, RANGE_1.value = 20, RANGE_2.value = 30, RANGE_3.value = 40, RANGE_ABOVE.value = 60;
  FLIGHT_LEVEL_1.value = 100, FLIGHT_LEVEL_2.value = 200, FLIGHT_LEVEL_3.value = 300;
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(gf_autoRangeRadius(c.onGround, c.fl), c.radius) << c.fl;
  // Two equal bounds give the upper radius directly.
  FLIGHT_LEVEL_2.value = 100;
  EXPECT_DOUBLE_EQ(gf_autoRangeRadius(false, 100), 20);
  EXPECT_DOUBLE_EQ(gf_autoRangeRadius(false, 150), 32.5);  // (FL100, 30) .. (FL300, 40)
  for (IntOption* o : {&RANGE_GROUND, &RANGE_1, &RANGE_2, &RANGE_3, &RANGE_ABOVE, &FLIGHT_LEVEL_1, &FLIGHT_LEVEL_2,
                       &FLIGHT_LEVEL_3})
    o->value = o->defaultValue;
}

TEST_F(TimeShiftTest, AutoRangeAtFL50Gives15NmAndAFixedRangeEnablesItsList) {
  UserAcPosition user;
  user.altitude = 5000;
  gf_publishUserAcPosition(user);
  g_userOnGround = false;
  FLIGHT_LEVEL_1.value = 100, RANGE_GROUND.value = 10, RANGE_1.value = 20;
  gf_applyRangeMode();  // AUTO_RANGE is on by default
  EXPECT_EQ(g_parameterSnapshot.load()->rangeNm, 15.0);
  EXPECT_EQ(RANGE.value.load(), 15);
  EXPECT_FALSE(ui::isWindowEnabled(RANGE.window));

  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.autoRange = false; });
  RANGE.value = 60;
  gf_applyRangeMode();
  EXPECT_EQ(g_parameterSnapshot.load()->rangeNm, 60.0);
  EXPECT_TRUE(ui::isWindowEnabled(RANGE.window));
  gf_publishUserAcPosition(UserAcPosition{});
}

TEST_F(TimeShiftTest, TheSimulatorTimeGoesToTheRtAppAsQs123OnlyWhileKnown) {
  g_rtAppServer.start("0");
  const net::Socket app = net::connectTcp("127.0.0.1", g_rtAppServer.listeningPort().value_or(0));
  ASSERT_NE(app, net::kInvalidSocket);
  ASSERT_TRUE(g_rtAppServer.waitForClient());
  net::LineReceiver lines(app);
  g_simZuluTimeValid = false;
  g_simZuluTime = 1;
  gf_sendSimTimeToRTApp();  // unknown: nothing goes
  g_simZuluTime = 1733400000;
  g_simZuluTimeValid = true;
  gf_sendSimTimeToRTApp();
  std::string line;
  ASSERT_EQ(lines.next(line, 5000), net::LineReceiver::Status::Line);
  EXPECT_EQ(line, "Qs123=1733400000000\r\n");
  net::closeSocket(app);
  g_rtAppServer.close();
}

}  // namespace
