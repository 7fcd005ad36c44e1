#include "app/painting.h"

#include <fmt/format.h>

#include <exception>
#include <initializer_list>
#include <optional>
#include <tuple>
#include <utility>

#include "appbase/gui.h"
#include "app/parking_controls.h"
#include "app/window_seams.h"
#include "app/worker_seams.h"
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/program.h"
#include "core/text.h"
#include "feed/rt_api_session.h"
#include "platform/canvas.h"
#include "simlink/sim_client.h"

namespace {

constexpr double kInHgPerHpa = 0.029528744564459433;

ui::Rect lf_rect(int left, int top, int right, int bottom) { return ui::Rect{left, top, right - left, bottom - top}; }

void lf_line(ui::Canvas& dc, int x1, int y1, int x2, int y2, ui::Color colour) {
  dc.polyline({ui::Point{x1, y1}, ui::Point{x2, y2}}, colour, 1);
}

bool lf_simUp() {
  const std::uint8_t state = g_simState.load();
  return state == 1 || state == 2;
}

// Counts of the header: green once something was found, yellow while nothing was.
ui::Color lf_countColour(const Gui& g, std::uint64_t count) { return count > 0 ? g.brightGreen : g.yellow; }

// A reader's label: hidden while the reader is not running (2), yellow while it waits (1).
void lf_readerLabel(Gui& g, ui::Canvas& dc, int x, int y, std::string_view text, std::uint32_t state) {
  if (state == 2) return;
  g.drawText(dc, x, y, text, state == 1 ? g.yellow : g.brightGreen, false);
}

}  // namespace

void gf_paintMainWindow(ui::Hwnd hwnd) {
  ui::Canvas& target = ui::beginPaint(hwnd);
  try {
    g_gui.paint(hwnd, target);
  } catch (const std::exception& e) {
    gf_logNoexcept(fmt::format("Gui::paint exception: {}", e.what()));
  }
  ui::endPaint(hwnd);
}

void Gui::drawText(ui::Canvas& dc, int x, int y, std::string_view utf8, ui::Color colour, bool bold) {
  try {
    (void)utf8_to_wide(utf8);  // the text must be valid UTF-8 to reach the screen
  } catch (const std::exception& e) {
    gf_logNoexcept(fmt::format("TextOut utf8 to wide failed for '{}': {}", utf8, e.what()));
    return;
  }
  const ui::FontHandle& font = bold ? boldFont : normalFont;
  // Without a painting font the layer's default font stands in, as the system font would.
  dc.text(x, y - 3, utf8, font ? *font : ui::Font{}, colour);
}

