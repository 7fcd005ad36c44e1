#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/parking_controls.h"
#include "app/worker_seams.h"
#include "parking/park_airports.h"
#include "feed/rt_api_session.h"
#include "platform/canvas.h"
#include "simlink/sim_client.h"
#include "tests/app/window_fixture.h"
#include "traffic/engine_state.h"

namespace {
using namespace window_test;
namespace fs = std::filesystem;
using Kind = ui::Primitive::Kind;

const ui::Color kBlack = ui::rgb(0, 0, 0);
const ui::Color kWhite = ui::rgb(255, 255, 255);
const ui::Color kRed = ui::rgb(255, 0, 0);
const ui::Color kYellow = ui::rgb(255, 255, 0);
const ui::Color kGrey = ui::rgb(160, 160, 160);
const ui::Color kBrightGreen = ui::rgb(50, 210, 50);
const ui::Color kDarkGreen = ui::rgb(25, 150, 25);
const ui::Color kLightBlue = ui::rgb(153, 204, 255);

ui::Rect band(int left, int top, int right, int bottom) { return ui::Rect{left, top, right - left, bottom - top}; }

class PaintingTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    gf_resetParkingControlsForTest();
    reset();
  }
  void TearDown() override {
    WindowTest::TearDown();
    reset();
  }
  static void reset() {
    g_simState = 0;
    g_feedConnected = false;
    gf_setParkingNeighboursForTest({});
    gf_resetParkAirports();
  }

  // What one paint of the window drew, in logical units.
  std::vector<ui::Primitive> paint() {
    std::vector<ui::Primitive> drawn;
    ui::driver::runOnGuiThread([&] {
      const ui::Rect client = ui::clientRect(window_);
      ui::Canvas canvas(client.width, client.height);
      ui::paintWindow(window_, canvas);
      drawn = canvas.record();
    });
    return drawn;
  }

  void onGui(const std::function<void()>& fn) { ui::driver::runOnGuiThread(fn); }

  // The PNGs go to JORV_TEST_PNG_DIR when set (to look at them), else into the test's folder.
  void renderPng(const std::string& name) {
    const char* dir = std::getenv("JORV_TEST_PNG_DIR");
    const fs::path file = (dir ? fs::path(dir) : root_.path()) / name;
    bool written = false;
    onGui([&] { written = ui::driver::renderPng(window_, file); });
    EXPECT_TRUE(written) << file;
    EXPECT_GT(fs::file_size(file), 1000u);
  }
};

std::optional<ui::Primitive> textOf(const std::vector<ui::Primitive>& drawn, std::string_view text) {
  for (const auto& p : drawn)
    if (p.kind == Kind::Text && p.text == text) return p;
  return std::nullopt;
}

bool hasFill(const std::vector<ui::Primitive>& drawn, ui::Rect rect, ui::Color colour) {
  for (const auto& p : drawn)
    if (p.kind == Kind::Fill && p.rect == rect && p.color == colour) return true;
  return false;
}

// The colour of the last fill of exactly this band (later fills paint over earlier ones).
std::optional<ui::Color> lastFill(const std::vector<ui::Primitive>& drawn, ui::Rect rect) {
  std::optional<ui::Color> colour;
  for (const auto& p : drawn)
    if (p.kind == Kind::Fill && p.rect == rect) colour = p.color;
  return colour;
}

std::optional<ui::Color> boxAt(const std::vector<ui::Primitive>& drawn, ui::Rect rect) {
  for (const auto& p : drawn)
    if (p.kind == Kind::Box && p.rect == rect) return p.interior;
  return std::nullopt;
}

#define EXPECT_TEXT(drawn, text, x, y, colour)                                   \
  do {                                                                           \
    const auto found = textOf(drawn, text);                                      \
    ASSERT_TRUE(found) << "missing '" << (text) << "'";                          \
    EXPECT_EQ(found->points[0], (ui::Point{x, (y)-3})) << "'" << (text) << "'";  \
    EXPECT_EQ(found->color, colour) << "colour of '" << (text) << "'";           \
  } while (0)

