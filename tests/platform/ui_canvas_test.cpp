#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/canvas.h"
#include "platform/ui.h"
#include "platform/ui_driver.h"

namespace {
using namespace ui;

TEST(Canvas, DrawsWhatItRecordsInDevicePixels) {
  Canvas canvas(20, 10);
  canvas.fillRect(Rect{0, 0, 20, 10}, rgb(153, 204, 255));
  canvas.box(Rect{2, 2, 6, 6}, rgb(96, 96, 96), rgb(255, 255, 255));
  canvas.frameRect(Rect{10, 0, 10, 10}, rgb(255, 0, 0));
  EXPECT_EQ(canvas.pixel(0, 0), rgb(153, 204, 255));
  EXPECT_EQ(canvas.pixel(2, 2), rgb(96, 96, 96));   // the box's frame
  EXPECT_EQ(canvas.pixel(4, 4), rgb(255, 255, 255));  // its interior
  EXPECT_EQ(canvas.pixel(10, 5), rgb(255, 0, 0));     // the frame runs inside the rectangle
  EXPECT_EQ(canvas.pixel(15, 5), rgb(153, 204, 255));
  ASSERT_EQ(canvas.record().size(), 3u);
  EXPECT_EQ(canvas.record()[1].kind, Primitive::Kind::Box);
  EXPECT_EQ(canvas.pixel(-1, 0), rgb(255, 255, 255));
}

TEST(Canvas, LogicalUnitsStretchOverThePixels) {
  Canvas canvas(1350, 192);
  canvas.setMapping(900, 128);
  canvas.fillRect(Rect{0, 96, 900, 32}, rgb(25, 150, 25));  // the compact status band
  EXPECT_EQ(canvas.pixel(1349, 150), rgb(25, 150, 25));
  EXPECT_EQ(canvas.pixel(700, 140), rgb(255, 255, 255));
  EXPECT_EQ(canvas.record()[0].rect, (Rect{0, 96, 900, 32}));  // recorded as drawn
}

TEST(Canvas, TextAndPngFile) {
  Canvas canvas(120, 30);
  canvas.text(3, 4, "Version 16.8.2", Font{"Segoe UI", -16, 700}, rgb(50, 210, 50));
  ASSERT_EQ(canvas.record().size(), 1u);
  EXPECT_EQ(canvas.record()[0].text, "Version 16.8.2");
  EXPECT_EQ(canvas.record()[0].font.weight, 700);
  auto file = std::filesystem::temp_directory_path() / "jorv-canvas-test.png";
  ASSERT_TRUE(canvas.writePng(file));
  std::ifstream in(file, std::ios::binary);
  char magic[4] = {};
  in.read(magic, 4);
  EXPECT_EQ(std::string(magic + 1, 3), "PNG");
  EXPECT_FALSE(std::filesystem::exists(file.string() + ".tmp"));
  std::filesystem::remove(file);
  EXPECT_FALSE(canvas.writePng("/no/such/folder/x.png"));
}

TEST(Dpi, MulDivRoundsHalfAwayFromZero) {
  EXPECT_EQ(mulDiv(113, 144, 96), 170);  // 169.5
  EXPECT_EQ(mulDiv(-113, 144, 96), -170);
  EXPECT_EQ(mulDiv(12, 144, 72), 24);
  EXPECT_EQ(mulDiv(5, 1, 0), -1);
}

class UiDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetForTest();
    registerClass(WindowClass{"Plain", defWindowProc});
  }
  void TearDown() override {
    resetForTest();
    ::unsetenv("JORV_DPI");
  }
};

TEST_F(UiDesktopTest, SystemDpiComesFromTheTestTheEnvironmentOr96) {
  EXPECT_EQ(getDpiForSystem(), 96u);
  ::setenv("JORV_DPI", "120", 1);
  EXPECT_EQ(getDpiForSystem(), 120u);
  ::setenv("JORV_DPI", "12x", 1);
  EXPECT_EQ(getDpiForSystem(), 96u);
  setSystemDpiForTest(144);
  EXPECT_EQ(getDpiForSystem(), 144u);
  EXPECT_EQ(monitorFromRect(Rect{}).dpi, 144u);  // the default monitor follows the system
}