void Gui::paint(ui::Hwnd hwnd, ui::Canvas& target) {
  const ui::Rect client = ui::clientRect(hwnd);
  const int width = client.width > 0 ? client.width : target.width();
  const int height = client.height > 0 ? client.height : target.height();
  const int logicalHeight = clientHeightUnits();
  const bool parkingShown = !compact || !parkAirportCode.empty();

  ui::Canvas dc(width, height);
  dc.setMapping(CLIENT_WIDTH, logicalHeight);

  // Bands.
  dc.fillRect(lf_rect(0, 0, 900, 32), black);
  dc.fillRect(lf_rect(0, 32, 900, 96), black);
  if (!compact) dc.fillRect(lf_rect(0, 96, 900, 640), lightBlue);
  const int parkingTop = compact ? 96 : 640;
  if (parkingShown) dc.fillRect(lf_rect(0, parkingTop, 900, parkingTop + 96), black);
  const int statusTop = !compact ? 736 : (parkingShown ? 192 : 96);
  dc.fillRect(lf_rect(0, statusTop, 900, statusTop + 32), darkGreen);
  lf_line(dc, 0, 32, 900, 32, white);
  if (!compact) {
    lf_line(dc, 0, 97, 900, 97, white);
    lf_line(dc, 0, 200, 900, 200, black);
    lf_line(dc, 0, 336, 900, 336, black);
    lf_line(dc, 0, 504, 647, 504, black);
    lf_line(dc, 647, 464, 900, 464, black);
    lf_line(dc, 647, 96, 647, 504, black);
  }

  // Title strip.
  drawText(dc, 3, 7, fmt::format("Version {}", g_programVersionText), brightGreen, false);
  drawText(dc, 415, 7, g_programName, brightGreen, false);

  // The layout button; the window procedure's click test reads its place in device pixels.
  const int d = static_cast<int>(dpi);
  const int left = ui::mulDiv(765, d, 96), top = ui::mulDiv(4, d, 96);
  layoutButton = ui::Rect{left, top, ui::mulDiv(855, d, 96) - left, ui::mulDiv(30, d, 96) - top};
  dc.frameRect(lf_rect(765, 4, 855, 30), white);
  drawText(dc, 773, 6, compact ? "Expand" : "Compact", brightGreen, false);

  paintHeader(dc);

  if (g_feedConnected && weatherReaderState < 2 && qnhHpa != 0) {
    const std::string qnh =
        qnhInHg ? fmt::format("{:.2F} inHg", qnhHpa * kInHgPerHpa) : fmt::format("{} hPa", qnhHpa);
    drawText(dc, 548, 71, qnh, brightGreen, false);
  }
  if (g_feedConnected && trafficReaderState < 2)
    drawText(dc, 785, 71, fmt::format("{:3}", liveAircraftCount), brightGreen, false);

  if (!compact) paintPanel(dc);
  if (parkingShown) paintParkingBand(dc);

  // Status band: an error holds it, red, until cleared.
  if (!errorLine.empty()) {
    dc.fillRect(lf_rect(0, statusTop, 900, statusTop + 32), red);
    drawText(dc, 3, statusTop + 7, errorLine, white, false);
  } else {
    dc.fillRect(lf_rect(0, statusTop, 900, statusTop + 32), darkGreen);
    if (!statusLine.empty()) drawText(dc, 3, statusTop + 7, statusLine, white, false);
  }
  if (compact) lf_line(dc, 0, 96, 900, 96, white);

  target.drawCanvas(dc);
}

void Gui::paintHeader(ui::Canvas& dc) {
  // Simulator half.
  const bool simUp = lf_simUp();
  ui::Color simBox = red, simText = red;
  if (simUp && simConnected) {
    simBox = darkGreen;
    simText = brightGreen;
  } else if (simUp) {
    simBox = simText = yellow;
  }
  dc.box(lf_rect(403, 34, 436, 96), simBox, simBox);
  if (simUp) {
    drawText(dc, 5, 39, simulatorText, simText, false);
    drawText(dc, 222, 39, fmt::format("user stand: {}", userStand), simText, false);
  } else {
    drawText(dc, 5, 39, "MSFS", brightGreen, false);
  }
  drawText(dc, 5, 71, simaddonCount == 0 ? "# simaddon: ..." : fmt::format("# simaddon: {}", simaddonCount),
           lf_countColour(*this, simaddonCount), false);
  drawText(dc, 167, 71, thirdpartyCount == 0 ? "# thirdp: ..." : fmt::format("# thirdp: {}", thirdpartyCount),
           lf_countColour(*this, thirdpartyCount), false);
  drawText(dc, 276, 71, liveryCount == 0 ? "# liveries: ..." : fmt::format("# livs: {}", liveryCount),
           lf_countColour(*this, liveryCount), false);

  // RealTraffic half.
  const bool connected = g_feedConnected;
  ui::Color feedBox = red;
  if (feedNotStarted)
    feedBox = black;
  else if (connected)
    feedBox = trafficReaderState == 0 ? darkGreen : yellow;
  dc.box(lf_rect(435, 34, 468, 96), feedBox, feedBox);
  if (connected) {
    drawText(dc, 494, 39, rtLicenseText, brightGreen, false);
    lf_readerLabel(*this, dc, 494, 71, "qnh:", weatherReaderState);
    lf_readerLabel(*this, dc, 657, 71, "# live aircraft:", trafficReaderState);
  }
  lf_line(dc, 435, 33, 435, 96, black);
}