TEST_F(PaintingTest, TheExpandedLayoutPaintsEveryBandAndTheSeparators) {
  ASSERT_TRUE(startGui());
  const auto drawn = paint();
  EXPECT_TRUE(hasFill(drawn, band(0, 0, 900, 32), kBlack));
  EXPECT_TRUE(hasFill(drawn, band(0, 32, 900, 96), kBlack));
  EXPECT_TRUE(hasFill(drawn, band(0, 96, 900, 640), kLightBlue));
  EXPECT_TRUE(hasFill(drawn, band(0, 640, 900, 736), kBlack));
  EXPECT_EQ(lastFill(drawn, band(0, 736, 900, 768)), kDarkGreen);
  std::vector<std::vector<ui::Point>> blackLines, whiteLines;
  for (const auto& p : drawn)
    if (p.kind == Kind::Line) (p.color == kBlack ? blackLines : whiteLines).push_back(p.points);
  using L = std::vector<ui::Point>;
  for (const L& line : {L{{0, 200}, {900, 200}}, L{{0, 336}, {900, 336}}, L{{0, 504}, {647, 504}},
                        L{{647, 464}, {900, 464}}, L{{647, 96}, {647, 504}}, L{{435, 33}, {435, 96}}})
    EXPECT_NE(std::find(blackLines.begin(), blackLines.end(), line), blackLines.end()) << line[0].x << "," << line[0].y;
  EXPECT_EQ(whiteLines, (std::vector<L>{L{{0, 32}, {900, 32}}, L{{0, 97}, {900, 97}}}));
  EXPECT_TEXT(drawn, "Version 16.8.2", 3, 7, kBrightGreen);
  EXPECT_TEXT(drawn, "JORV", 415, 7, kBrightGreen);
  EXPECT_TEXT(drawn, "Compact", 773, 6, kBrightGreen);
  EXPECT_TEXT(drawn, "MSFS", 5, 39, kBrightGreen);
  EXPECT_TEXT(drawn, "DATA SOURCES", 5, 103, kBlack);
  EXPECT_TRUE(textOf(drawn, "DATA SOURCES")->font.weight >= 700);
  // A label sits at its option's label place; one at x 5 takes the option's height.
  EXPECT_TEXT(drawn, "auto radius", AUTO_RANGE.labelX, AUTO_RANGE.y, kBlack);
  EXPECT_TEXT(drawn, "radius:", 5, RANGE.y, kBlack);
  renderPng("window_full.png");
}

TEST_F(PaintingTest, TheCompactLayoutWithoutAParkAirportIs128UnitsWithNoControlShown) {
  COLLAPSED.value = true;
  ASSERT_TRUE(startGui());
  ui::driver::sync();
  EXPECT_EQ(ui::clientRect(window_).height, 128);
  const auto drawn = paint();
  EXPECT_EQ(lastFill(drawn, band(0, 96, 900, 128)), kDarkGreen);
  EXPECT_FALSE(hasFill(drawn, band(0, 96, 900, 640), kLightBlue));
  EXPECT_FALSE(hasFill(drawn, band(0, 96, 900, 192), kBlack));
  EXPECT_TEXT(drawn, "Expand", 773, 6, kBrightGreen);
  EXPECT_FALSE(textOf(drawn, "DATA SOURCES"));
  for (ui::Hwnd control : g_optionControls) EXPECT_FALSE(ui::isWindowVisible(control));
  renderPng("window_compact.png");
}

TEST_F(PaintingTest, TheCompactLayoutWithAParkAirportShowsTheParkingBand) {
  COLLAPSED.value = true;
  ASSERT_TRUE(startGui());
  Gui::enqueueUpdate(gui::SetParkAirportCode{IcaoCode("EDDF")});
  ui::driver::sync();
  EXPECT_EQ(ui::clientRect(window_).height, 224);
  const auto drawn = paint();
  EXPECT_TRUE(hasFill(drawn, band(0, 96, 900, 192), kBlack));
  EXPECT_EQ(lastFill(drawn, band(0, 192, 900, 224)), kDarkGreen);
  EXPECT_TEXT(drawn, "airport: EDDF", 5, 103, kYellow);  // no stands yet
  renderPng("window_compact_parking.png");
}

