#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "app/controls.h"
#include "app/option_controls.h"
#include "app/worker_seams.h"
#include "config/parameters_file.h"
#include "tests/app/window_fixture.h"

namespace {
using namespace window_test;
namespace fs = std::filesystem;

class MainWindowTest : public WindowTest {
 protected:
  fs::path parametersFile() { return root_ / "appdata" / "JORV" / "parameters.xml"; }
  void writeParameters(const std::string& x, const std::string& y) {
    testing_support::writeFile(parametersFile(), "<root><parameters><parameter name=\"MAIN_WINDOW_X\" value=\"" + x +
                                                     "\"/><parameter name=\"MAIN_WINDOW_Y\" value=\"" + y +
                                                     "\"/></parameters></root>");
  }
};

TEST_F(MainWindowTest, WithoutParametersTheWindowOpensAt400By20With900By768Units) {
  ASSERT_TRUE(startGui());
  ui::driver::sync();
  const ui::Rect outer = ui::windowRect(window_);
  EXPECT_EQ(outer.x, 400);
  EXPECT_EQ(outer.y, 20);
  EXPECT_EQ(ui::clientRect(window_), (ui::Rect{0, 0, 900, 768}));
  EXPECT_TRUE(ui::isWindowVisible(window_));
  EXPECT_EQ(log().find("parameters.xml"), std::string::npos);
}

TEST_F(MainWindowTest, TheSavedPositionIsReadStrictly) {
  struct Case {
    std::string x;
    int expectedX;
  } cases[] = {{"+250 ", 250}, {"250a", 400}, {"", 400}, {"-31000", -30000}, {"+", 400}};
  for (const auto& c : cases) {
    writeParameters(c.x, "300");
    MAIN_WINDOW_X.value = MAIN_WINDOW_X.defaultValue;
    gf_readSavedWindowPosition();
    EXPECT_EQ(MAIN_WINDOW_X.value.load(), c.expectedX) << "'" << c.x << "'";
    EXPECT_EQ(MAIN_WINDOW_Y.value.load(), 300);
  }
}

TEST_F(MainWindowTest, ACorruptOrOversizedParametersFileIsLeftForTheWorkersLoad) {
  // Sound XML that holds a position, but larger than any settings file: refused before it is
  // read, like the worker's load refuses it, whatever it holds.
  std::string oversized = "<root><parameters><parameter name=\"MAIN_WINDOW_X\" value=\"250\"/></parameters><!--";
  oversized += std::string(kParametersFileMaxBytes, 'x') + "--></root>";
  const struct Case {
    const char* name;
    std::string content;
    std::string logged;
  } cases[] = {{"broken", "<root><parameters><parameter name=", "failed to load ("},
               {"oversized", oversized, "failed to load (larger than 1048576 bytes)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::writeFile(parametersFile(), c.content);
    MAIN_WINDOW_X.value = 123;
    gf_readSavedWindowPosition();
    EXPECT_EQ(MAIN_WINDOW_X.value.load(), 123);  // untouched: the defaults stand
    EXPECT_EQ(fs::file_size(parametersFile()), c.content.size());
    EXPECT_EQ(std::distance(fs::directory_iterator(parametersFile().parent_path()), fs::directory_iterator()), 1);
    EXPECT_NE(log().find(c.logged), std::string::npos);
  }
}

TEST_F(MainWindowTest, ASavedPositionAtTheEndOfTheRangeIsReplacedByTheDefaultAndSaved) {
  writeParameters("30000", "20");
  ASSERT_TRUE(startGui());
  ui::driver::sync();
  EXPECT_EQ(ui::windowRect(window_).x, 400);
  EXPECT_EQ(lastSaved("MAIN_WINDOW_X"), "400");
}

// placeWindow against a work area of our choosing.
class PlaceWindowTest : public MainWindowTest {
 protected:
  void place(ui::Rect windowRect, int savedX, int savedY) {
    ui::registerClass(ui::WindowClass{"Plain", ui::defWindowProc});
    // The window stands where the options say, as initInstance creates it.
    ui::Hwnd window = ui::createWindow("Plain", "t", {savedX, savedY, windowRect.width, windowRect.height});
    g_gui.window = window;
    MAIN_WINDOW_X.value = savedX;
    MAIN_WINDOW_Y.value = savedY;
    g_gui.placeWindow(400, 20);
    placed = ui::windowRect(window);
  }
  ui::Rect placed;
};

TEST_F(PlaceWindowTest, KeepsAtLeast48PixelsInsideTheWorkArea) {
  ui::setMonitorsForTest({ui::Monitor{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96},
                          ui::Monitor{{1920, 0, 1280, 1024}, {1920, 0, 1280, 984}, 96}});
  struct Case {
    const char* name;
    ui::Rect window;
    int savedX, savedY;
    int x, y;
    bool saved;
  } cases[] = {
      {"inside", {0, 0, 906, 797}, 100, 50, 100, 50, false},
      {"left of the work area", {0, 0, 906, 797}, -2000, 50, 48 - 906, 50, true},
      {"below the bottom", {0, 0, 906, 797}, 100, 1500, 100, 1040 - 48, true},
      {"beyond the right edge", {0, 0, 906, 797}, 3300, 10, 1920 + 1280 - 48, 10, true},
      {"on the second monitor", {0, 0, 906, 797}, 2500, 100, 2500, 100, false},
      {"wider than the work area", {0, 0, 2500, 797}, 300, 0, 0, 0, true},
      {"above the top", {0, 0, 906, 797}, 100, -900, 100, 48 - 797, true},
      {"at the range's minimum", {0, 0, 906, 797}, -30000, 50, 400, 50, true},
  };
  for (const auto& c : cases) {
    clearSaved();
    place(c.window, c.savedX, c.savedY);
    EXPECT_EQ(placed.x, c.x) << c.name;
    EXPECT_EQ(placed.y, c.y) << c.name;
    EXPECT_EQ(placed.width, c.window.width) << c.name;
    EXPECT_EQ(MAIN_WINDOW_X.value.load(), c.x) << c.name;
    EXPECT_EQ(lastSaved("MAIN_WINDOW_X").empty(), !c.saved) << c.name;
  }
}

TEST_F(MainWindowTest, TheNormalPositionOfAMinimizedWindowIsSavedAtExit) {
  ASSERT_TRUE(startGui());
  ui::driver::runOnGuiThread([&] {
    ui::setWindowPos(window_, ui::ZOrder::unchanged, 640, 200, 0, 0, ui::SWP_NOSIZE);
    ui::setShowState(window_, ui::SW_SHOWMINIMIZED);
    gf_saveWindowPosition();
  });
  EXPECT_EQ(lastSaved("MAIN_WINDOW_X"), "640");
  EXPECT_EQ(lastSaved("MAIN_WINDOW_Y"), "200");
}

TEST_F(MainWindowTest, TheFiftyFourOptionControlsInCreationOrder) {
  g_parkAirport.code = IcaoCode("EHAM");  // a previous window's: forgotten when the controls are made
  ASSERT_TRUE(startGui());
  EXPECT_TRUE(gf_parkAirport().code.empty());
  const int expected[] = {32793, 32785, 32786, 32789, 32788, 32780, 32779, 32784, 32778, 32808, 32809,
                          32810, 32811, 32812, 32815, 32814, 32802, 32803, 32824, 32794, 32805, 32798,
                          32799, 32800, 32801, 32795, 32804, 32827, 32819, 32818, 32820, 32821, 32832,
                          32830, 32823, 32825, 32826, 32829, 32828, 32822, 32833, 32782, 32773, 32796,
                          32774, 32775, 32776, 32777, 32838, 32840, 32842, 32839, 32843, 32841};
  ASSERT_EQ(g_optionControls.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i)
    EXPECT_EQ(ui::getDlgCtrlId(g_optionControls[i]), expected[i]) << "control " << i + 1;
  // Bound to their options, which know their handles.
  EXPECT_EQ(RANDOM.window, ui::getDlgItem(window_, 32782));
  EXPECT_EQ(ui::controlKind(DESTINATION.window), ui::ControlKind::Edit);
  EXPECT_FALSE(ui::isWindowEnabled(DESTINATION.window));
  EXPECT_EQ(ui::getWindowText(FLUSH_BUTTON.window), "Flush");
  EXPECT_TRUE(ui::getCheck(RANDOM.window));  // the option's default
  EXPECT_FALSE(ui::getCheck(WEEK.window));
}

// What the owner-drawn check box paints.
std::vector<ui::Primitive> paintOf(ui::Hwnd box) {
  std::vector<ui::Primitive> drawn;
  ui::driver::runOnGuiThread([&] { drawn = ui::driver::paintControl(box); });
  return drawn;
}

TEST_F(MainWindowTest, At144DpiEverythingIsScaledByOneAndAHalf) {
  ASSERT_TRUE(startGui([] { ui::setSystemDpiForTest(144); }));
  ui::driver::sync();
  EXPECT_EQ(g_gui.dpi, 144u);
  EXPECT_EQ(ui::clientRect(window_), (ui::Rect{0, 0, 1350, 1152}));
  // RANGE sits at (113, 375 - 5), 70 wide, with a 300-unit list.
  EXPECT_EQ(ui::windowRect(RANGE.window), (ui::Rect{170, 555, 105, 450}));
  EXPECT_EQ(ui::windowRect(RANDOM.window), (ui::Rect{986, 360, 21, 21}));
  ASSERT_TRUE(g_gui.controlFont);
  EXPECT_EQ(g_gui.controlFont->height, -24);
  EXPECT_EQ(*ui::windowFont(RANGE.window), *g_gui.controlFont);
  EXPECT_EQ(g_gui.normalFont->height, -16);  // painting fonts stay at 96 DPI
  EXPECT_EQ(g_gui.boldFont->weight, 700);
  // The check box's tick pen is three pixels.
  auto drawn = paintOf(RANDOM.window);
  ASSERT_EQ(drawn.size(), 3u);
  EXPECT_EQ(drawn[2].penWidth, 3);
  EXPECT_EQ(drawn[2].points, (std::vector<ui::Point>{{4, 10}, {8, 15}, {16, 5}}));
}

TEST_F(MainWindowTest, MovingToA144DpiMonitorRescalesControlsAndKeepsTheClientAt900By768Units) {
  ASSERT_TRUE(startGui());
  ui::driver::sync();
  const ui::Rect suggested{2000, 100, 0, 0};
  ui::driver::runOnGuiThread([&] {
    ui::setMonitorsForTest({ui::Monitor{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96},
                            ui::Monitor{{1920, 0, 2560, 1440}, {1920, 0, 2560, 1400}, 144}});
    ui::sendMessage(window_, ui::WM_DPICHANGED, ui::makeWParam(144, 144), reinterpret_cast<ui::LParam>(&suggested));
  });
  EXPECT_EQ(ui::windowRect(window_).x, 2000);
  EXPECT_EQ(ui::clientRect(window_), (ui::Rect{0, 0, 1350, 1152}));
  EXPECT_EQ(ui::windowRect(RANGE.window), (ui::Rect{170, 555, 105, 450}));
  EXPECT_EQ(ui::windowRect(MAX_LIVE_SEL.window).height, 300);  // its 200-unit list
  EXPECT_EQ(ui::windowRect(FLUSH_BUTTON.window), (ui::Rect{1148, 914, 150, 39}));
  EXPECT_EQ(g_gui.controlFont->height, -24);
}

TEST_F(MainWindowTest, FontFailureFailsTheStart) {
  EXPECT_FALSE(startGui([] { ui::setFontCreationFailsForTest(true); }));
  EXPECT_NE(log().find("==> Creating GUI fonts failed"), std::string::npos);
}

TEST_F(MainWindowTest, ACheckBoxIsPaintedGreyWhenDisabledAndBlackOnceEnabled) {
  ASSERT_TRUE(startGui());
  const ui::Hwnd box = RANDOM.window;  // ticked by default
  ui::enableWindow(box, false);
  auto drawn = paintOf(box);
  ASSERT_EQ(drawn.size(), 3u);
  EXPECT_EQ(drawn[0].kind, ui::Primitive::Kind::Fill);
  EXPECT_EQ(drawn[0].color, ui::rgb(153, 204, 255));
  EXPECT_EQ(drawn[1].color, ui::rgb(160, 160, 160));
  EXPECT_EQ(drawn[1].interior, ui::rgb(240, 240, 240));
  EXPECT_EQ(drawn[2].color, ui::rgb(128, 128, 128));
  EXPECT_EQ(drawn[2].points, (std::vector<ui::Point>{{2, 7}, {5, 10}, {11, 3}}));
  EXPECT_EQ(drawn[2].penWidth, 2);

  ui::takeInvalidations(box);
  ui::enableWindow(box, true);
  EXPECT_EQ(ui::takeInvalidations(box).size(), 1u);  // redrawn at once
  drawn = paintOf(box);
  EXPECT_EQ(drawn[1].color, ui::rgb(96, 96, 96));
  EXPECT_EQ(drawn[1].interior, ui::rgb(255, 255, 255));
  EXPECT_EQ(drawn[2].color, ui::rgb(0, 0, 0));

  ui::setCheckState(box, ui::BST_INDETERMINATE);
  EXPECT_EQ(paintOf(box).size(), 2u);  // no tick
  ui::setCheck(box, false);
  EXPECT_EQ(paintOf(box).size(), 2u);
}

TEST(FolderPicker, AnswersComeFromTheScriptAndCancelIsEmpty) {
  ui::resetForTest();
  ui::driver::answerFolderPicks({std::string("/sim/Packages"), std::nullopt});
  EXPECT_EQ(gf_pickFolder(ui::Hwnd::null, "/no/such/folder"), fs::path("/sim/Packages"));
  EXPECT_EQ(gf_pickFolder(ui::Hwnd::null, {}), std::nullopt);
  EXPECT_EQ(gf_pickFolder(ui::Hwnd::null, {}), std::nullopt);  // unscripted: cancelled
  // A folder that does not exist still opens the picker.
  EXPECT_EQ(ui::driver::folderPicksShown(), (std::vector<std::string>{"/no/such/folder", "", ""}));
  ui::resetForTest();
}

TEST(MaxFitHours, IndexAndHoursAtTheirBounds) {
  EXPECT_EQ(gf_maxFitIndex(0.74f), 0);
  EXPECT_EQ(gf_maxFitIndex(0.75f), 1);
  EXPECT_EQ(gf_maxFitIndex(30.0f), 47);
  EXPECT_EQ(gf_maxFitIndex(-1.0f), 0);
  EXPECT_FLOAT_EQ(gf_maxFitHours(-3), 0.5f);
  EXPECT_FLOAT_EQ(gf_maxFitHours(99), 24.0f);
  EXPECT_FLOAT_EQ(gf_maxFitHours(0), 0.5f);
  gf_clampMaxFitValue(30.0f);
  EXPECT_FLOAT_EQ(MAX_FIT_FL.value, 24.0f);
  gf_clampMaxFitValue(0.1f);
  EXPECT_FLOAT_EQ(MAX_FIT_FL.value, 0.5f);
  MAX_FIT_FL.value = MAX_FIT_FL.defaultValue;
}

}  // namespace