TEST_F(UiDesktopTest, TheNearestMonitorDecidesAWindowsDpiAndWorkArea) {
  setMonitorsForTest({Monitor{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96},
                      Monitor{{1920, 0, 2560, 1440}, {1920, 0, 2560, 1400}, 144}});
  EXPECT_EQ(monitorFromRect(Rect{1800, 0, 400, 300}).dpi, 144u);  // more of it on the second
  EXPECT_EQ(monitorFromRect(Rect{-5000, 0, 10, 10}).workArea, (Rect{0, 0, 1920, 1040}));
  EXPECT_EQ(monitorFromRect(Rect{9000, 100, 10, 10}).dpi, 144u);
  Hwnd window = createWindow("Plain", "t", Rect{2000, 10, 500, 400});
  Hwnd child = createControl(window, ControlKind::Button, 1, "b", Rect{0, 0, 10, 10});
  EXPECT_EQ(getDpiForWindow(window), 144u);
  EXPECT_EQ(getDpiForWindow(child), 144u);
  // The frame scales with the DPI: 5 pixels of border, 39 of caption at 144.
  EXPECT_EQ(adjustWindowRectForDpi(1350, 1152, 144), (Rect{0, 0, 1360, 1196}));
  EXPECT_EQ(clientRect(window), (Rect{0, 0, 490, 356}));
  EXPECT_EQ(childWindows(window), std::vector<Hwnd>{child});
}

TEST_F(UiDesktopTest, WindowPositionsZOrderAndPlacement) {
  Hwnd window = createWindow("Plain", "t", Rect{100, 100, 300, 200});
  setWindowPos(window, ZOrder::topmost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_TRUE(isTopmost(window));
  EXPECT_EQ(windowRect(window), (Rect{100, 100, 300, 200}));
  setWindowPos(window, ZOrder::notopmost, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_TRUE(isTopmost(window));  // SWP_NOZORDER keeps it
  EXPECT_EQ(windowRect(window), (Rect{50, 60, 300, 200}));

  setShowState(window, SW_SHOWMINIMIZED);
  auto placement = getWindowPlacement(window);
  ASSERT_TRUE(placement);
  EXPECT_EQ(placement->showCmd, SW_SHOWMINIMIZED);
  EXPECT_EQ(placement->normalPosition, (Rect{50, 60, 300, 200}));
  EXPECT_NE(windowRect(window).x, 50);
  setShowState(window, SW_SHOWNORMAL);
  EXPECT_EQ(windowRect(window), (Rect{50, 60, 300, 200}));
}

TEST_F(UiDesktopTest, DialogsAreAnsweredFromTheScript) {
  driver::answerMessageBoxes({IDNO});
  EXPECT_EQ(messageBox(Hwnd::null, "Install?", "JORV", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(messageBox(Hwnd::null, "Again?", "JORV", MB_YESNO), IDYES);  // unscripted: first button
  EXPECT_EQ(messageBox(Hwnd::null, "Done", "JORV", MB_OK), IDOK);
  auto shown = driver::messageBoxesShown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "Install?");
  EXPECT_EQ(shown[0].answer, IDNO);
}

TEST_F(UiDesktopTest, FontsAreDescriptorsAndTheirCreationCanFail) {
  Hwnd window = createWindow("Plain", "t", Rect{0, 0, 300, 200});
  FontHandle font = createFont(Font{"Segoe UI", -16, 400});
  ASSERT_TRUE(font);
  setWindowFont(window, font, true);
  EXPECT_EQ(windowFont(window), font);
  EXPECT_EQ(takeInvalidations(window).size(), 1u);
  setFontCreationFailsForTest(true);
  EXPECT_FALSE(createFont(Font{"Segoe UI", -16, 400}));
}

}  // namespace
