#include <gtest/gtest.h>

#include <functional>

#include "app/command_handlers.h"
#include "appbase/messages.h"
#include "tests/app/window_fixture.h"

namespace {
using namespace window_test;

class CommandTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(startGui());
    ui::driver::sync();
  }
  void click(const GuiControl& control) {
    ui::driver::click(window_, static_cast<int>(control.controlId));
    ui::driver::sync();
  }
  void select(const GuiControl& control, int index) {
    ui::driver::selectComboItem(window_, static_cast<int>(control.controlId), index);
    ui::driver::sync();
  }
  std::shared_ptr<const ParameterSnapshot> snapshot() { return g_parameterSnapshot.load(); }
  StopReason stopReason() {
    auto request = gf_stopRequest();
    return request ? request->reason : StopReason::NotYetSet;
  }
  std::uint32_t stopDelay() {
    auto request = gf_stopRequest();
    return request ? request->restartDelaySeconds : 999;
  }
};

// Every check box: flipped by the handler, saved, published, then its own consequence.
TEST_F(CommandTest, EachCheckBoxSavesItsOptionPublishesTheSnapshotAndDoesItsSideEffect) {
  struct Case {
    CheckboxOption* option;
    std::function<bool(const ParameterSnapshot&)> published;  // the field after the click
    std::function<void()> sideEffect;
  } cases[] = {
      {&RANDOM, [](auto& s) { return !s.random; },
       [&] {
         EXPECT_EQ(g_gui.statusLine, "Be aware: no randomness in matching or parking! (This mode is meant for multi Sims)");
         EXPECT_NE(log().find("Be aware: no randomness"), std::string::npos);
       }},
      {&ALWAYS_ON_TOP, nullptr,
       [&] {
         EXPECT_TRUE(ui::isTopmost(window_));
         EXPECT_EQ(g_gui.statusLine, "JORV's window will remain visible");
       }},
      {&NAV_LIGHTS_WHILE_PARKED, [](auto& s) { return !s.navLightsWhileParked; },
       [] { EXPECT_EQ(g_pendingLights.load(), 0); }},
      {&TWO_PROPS, nullptr, [] { EXPECT_TRUE(g_removeTwoProps.load()); }},
      {&HELICOPTERS, [](auto& s) { return !s.helicopters; }, [] { EXPECT_TRUE(g_removeHelicopters.load()); }},
      {&COLLISION_USER_AIR, [](auto& s) { return !s.collisionUserAir; },
       [] { EXPECT_EQ(g_gui.statusLine, "Be aware, user aircraft may collide with (run through) live aircraft in the air"); }},
      {&OBJECTID_LIST, [](auto& s) { return s.objectIdList; },
       [&] {
         EXPECT_NE(g_gui.statusLine.find("ObjectIdList.txt"), std::string::npos);
         EXPECT_NE(log().find("Every minute info about all active live aircraft is written to the file "),
                   std::string::npos);
       }},
      {&GUID_CHANGES, [](auto& s) { return !s.guidChanges; },
       [] { EXPECT_EQ(g_gui.statusLine, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!"); }},
      {&LIG_AUTOMATIC, [](auto& s) { return !s.ligAutomatic; },
       [] {
         EXPECT_EQ(g_gui.statusLine, "The liveries defined by your lfolder parameters will be scanned");
         EXPECT_FALSE(ui::isWindowEnabled(AI_PACKAGE_SELECTOR.window));
       }},
      {&WEEK, [](auto& s) { return s.week; }, [&] { EXPECT_EQ(stopReason(), StopReason::NotYetSet); }},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.option->name);
    ui::driver::runOnGuiThread([] { Gui::clearMessage(); });
    const bool before = c.option->value;
    click(*c.option);
    EXPECT_EQ(c.option->value.load(), !before);
    EXPECT_EQ(ui::getCheck(c.option->window), !before);
    EXPECT_EQ(lastSaved(c.option->name), before ? "false" : "true");
    if (c.published) {
      EXPECT_TRUE(c.published(*snapshot()));
    }
    c.sideEffect();
  }
}

TEST_F(CommandTest, TickingRandomOnAgainClearsTheWarning) {
  click(RANDOM);
  EXPECT_FALSE(g_gui.statusLine.empty());
  click(RANDOM);
  EXPECT_TRUE(RANDOM.value.load());
  EXPECT_EQ(g_gui.statusLine, "");
  EXPECT_TRUE(snapshot()->random);
}

TEST_F(CommandTest, SimTimeInRTDirectZeroesTheTimeShiftAndRestartsWithNewSettings) {
  TIME_SHIFT_DAYS.value = 2;
  TIME_SHIFT_MINS.value = 30;
  click(SIM_TIME);
  EXPECT_TRUE(SIM_TIME.value.load());
  EXPECT_EQ(lastSaved("TIME_SHIFT_DAYS"), "0");
  EXPECT_EQ(lastSaved("TIME_SHIFT_MINS"), "0");
  EXPECT_EQ(ui::comboGetCurSel(TIME_SHIFT_DAYS.window), -1);  // not filled yet: nothing selected
  EXPECT_TRUE(snapshot()->simTime);
  EXPECT_EQ(snapshot()->timeShiftDays, 0u);
  EXPECT_EQ(stopReason(), StopReason::NewSettings);
  EXPECT_EQ(stopDelay(), 0u);
}

TEST_F(CommandTest, ChoosingTheOtherSimulatorRestartsAfterThreeSecondsAndTheSameOneDoesNothing) {
  SIM_CHOICE.fillCombo();  // "MSFS 2020", "MSFS 2024"; the value is MSFS 2024
  select(SIM_CHOICE, 1);
  EXPECT_EQ(stopReason(), StopReason::NotYetSet);
  EXPECT_TRUE(lastSaved("SIM_CHOICE").empty());

  select(SIM_CHOICE, 0);
  EXPECT_EQ(SIM_CHOICE.value.load(), "MSFS 2020");
  EXPECT_EQ(lastSaved("SIM_CHOICE"), "MSFS 2020");
  EXPECT_TRUE(g_simSwitchRequested.load());
  EXPECT_EQ(g_gui.statusLine, "Switching MSFS version in JORV");
  EXPECT_EQ(stopReason(), StopReason::NewSettings);
  EXPECT_EQ(stopDelay(), 3u);
}

TEST_F(CommandTest, ANewTrafficSourceDisablesItsChoiceAndRestarts) {
  RT_CHOISE.fillCombo();
  select(RT_CHOISE, 1);
  EXPECT_EQ(RT_CHOISE.value.load(), "RT App");
  EXPECT_EQ(lastSaved("RT_CHOISE"), "RT App");
  EXPECT_FALSE(ui::isWindowEnabled(RT_CHOISE.window));
  EXPECT_EQ(stopReason(), StopReason::NewSettings);
  EXPECT_EQ(stopDelay(), 0u);
}

TEST_F(CommandTest, IntegerListsSaveTheEntryPublishItAndRaiseTheirFlags) {
  MATCHING_DEPTH.fillCombo();
  select(MATCHING_DEPTH, 5);  // 6, deeper than 4
  EXPECT_EQ(MATCHING_DEPTH.value.load(), 6);
  EXPECT_EQ(lastSaved("MATCHING_DEPTH"), "6");
  EXPECT_EQ(snapshot()->matchingDepth, 6u);
  EXPECT_TRUE(g_rematchRequested.exchange(false));
  select(MATCHING_DEPTH, 0);
  EXPECT_FALSE(g_rematchRequested.load());  // shallower: no re-match

  MAX_LIVE_SEL.fillCombo();
  select(MAX_LIVE_SEL, 2);
  EXPECT_EQ(snapshot()->maxLiveSel, 10u);
  EXPECT_TRUE(g_maxLiveSelChanged.load());

  ui::enableWindow(SET_BUTTON.window, false);
  TIME_SHIFT_HOURS.fillCombo();
  select(TIME_SHIFT_HOURS, 5);
  EXPECT_EQ(snapshot()->timeShiftHours, 5u);
  EXPECT_TRUE(ui::isWindowEnabled(SET_BUTTON.window));
}

TEST_F(CommandTest, AnIndexBeyondTheListIsLoggedAndChangesNothing) {
  MATCHING_DEPTH.fillCombo();
  ui::comboAddString(MATCHING_DEPTH.window, "99");
  select(MATCHING_DEPTH, 7);
  EXPECT_EQ(MATCHING_DEPTH.value.load(), 4);
  EXPECT_NE(log().find("==> lf_HandleWMCOMMAND exception configuration option index is out of range"),
            std::string::npos);
}

TEST_F(CommandTest, TextChoicesAndTheFitHours) {
  QNH_UNIT.fillCombo();
  select(QNH_UNIT, 1);
  EXPECT_TRUE(g_gui.qnhInHg);
  EXPECT_EQ(lastSaved("QNH_UNIT"), "QNH inHg");

  ALL_AIR_GND_SELECTOR.fillCombo();
  select(ALL_AIR_GND_SELECTOR, 2);
  EXPECT_EQ(snapshot()->airGroundFilter, 2);
  EXPECT_EQ(lastSaved("ALL_AIR_GND_SELECTOR"), "Ground only");

  ui::driver::runOnGuiThread([] {
    for (float hours : MAX_FIT_FL.values) ui::comboAddString(MAX_FIT_FL.window, std::to_string(hours));
  });
  select(MAX_FIT_FL, 3);  // 2.0 h
  EXPECT_FLOAT_EQ(MAX_FIT_FL.value, 2.0f);
  EXPECT_EQ(MAX_FIT.value.load(), 3);
  EXPECT_EQ(lastSaved("MAX_FIT"), "3");
  EXPECT_EQ(snapshot()->maxFit, 3u);

  RANGE.fillCombo();
  select(RANGE, 18);  // 20 nm
  EXPECT_EQ(lastSaved("RANGE"), "20");
  EXPECT_DOUBLE_EQ(snapshot()->rangeNm, 20.0);
}

TEST_F(CommandTest, ButtonsRaiseTheirRequests) {
  click(FLUSH_BUTTON);
  EXPECT_TRUE(g_flushStaticRequested.load());
  EXPECT_FALSE(ui::isWindowEnabled(FLUSH_BUTTON.window));
  EXPECT_EQ(g_gui.statusLine, "All static parked aircraft will be removed ...");

  click(AIRCRAFT_BUTTON);
  EXPECT_TRUE(g_aircraftListRequested.load());
  EXPECT_FALSE(ui::isWindowEnabled(BLOCK_BUTTON.window));

  ui::enableWindow(BLOCK_BUTTON.window, true);
  click(BLOCK_BUTTON);
  EXPECT_EQ(g_gui.statusLine, "Nothing to block ...");
  click(UNBLOCK_BUTTON);
  EXPECT_TRUE(g_unblockRestart.load());
  EXPECT_EQ(g_gui.statusLine, "Nothing to unblock...");
  EXPECT_NE(log().find("Nothing to unblock..."), std::string::npos);
}

TEST_F(CommandTest, TbloWithoutItsPackageSaysSoInAMessageBox) {
  g_tbloMode = true;
  click(TBLO_BUTTON);
  EXPECT_FALSE(g_tbloMode.load());
  EXPECT_FALSE(ui::isWindowEnabled(TBLO_BUTTON.window));
  auto boxes = ui::driver::messageBoxesShown();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Could not open File Explorer at tblo.zip.");
  EXPECT_EQ(boxes[0].caption, "JORV");
  EXPECT_EQ(boxes[0].type, ui::MB_ICONEXCLAMATION);
}

TEST_F(CommandTest, ClosingTheWindowShowsTheMessageAtOnceAndWaitsForTheWorker) {
  ui::driver::closeWindow(window_);
  ui::driver::sync();
  EXPECT_TRUE(ui::isWindow(window_));
  EXPECT_NE(g_gui.statusLine.find(" close window button clicked, closing JORV ..."), std::string::npos);
  EXPECT_EQ(stopReason(), StopReason::UserClosedSim);
  EXPECT_TRUE(gf_exitRequested());
}

TEST_F(CommandTest, TheOtherSimulatorRunningSwitchesTheChoice) {
  SIM_CHOICE.fillCombo();
  ui::postMessage(window_, MSG_SIM_VERSION, 0, 0);
  ui::driver::sync();
  EXPECT_EQ(SIM_CHOICE.value.load(), "MSFS 2020");  // MSFS 2024 was chosen
  EXPECT_EQ(ui::comboGetCurSel(SIM_CHOICE.window), 0);
  EXPECT_EQ(lastSaved("SIM_CHOICE"), "MSFS 2020");
  EXPECT_EQ(stopReason(), StopReason::NewSettings);
}

TEST_F(CommandTest, TheLayoutButtonTogglesTheLayoutAndStoresIt) {
  g_gui.layoutButton = ui::Rect{765, 4, 90, 26};
  ui::postMessage(window_, ui::WM_LBUTTONDOWN, 0, ui::makeLParam(700, 10));  // in the header, outside
  ui::driver::sync();
  EXPECT_FALSE(g_gui.compact);
  ui::postMessage(window_, ui::WM_LBUTTONDOWN, 0, ui::makeLParam(800, 10));
  ui::driver::sync();
  EXPECT_TRUE(g_gui.compact);
  EXPECT_EQ(lastSaved("COLLAPSED"), "true");
  EXPECT_EQ(ui::clientRect(window_).height, 128);
}

}  // namespace