void Gui::paintPanel(ui::Canvas& dc) {
  const std::shared_ptr<const ParameterSnapshot> snapshot = g_parameterSnapshot.load();
  const ParameterSnapshot& s = *snapshot;
  auto label = [&](const GuiControl& control, std::string_view text, ui::Color colour, bool bold = false) {
    drawText(dc, control.labelX, control.y, text, colour, bold);
  };
  auto atHeightOf = [&](const GuiControl& control, std::string_view text) {
    drawText(dc, 5, control.y, text, black, false);
  };
  auto blackWhen = [&](bool on) { return on ? black : yellow; };

  // MISC
  drawText(dc, 657, 207, "MISC", black, true);
  label(RANDOM, "Random", blackWhen(s.random));
  label(ALWAYS_ON_TOP, "Stay on top", black);
  label(FLIGHT_MESSAGES, "Flight messages", black);
  label(OBJECTID_LIST, "Objectids", s.objectIdList ? yellow : black);
  label(NAV_LIGHTS_WHILE_PARKED, "Nav lights", black);
  label(GUID_CHANGES, "GUID changes", gf_isMsfs2020() ? blackWhen(s.guidChanges) : grey);

  // TIME SHIFT
  const bool editable = timeShiftEditable;
  if (editable)
    drawText(dc, 657, 343, "TIME SHIFT", black, true);
  else
    drawText(dc, 657, 343, "TIME SHIFT", grey, false);
  label(KEEP_SIM_TIME_PAR, "Keep", editable ? black : grey);
  label(SIM_TIME, "Sim Time", editable ? black : grey);
  label(AEROWINX, "Aerowinx", gf_isRtDirect() ? grey : (AEROWINX.value ? yellow : black));
  for (auto [option, text, value] : {std::tuple{&TIME_SHIFT_DAYS, "day", s.timeShiftDays},
                                     std::tuple{&TIME_SHIFT_HOURS, "hour", s.timeShiftHours},
                                     std::tuple{&TIME_SHIFT_MINS, "min", s.timeShiftMins}})
    label(*option, text, !editable ? grey : (value >= 1 ? yellow : black));

  // DATA SOURCES
  drawText(dc, 5, 103, "DATA SOURCES", black, true);
  atHeightOf(SKIP_AIRPORT_SCAN, "airports:");
  label(SKIP_AIRPORT_SCAN, "skip scan", black);
  atHeightOf(SKIP_LIVERIES_SCAN, "liveries:");
  label(SKIP_LIVERIES_SCAN, "skip scan", black);
  label(LIG_PRIORITIZE, "priority", black);
  label(LIG_AUTOMATIC, "automatic", black);
  drawText(dc, 657, 103, "CONFIGURATION", black, true);

  // COLLISION AVOIDANCE
  drawText(dc, 5, 207, "COLLISION AVOIDANCE", black, true);
  label(COLLISION_USER_GND, "user ground", black);
  label(COLLISION_USER_AIR, "user air", black);

  // TRAFFIC INJECTION
  const bool bothZero = s.maxLiveSel == 0 && s.maxParkSel == 0;
  drawText(dc, 5, 343, "TRAFFIC INJECTION", black, true);
  atHeightOf(RANGE, "radius:");
  label(RANGE, "nm", black);
  label(AUTO_RANGE, "auto radius", black);
  label(MAX_LIVE_SEL, "max live", bothZero ? red : (s.maxLiveSel == 0 ? yellow : black));
  atHeightOf(MAX_HOLDING_MINUTES, "taxiing:");
  label(HOLDING_THRESHOLD_METERS, "max holding mtrs", black);
  label(MAX_HOLDING_MINUTES, "max holding minutes", black);
  label(MATCHING_DEPTH, "depth:", black);
  label(TCAS_FL, "with extra TCAS coverage above this FL", black);
  atHeightOf(LIGHT_AIRCRAFT, "include:");
  for (auto [option, text] : {std::pair{&TWO_PROPS, "two props"}, std::pair{&LIGHT_AIRCRAFT, "light aircraft"},
                              std::pair{&HELICOPTERS, "helicopters"}, std::pair{&HIGH_PERF_AIRCRAFT, "fighter jets"}})
    label(*option, text, ui::isWindow(option->window) && !ui::isWindowEnabled(option->window) ? grey : black);

  // PARKING
  const bool parkedOnly = s.rtParkTrafficOnly;
  drawText(dc, 5, 511, "PARKING", black, true);
  label(PARKING_INTERVAL_MINUTES, "update interval (min)", black, true);
  label(RT_PARKTRAFFIC_ONLY, "RT parked only", black);
  label(MAX_FIT_FL, "max fit hrs", s.autoPark && !parkedOnly ? grey : black);
  label(MAX_PARK_SEL, "max park", bothZero ? red : (s.maxParkSel == 0 ? yellow : black));
  label(DESTINATION, "destination", black);
  label(STAND_SELECTOR, "reserved stand", black);
  label(AIRP_RANGE, "range nm", black);
  label(AIRP_HEIGHT, "below height", black);
  label(parking_percentage, "target % ", parkedOnly ? grey : black);
  label(AUTO_PARK, "auto park", parkedOnly ? grey : black);
  label(WEEK, "week", parkedOnly || s.autoPark ? grey : black);
  label(PARK_SOFT, "soft", parkedOnly || s.autoPark ? grey : black);
}