TEST_F(PaintingTest, TheQnhIsShownInHpaOrInInHgWithTwoDecimals) {
  ASSERT_TRUE(startGui());
  g_feedConnected = true;
  onGui([] {
    g_gui.weatherReaderState = 0;
    g_gui.qnhHpa = 1013;
  });
  EXPECT_TEXT(paint(), "1013 hPa", 548, 71, kBrightGreen);
  onGui([] { g_gui.qnhInHg = true; });
  auto drawn = paint();
  EXPECT_TEXT(drawn, "29.91 inHg", 548, 71, kBrightGreen);
  EXPECT_FALSE(textOf(drawn, "1013 hPa"));
  renderPng("window_qnh_inhg.png");
  // Not while the weather reader is not running, nor without a value.
  onGui([] { g_gui.weatherReaderState = 2; });
  EXPECT_FALSE(textOf(paint(), "29.91 inHg"));
  onGui([] {
    g_gui.weatherReaderState = 0;
    g_gui.qnhHpa = 0;
  });
  EXPECT_FALSE(textOf(paint(), "0.00 inHg"));
}

TEST_F(PaintingTest, TheSimulatorLampFollowsTheLinkStateAndTheConnection) {
  ASSERT_TRUE(startGui());
  struct Case {
    std::uint8_t state;
    bool connected;
    ui::Color lamp;
  } cases[] = {{0, false, kRed}, {0, true, kRed},      {1, false, kYellow}, {1, true, kDarkGreen},
               {2, true, kDarkGreen}, {2, false, kYellow}, {3, true, kRed}};
  for (const auto& c : cases) {
    g_simState = c.state;
    onGui([&] {
      g_gui.simConnected = c.connected;
      g_gui.simulatorText = "MSFS 2024";
      g_gui.userStand = "A12";
    });
    const auto drawn = paint();
    EXPECT_EQ(boxAt(drawn, band(403, 34, 436, 96)), c.lamp) << int(c.state) << c.connected;
    renderPng("lamp_sim_state" + std::to_string(c.state) + (c.connected ? "_connected.png" : ".png"));
    if (c.state == 1 || c.state == 2) {
      const ui::Color text = c.lamp == kDarkGreen ? kBrightGreen : kYellow;
      EXPECT_TEXT(drawn, "MSFS 2024", 5, 39, text);
      EXPECT_TEXT(drawn, "user stand: A12", 222, 39, text);
    } else {
      EXPECT_TEXT(drawn, "MSFS", 5, 39, kBrightGreen);
      EXPECT_FALSE(textOf(drawn, "user stand: A12"));
    }
  }
}

TEST_F(PaintingTest, TheRealTrafficLampAndReaderLabelsFollowTheFeed) {
  ASSERT_TRUE(startGui());
  struct Case {
    bool notStarted;
    bool connected;
    std::uint32_t trafficState;
    ui::Color lamp;
  } cases[] = {{true, true, 0, kBlack},
               {false, true, 0, kDarkGreen},
               {false, true, 1, kYellow},
               {false, true, 2, kYellow},
               {false, false, 0, kRed}};
  for (const auto& c : cases) {
    g_feedConnected = c.connected;
    onGui([&] {
      g_gui.feedNotStarted = c.notStarted;
      g_gui.trafficReaderState = c.trafficState;
      g_gui.weatherReaderState = 1;
      g_gui.rtLicenseText = "RT App professional edition";
      g_gui.liveAircraftCount = 7;
    });
    const auto drawn = paint();
    const std::string name = std::to_string(c.notStarted) + std::to_string(c.connected) + std::to_string(c.trafficState);
    EXPECT_EQ(boxAt(drawn, band(435, 34, 468, 96)), c.lamp) << name;
    renderPng("lamp_feed_" + name + ".png");
    if (!c.connected) {
      EXPECT_FALSE(textOf(drawn, "qnh:")) << name;
      EXPECT_FALSE(textOf(drawn, "  7")) << name;
      continue;
    }
    EXPECT_TEXT(drawn, "RT App professional edition", 494, 39, kBrightGreen);
    EXPECT_TEXT(drawn, "qnh:", 494, 71, kYellow);
    if (c.trafficState == 2) {
      EXPECT_FALSE(textOf(drawn, "# live aircraft:")) << name;
      EXPECT_FALSE(textOf(drawn, "  7")) << name;
    } else {
      EXPECT_TEXT(drawn, "# live aircraft:", 657, 71, c.trafficState == 1 ? kYellow : kBrightGreen);
      EXPECT_TEXT(drawn, "  7", 785, 71, kBrightGreen);
    }
  }
}

