#include <gtest/gtest.h>

#include <filesystem>

#include <fmt/format.h>

#include "appbase/messages.h"
#include "app/option_controls.h"
#include "app/program_entry.h"
#include "config/parameters_file.h"
#include "tests/app/window_fixture.h"

namespace {
using namespace window_test;

class OptionControlsTest : public WindowTest {};

TEST_F(OptionControlsTest, SetUpFillsTheListsAndEnablesByTheRules) {
  ASSERT_TRUE(startGui());
  ui::driver::runOnGuiThread([] {
    lf_initOptionControls();
    lf_initTimeShiftControls();
  });
  EXPECT_EQ(ui::comboItems(RANGE.window).size(), 99u);
  EXPECT_EQ(ui::getWindowText(RANGE.window), "40");
  EXPECT_FALSE(ui::isWindowEnabled(RANGE.window));  // AUTO_RANGE is on
  EXPECT_EQ(ui::getWindowText(SIM_CHOICE.window), "MSFS 2024");
  EXPECT_EQ(ui::comboItems(AI_PACKAGE_SELECTOR.window).size(), 64u);
  const auto hours = ui::comboItems(MAX_FIT_FL.window);
  ASSERT_EQ(hours.size(), 48u);
  EXPECT_EQ(hours.front(), "0.5");
  EXPECT_EQ(ui::comboGetCurSel(MAX_FIT_FL.window), 47);  // 24.0 h
  EXPECT_FALSE(ui::isWindowEnabled(MAX_FIT_FL.window));  // AUTO_PARK on, RT parked only off
  EXPECT_TRUE(ui::isWindowEnabled(DESTINATION.window));
  // RT Direct: the time shift is open to the user, "Set" waits for a change.
  EXPECT_TRUE(ui::isWindowEnabled(TIME_SHIFT_DAYS.window));
  EXPECT_FALSE(ui::isWindowEnabled(SET_BUTTON.window));
  EXPECT_TRUE(g_gui.timeShiftEditable);
}

// Each conditional control follows its condition both ways, whatever an earlier run (or its
// creation) left enabled: a stray click on a control that does not apply changes a setting.
TEST_F(OptionControlsTest, ConditionalControlsFollowTheirConditionBothWays) {
  ASSERT_TRUE(startGui());
  struct Case {
    int sim, rtApp;
    bool automatic, blocked;
  } cases[] = {{2, 0, false, false}, {1, 1, true, true}, {2, 1, false, true}, {1, 0, true, false}};
  const bool automaticBefore = LIG_AUTOMATIC.value;
  const std::string blockedBefore = BLOCK_AIRCRAFT.value.load();
  for (const Case& c : cases) {
    gf_publishSimChoice(SimChoice{c.sim, c.rtApp});
    LIG_AUTOMATIC.value = c.automatic;
    BLOCK_AIRCRAFT.value = c.blocked ? std::string("HB-JNA") : std::string();
    ui::driver::runOnGuiThread([] {
      for (const GuiControl* control :
           std::initializer_list<const GuiControl*>{&GUID_CHANGES, &AEROWINX, &AI_PACKAGE_SELECTOR, &UNBLOCK_BUTTON})
        ui::enableWindow(control->window, true);
      ui::comboResetContent(AI_PACKAGE_SELECTOR.window);
      lf_initOptionControls();
    });
    const std::string name = fmt::format("sim {} rtApp {} automatic {} blocked {}", c.sim, c.rtApp, c.automatic, c.blocked);
    EXPECT_EQ(ui::isWindowEnabled(GUID_CHANGES.window), c.sim == 1) << name;
    EXPECT_EQ(ui::isWindowEnabled(AEROWINX.window), c.rtApp == 1) << name;
    EXPECT_EQ(ui::isWindowEnabled(UNBLOCK_BUTTON.window), c.blocked) << name;
    EXPECT_EQ(ui::isWindowEnabled(AI_PACKAGE_SELECTOR.window), c.automatic) << name;
    EXPECT_EQ(ui::comboItems(AI_PACKAGE_SELECTOR.window).size(), 64u) << name << ": ticking automatic shows a list";
  }
  gf_publishSimChoice(SimChoice{});
  LIG_AUTOMATIC.value = automaticBefore;
  BLOCK_AIRCRAFT.value = blockedBefore;
}

TEST_F(OptionControlsTest, InRTAppModeTheTimeShiftIsLocked) {
  gf_publishSimChoice(SimChoice{2, 1});
  ASSERT_TRUE(startGui());
  ui::driver::runOnGuiThread([] { lf_initTimeShiftControls(); });
  for (const GuiControl* c : std::initializer_list<const GuiControl*>{
           &KEEP_SIM_TIME_PAR, &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS, &SIM_TIME, &SET_BUTTON})
    EXPECT_FALSE(ui::isWindowEnabled(c->window)) << c->controlId;
  EXPECT_FALSE(g_gui.timeShiftEditable);
}

TEST_F(OptionControlsTest, AGatheredTbloPackageTurnsOnTbloModeWithItsHint) {
  testing_support::writeFile(root_ / "tblo" / "tblo.zip", "zip");
  ASSERT_TRUE(startGui());
  ui::driver::runOnGuiThread([] { lf_initOptionControls(); });
  EXPECT_TRUE(g_tbloMode.load());
  EXPECT_EQ(g_gui.statusLine.rfind("Push the tblo button", 0), 0u);
}

TEST_F(OptionControlsTest, WritingAValueIntoItsControl) {
  ASSERT_TRUE(startGui());
  DESTINATION.value = "EHAM";
  gf_showInGui(DESTINATION);
  EXPECT_EQ(ui::getWindowText(DESTINATION.window), "EHAM");
  ui::driver::runOnGuiThread([&] { ui::destroyWindow(window_); });
  gf_showInGui(TCAS_FL);  // no window: only logged
  EXPECT_NE(log().find("GetDlgItem failed for ID 32804"), std::string::npos);
}

TEST_F(OptionControlsTest, AClickReachesParametersXml) {
  std::filesystem::create_directories(g_programFolder.get());  // made by the program's start
  ASSERT_TRUE(startGui());
  gf_readParameters();  // a fresh file with the defaults; the real writer from now on
  ui::driver::click(window_, static_cast<int>(RANDOM.controlId));
  ui::driver::sync();
  const std::string file = testing_support::readFile(g_parametersPath.get());
  EXPECT_NE(file.find("name=\"RANDOM\" value=\"false\""), std::string::npos) << file;
  EXPECT_FALSE(g_parameterSnapshot.load()->random);
}

TEST_F(OptionControlsTest, ExitSavesThePositionAndEndsTheLoopWithTheExitCode) {
  ASSERT_TRUE(startGui());
  gf_setExitCode(1);
  ui::driver::runOnGuiThread(
      [&] { ui::setWindowPos(window_, ui::ZOrder::unchanged, 600, 300, 0, 0, ui::SWP_NOSIZE); });
  ui::postMessage(window_, MSG_EXIT, 0, 0);
  gui_.join();
  EXPECT_EQ(exitCode_, 1);
  EXPECT_EQ(lastSaved("MAIN_WINDOW_X"), "600");
  EXPECT_EQ(lastSaved("MAIN_WINDOW_Y"), "300");
  EXPECT_TRUE(g_gui.closing.load());
  gf_setExitCode(0);
}

}  // namespace