void Gui::paintParkingBand(ui::Canvas& dc) {
  const int row1 = compact ? 103 : 647, row2 = row1 + 32, row3 = row1 + 64;
  if (parkAirportCode.empty()) {
    if (lf_simUp()) drawText(dc, 5, row1, "No airport within reach", brightGreen, false);
    return;
  }
  drawText(dc, 5, row1, fmt::format("airport: {}", parkAirportCode.text()),
           parkAirportHasStands ? brightGreen : yellow, false);
  if (!parkAirportHasStands) return;

  drawText(dc, 167, row1,
           fmt::format(" {}   publisher: {}{},  week: {}", parkAirportName, airportFileLabel,
                       airportFileHandmade ? " (h)" : "", gf_parkingWeekNumber()),
           brightGreen, false);
  if (!userWingspanKnown) drawText(dc, 657, row1, "wingspan user ac unknown?", yellow, false);

  const bool standsLoaded = gf_parkAirportStandsLoaded();
  if (g_parkingGenerating) {
    drawText(dc, 5, row2, "generating parking ...", yellow, false);
  } else if (standsLoaded && nextParkingUpdateMinutes >= 1 && nextParkingUpdateMinutes <= 1440) {
    drawText(dc, 5, row2, "next update (min):", brightGreen, false);
    drawText(dc, 167, row2, fmt::format("{}", nextParkingUpdateMinutes), brightGreen, false);
  }
  drawText(dc, 440, row2, fmt::format("qf: {}", qualityText), brightGreen, false);
  if (standsLoaded) {
    const AirportRef parkAirport = gf_parkAirport();  // under the park-airport lock
    if (const std::optional<std::string> stand = gf_getUserStandOf(parkAirport.code))
      drawText(dc, 548, row2, fmt::format("reserved stand: {}", *stand), brightGreen, false);
  }
  drawText(dc, 765, row2, fmt::format("# updates: {:4}", parkingUpdateCount), brightGreen, false);

  drawText(dc, 5, row3, fmt::format("# stands: {:3}", standCount), brightGreen, false);
  drawText(dc, 167, row3, fmt::format("park live: {:3}", parkedLiveCount), brightGreen, false);
  if (liveFit > 0) drawText(dc, 276, row3, fmt::format("live fit: {}", gf_floatText(liveFit)), brightGreen, false);
  if (staticTargetCount < 1) return;
  drawText(dc, 440, row3, fmt::format("static: {:3}", parkedStaticCount), brightGreen, false);
  if (searchHitCount != 0) drawText(dc, 505, row3, fmt::format(" ({})", searchHitCount), yellow, false);
  if (!staticFitHidden && staticFit > 0)
    drawText(dc, 548, row3, fmt::format("static fit: {}", gf_floatText(staticFit)), brightGreen, false);
  drawText(dc, 657, row3, fmt::format("max park: {:3} (={} %)", staticTargetCount, staticTargetPercent), brightGreen,
           false);
}