TEST_F(PaintingTest, CountsOfZeroShowDotsInYellow) {
  ASSERT_TRUE(startGui());
  auto drawn = paint();
  EXPECT_TEXT(drawn, "# simaddon: ...", 5, 71, kYellow);
  EXPECT_TEXT(drawn, "# thirdp: ...", 167, 71, kYellow);
  EXPECT_TEXT(drawn, "# liveries: ...", 276, 71, kYellow);
  onGui([] {
    g_gui.simaddonCount = 3;
    g_gui.thirdpartyCount = 1;
    g_gui.liveryCount = 1234;
  });
  drawn = paint();
  EXPECT_TEXT(drawn, "# simaddon: 3", 5, 71, kBrightGreen);
  EXPECT_TEXT(drawn, "# thirdp: 1", 167, 71, kBrightGreen);
  EXPECT_TEXT(drawn, "# livs: 1234", 276, 71, kBrightGreen);
}

TEST_F(PaintingTest, AnErrorLineTurnsTheStatusBandRedAndHidesTheStatusLine) {
  ASSERT_TRUE(startGui());
  Gui::showMessage("all is well", false);
  ui::driver::sync();
  auto drawn = paint();
  EXPECT_EQ(lastFill(drawn, band(0, 736, 900, 768)), kDarkGreen);
  EXPECT_TEXT(drawn, "all is well", 3, 743, kWhite);

  onGui([] { g_gui.statusLine = "all is well"; });
  Gui::showError("SimConnect failed");
  ui::driver::sync();
  drawn = paint();
  EXPECT_EQ(lastFill(drawn, band(0, 736, 900, 768)), kRed);
  EXPECT_TEXT(drawn, "SimConnect failed", 3, 743, kWhite);
  EXPECT_FALSE(textOf(drawn, "all is well"));
  renderPng("window_error.png");

  Gui::enqueueUpdate(gui::ClearError{});
  ui::driver::sync();
  drawn = paint();
  EXPECT_EQ(lastFill(drawn, band(0, 736, 900, 768)), kDarkGreen);
  EXPECT_FALSE(textOf(drawn, "SimConnect failed"));
}

TEST_F(PaintingTest, LabelColoursFollowTheSnapshot) {
  ASSERT_TRUE(startGui());
  // Defaults: both maxima set, parked-only off, auto park on.
  auto drawn = paint();
  EXPECT_TEXT(drawn, "max live", MAX_LIVE_SEL.labelX, MAX_LIVE_SEL.y, kBlack);
  EXPECT_TEXT(drawn, "target % ", parking_percentage.labelX, parking_percentage.y, kBlack);
  EXPECT_TEXT(drawn, "week", WEEK.labelX, WEEK.y, kGrey);  // AUTO_PARK on
  EXPECT_TEXT(drawn, "max fit hrs", MAX_FIT_FL.labelX, MAX_FIT_FL.y, kGrey);

  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.maxLiveSel = 0; });
  drawn = paint();
  EXPECT_TEXT(drawn, "max live", MAX_LIVE_SEL.labelX, MAX_LIVE_SEL.y, kYellow);
  EXPECT_TEXT(drawn, "max park", MAX_PARK_SEL.labelX, MAX_PARK_SEL.y, kBlack);

  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.maxParkSel = 0; });
  drawn = paint();
  EXPECT_TEXT(drawn, "max live", MAX_LIVE_SEL.labelX, MAX_LIVE_SEL.y, kRed);
  EXPECT_TEXT(drawn, "max park", MAX_PARK_SEL.labelX, MAX_PARK_SEL.y, kRed);

  gf_changeParameterSnapshot([](ParameterSnapshot& s) {
    s.rtParkTrafficOnly = true;
    s.autoPark = false;
    s.timeShiftHours = 2;
  });
  drawn = paint();
  for (const auto* text : {"target % ", "auto park", "week", "soft"}) EXPECT_EQ(textOf(drawn, text)->color, kGrey) << text;
  EXPECT_TEXT(drawn, "max fit hrs", MAX_FIT_FL.labelX, MAX_FIT_FL.y, kBlack);
  EXPECT_TEXT(drawn, "hour", TIME_SHIFT_HOURS.labelX, TIME_SHIFT_HOURS.y, kYellow);
  EXPECT_TEXT(drawn, "day", TIME_SHIFT_DAYS.labelX, TIME_SHIFT_DAYS.y, kBlack);
  renderPng("window_label_colours.png");

  // A locked time shift greys its section, values or not.
  Gui::enqueueUpdate(gui::LockTimeShift{});
  ui::driver::sync();
  drawn = paint();
  EXPECT_TEXT(drawn, "TIME SHIFT", 657, 343, kGrey);
  EXPECT_LT(textOf(drawn, "TIME SHIFT")->font.weight, 700);
  EXPECT_EQ(textOf(drawn, "hour")->color, kGrey);
}

TEST_F(PaintingTest, ALabelThatIsNotUtf8IsSkippedAndLoggedAndTheRestIsPainted) {
  ASSERT_TRUE(startGui());
  g_simState = 2;
  onGui([] {
    g_gui.simulatorText = "MSFS \xff\xfe";
    g_gui.statusLine = "still here";
  });
  const auto drawn = paint();
  EXPECT_FALSE(textOf(drawn, "MSFS \xff\xfe"));
  EXPECT_TRUE(textOf(drawn, "still here"));
  EXPECT_NE(log().find("TextOut utf8 to wide failed for 'MSFS "), std::string::npos);
}

TEST_F(PaintingTest, TheLayoutButtonIsKeptInDevicePixelsAndAClickOnItTogglesTheLayout) {
  ASSERT_TRUE(startGui([] { ui::setSystemDpiForTest(144); }));
  paint();
  ui::Rect button;
  onGui([&] { button = g_gui.layoutButton; });
  EXPECT_EQ(button, (ui::Rect{1148, 6, 1283 - 1148, 45 - 6}));  // (765,4)-(855,30) at 150 %
  ui::driver::runOnGuiThread(
      [&] { ui::sendMessage(window_, ui::WM_LBUTTONDOWN, 0, ui::makeLParam(button.x + 1, button.y + 1)); });
  ui::driver::sync();
  bool compact = false;
  onGui([&] { compact = g_gui.compact; });
  EXPECT_TRUE(compact);
  EXPECT_EQ(lastSaved("COLLAPSED"), "true");
  // Just outside the button: nothing.
  ui::driver::runOnGuiThread(
      [&] { ui::sendMessage(window_, ui::WM_LBUTTONDOWN, 0, ui::makeLParam(button.x - 1, button.y + 1)); });
  onGui([&] { compact = g_gui.compact; });
  EXPECT_TRUE(compact);
}

TEST_F(PaintingTest, TheParkingBandShowsTheParkAirportAndItsCounts) {
  ASSERT_TRUE(startGui());
  auto drawn = paint();
  EXPECT_FALSE(textOf(drawn, "No airport within reach"));
  g_simState = 1;
  EXPECT_TEXT(paint(), "No airport within reach", 5, 647, kBrightGreen);

  ParkingNeighbours fakes;
  fakes.standsLoaded = [] { return true; };
  fakes.weekNumber = [] { return 49; };
  gf_setParkingNeighboursForTest(fakes);
  gf_moveParkAirportToFrontWithStand(IcaoCode("EDDF"), {50.03, 8.57}, "V155");
  gf_setParkAirport(AirportRef{IcaoCode("EDDF"), {50.03, 8.57}, 364});
  Gui::enqueueUpdate(gui::SetParkAirportCode{IcaoCode("EDDF")});
  Gui::setParkAirport(true, "Frankfurt");
  Gui::setAirportFileLabel("stock", true);
  Gui::enqueueUpdate(gui::SetNextParkingUpdate{12});
  Gui::enqueueUpdate(gui::SetStandCount{321});
  Gui::enqueueUpdate(gui::SetParkedCounts{4, 55});
  Gui::enqueueUpdate(gui::SetLiveFit{2.5f});
  Gui::enqueueUpdate(gui::SetStaticTarget{60, 30});
  Gui::enqueueUpdate(gui::SetSearchHitCount{3});
  Gui::enqueueUpdate(gui::SetStaticFit{3.0f});
  Gui::enqueueUpdate(gui::SetUserWingspanKnown{false});
  ui::driver::sync();
  drawn = paint();
  EXPECT_TEXT(drawn, "airport: EDDF", 5, 647, kBrightGreen);
  EXPECT_TEXT(drawn, " Frankfurt   publisher: stock (h),  week: 49", 167, 647, kBrightGreen);
  EXPECT_TEXT(drawn, "wingspan user ac unknown?", 657, 647, kYellow);
  EXPECT_TEXT(drawn, "next update (min):", 5, 679, kBrightGreen);
  EXPECT_TEXT(drawn, "12", 167, 679, kBrightGreen);
  EXPECT_TEXT(drawn, "reserved stand: V155", 548, 679, kBrightGreen);
  EXPECT_TEXT(drawn, "# updates:    0", 765, 679, kBrightGreen);
  EXPECT_TEXT(drawn, "# stands: 321", 5, 711, kBrightGreen);
  EXPECT_TEXT(drawn, "park live:   4", 167, 711, kBrightGreen);
  EXPECT_TEXT(drawn, "live fit: 2.5", 276, 711, kBrightGreen);
  EXPECT_TEXT(drawn, "static:  55", 440, 711, kBrightGreen);
  EXPECT_TEXT(drawn, " (3)", 505, 711, kYellow);
  EXPECT_TEXT(drawn, "static fit: 3", 548, 711, kBrightGreen);
  EXPECT_TEXT(drawn, "max park:  60 (=30 %)", 657, 711, kBrightGreen);
  renderPng("window_parking.png");

  // While parking is generated the countdown gives way.
  g_parkingGenerating = true;
  drawn = paint();
  EXPECT_TEXT(drawn, "generating parking ...", 5, 679, kYellow);
  EXPECT_FALSE(textOf(drawn, "next update (min):"));
  g_parkingGenerating = false;
}

// The counts come from the engine's tables through the worker's seam, as the main loop posts them.
TEST_F(PaintingTest, TheParkingBandShowsTheCountsOfTheAircraftPlaced) {
  ASSERT_TRUE(startGui());
  gf_resetEngineTables();
  g_liveAcs.reserve(4);
  for (const std::uint32_t state : {FlightPhase::parked, FlightPhase::taxi, FlightPhase::flying})
    g_liveAcs.emplace_back(StreamPoint{}, AcIdentity{}, 0.0).state = state;
  for (LiveAc& aircraft : g_liveAcs) aircraft.simState = SimStatus::active;
  for (int i = 0; i < 9; ++i) g_staticAcs.emplace_back().simState = SimStatus::active;
  g_staticAcs.emplace_back().simState = SimStatus::adding2sim;  // not placed yet
  ParkingNeighbours fakes;
  fakes.standsLoaded = [] { return true; };
  gf_setParkingNeighboursForTest(fakes);
  gf_setParkAirport(AirportRef{IcaoCode("LSZH"), {47.46, 8.55}, 1417});
  Gui::enqueueUpdate(gui::SetParkAirportCode{IcaoCode("LSZH")});
  Gui::setParkAirport(true, "Zurich");
  Gui::enqueueUpdate(gui::SetStaticTarget{10, 25});
  g_feedConnected = true;
  Gui::enqueueUpdate(gui::SetTrafficReaderState{0});
  gf_programWorkerSeams().postAircraftCounts();
  ui::driver::sync();
  const auto drawn = paint();
  gf_resetEngineTables();
  EXPECT_TRUE(textOf(drawn, "park live:   1"));
  EXPECT_TRUE(textOf(drawn, "static:   9"));
  EXPECT_TEXT(drawn, "  2", 785, 71, kBrightGreen);  // in the simulator and not parked
}

}  // namespace
