#include "appbase/gui.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>

#include "appbase/messages.h"
#include "config/keys.h"
#include "core/log.h"
#include "core/user_message.h"

Gui g_gui;
std::vector<ui::Hwnd> g_optionControls;
std::atomic<bool> g_tbloMode{false};

namespace {

std::mutex g_clockMutex;
std::function<std::int64_t()> g_testClock;

// The GUI's own failures have nowhere else to go: the debugger's channel, here stderr.
void lf_debugOutput(const char* text) noexcept { std::fputs(text, stderr); }

template <typename T>
std::uint8_t lf_setIfChanged(T& field, const T& value, std::uint8_t mask) {
  if (field == value) return 0;
  field = value;
  return mask;
}

// A band (left, top, right, bottom in 96-DPI units) scaled to the DPI.
ui::Rect lf_band(int left, int top, int right, int bottom, std::uint32_t dpi) {
  const int d = static_cast<int>(dpi);
  const int l = ui::mulDiv(left, d, 96), t = ui::mulDiv(top, d, 96);
  return ui::Rect{l, t, ui::mulDiv(right, d, 96) - l, ui::mulDiv(bottom, d, 96) - t};
}

void lf_showMessageSink(std::string_view text, bool alsoLog) { Gui::showMessage(text, alsoLog); }

class Applier {
 public:
  explicit Applier(Gui& gui) : g(gui) {}

  std::uint8_t operator()(const gui::SetCompact& u) {
    g.setCompact(u.compact);
    return REDRAW_LAYOUT;
  }
  std::uint8_t operator()(const gui::ToggleCompact&) {
    g.setCompact(!g.compact);
    return REDRAW_LAYOUT;
  }
  std::uint8_t operator()(const gui::SetAlwaysOnTop& u) {
    ui::setWindowPos(g.window.load(), u.onTop ? ui::ZOrder::topmost : ui::ZOrder::notopmost, 0, 0, 0, 0,
                     ui::SWP_NOMOVE | ui::SWP_NOSIZE);
    return 0;
  }
  std::uint8_t operator()(const gui::Redraw& u) { return u.mask; }
  std::uint8_t operator()(const gui::ExpireMessage&) {
    if (!g.messageTimed || gf_guiSteadyNanos() < g.messageExpiry) return 0;
    g.statusLine.clear();
    g.messageTimed = false;
    return REDRAW_STATUS;
  }
  std::uint8_t operator()(const gui::FeedStarted&) {
    g.feedNotStarted = false;
    return REDRAW_HEADER;
  }
  std::uint8_t operator()(const gui::SetSearchHitCount& u) {
    g.searchHitCount = u.count;
    return REDRAW_PARKING;
  }
  std::uint8_t operator()(const gui::SetTrafficReaderState& u) {
    return lf_setIfChanged(g.trafficReaderState, u.state, REDRAW_HEADER);
  }
  std::uint8_t operator()(const gui::SetWeatherReaderState& u) {
    return lf_setIfChanged(g.weatherReaderState, u.state, REDRAW_HEADER);
  }
  std::uint8_t operator()(const gui::SetRTLicenseText& u) {
    g.rtLicenseText = u.text;
    return REDRAW_HEADER;
  }
  std::uint8_t operator()(const gui::SetSimulatorText& u) {
    g.simulatorText = u.text;
    return REDRAW_HEADER;
  }
  std::uint8_t operator()(const gui::SetSimConnected& u) {
    g.simConnected = u.connected;
    return REDRAW_HEADER;
  }
  std::uint8_t operator()(const gui::SetLiveryCount& u) {
    g.liveryCount = u.count;
    return REDRAW_HEADER;
  }
  std::uint8_t operator()(const gui::SetSimaddonCount& u) {
    g.simaddonCount = u.count;
    return REDRAW_HEADER;
  }
  std::uint8_t operator()(const gui::SetThirdpartyCount& u) {
    g.thirdpartyCount = u.count;
    return REDRAW_HEADER;
  }
  std::uint8_t operator()(const gui::SetUserWingspanKnown& u) {
    g.userWingspanKnown = u.known;
    return REDRAW_HEADER;
  }
  std::uint8_t operator()(const gui::SetLiveAircraftCount& u) {
    return lf_setIfChanged(g.liveAircraftCount, u.count, REDRAW_HEADER);
  }
  std::uint8_t operator()(const gui::SetStandCount& u) {
    g.standCount = u.count;
    return REDRAW_PARKING;
  }
  std::uint8_t operator()(const gui::SetParkedCounts& u) {
    const std::uint8_t a = lf_setIfChanged(g.parkedLiveCount, u.parkedLive, REDRAW_PARKING);
    const std::uint8_t b = lf_setIfChanged(g.parkedStaticCount, u.parkedStatic, REDRAW_PARKING);
    return a | b;
  }
  std::uint8_t operator()(const gui::SetStaticTarget& u) {
    g.staticTargetCount = u.count;
    g.staticTargetPercent = u.percent;
    return REDRAW_PARKING;
  }
  std::uint8_t operator()(const gui::SetQualityText& u) {
    g.qualityText = u.text;
    return REDRAW_PARKING;
  }
  std::uint8_t operator()(const gui::SetParkAirportCode& u) {
    const bool wasSet = !g.parkAirportCode.empty();
    g.parkAirportCode = u.code;
    // In the compact layout the parking band appears or goes: the window changes height.
    if (g.compact && wasSet != !u.code.empty()) return REDRAW_LAYOUT;
    return REDRAW_PARKING;
  }
  std::uint8_t operator()(const gui::SetParkAirport& u) {
    g.parkAirportHasStands = u.hasStands;
    g.parkAirportName = u.name;
    if (g.errorLine.empty()) {
      g.statusLine.clear();
      g.messageTimed = false;
    }
    return REDRAW_PARKING | REDRAW_STATUS;
  }
  std::uint8_t operator()(const gui::SetNextParkingUpdate& u) {
    g.nextParkingUpdateMinutes = static_cast<std::int32_t>(std::min<std::uint32_t>(u.minutes, INT32_MAX));
    return REDRAW_PARKING;
  }
  std::uint8_t operator()(const gui::HideStaticFit& u) {
    g.staticFitHidden = u.hidden;
    return REDRAW_PARKING;
  }
  std::uint8_t operator()(const gui::SetQnh& u) {
    g.qnhHpa = u.hpa;
    if (g.weatherReaderState == 1) g.weatherReaderState = 0;
    return REDRAW_HEADER;
  }
  std::uint8_t operator()(const gui::SetQnhInHg& u) { return lf_setIfChanged(g.qnhInHg, u.inHg, REDRAW_HEADER); }
  std::uint8_t operator()(const gui::SetAirportFileLabel& u) {
    g.airportFileLabel = u.text;
    g.airportFileHandmade = u.handmade;
    return REDRAW_PARKING;
  }
  std::uint8_t operator()(const gui::SetParkingUpdateCount& u) {
    return lf_setIfChanged(g.parkingUpdateCount, u.count, REDRAW_PARKING);
  }
  std::uint8_t operator()(const gui::SetStaticFit& u) { return lf_setIfChanged(g.staticFit, u.fit, REDRAW_PARKING); }
  std::uint8_t operator()(const gui::SetLiveFit& u) { return lf_setIfChanged(g.liveFit, u.fit, REDRAW_PARKING); }
  std::uint8_t operator()(const gui::SetUserStand& u) { return lf_setIfChanged(g.userStand, u.text, REDRAW_HEADER); }
  std::uint8_t operator()(const gui::LockTimeShift&) {
    g.timeShiftEditable = false;
    return REDRAW_PANEL;
  }
  std::uint8_t operator()(const gui::ShowMessage& u) {
    if (!g.errorLine.empty()) return 0;  // an error line holds the band
    if (u.alsoLog && !u.text.empty()) gf_log(u.text);
    const bool changed = g.statusLine != u.text;
    g.statusLine = u.text;
    if (u.text.empty()) {
      g.messageTimed = false;
    } else {
      g.messageExpiry = gf_guiSteadyNanos() + MESSAGE_LIFETIME_NS;
      g.messageTimed = true;
    }
    return changed ? REDRAW_STATUS : 0;
  }
  std::uint8_t operator()(const gui::ShowError& u) {
    if (g.statusLine.empty() && g.errorLine == u.text) return 0;
    g.statusLine.clear();
    g.messageTimed = false;
    g.errorLine = u.text;
    gf_log(fmt::format("Error {}", u.text));
    return REDRAW_STATUS;
  }
  std::uint8_t operator()(const gui::ClearMessage&) {
    if (!g.errorLine.empty() || g.statusLine.empty()) return 0;
    g.statusLine.clear();
    g.messageTimed = false;
    return REDRAW_STATUS;
  }
  std::uint8_t operator()(const gui::ClearError&) {
    if (g.errorLine.empty()) return 0;
    g.errorLine.clear();
    return REDRAW_STATUS;
  }
  std::uint8_t operator()(const gui::ResetDisplay&) { return g.resetDisplayState(); }

 private:
  Gui& g;
};

}  // namespace

std::int64_t gf_guiSteadyNanos() {
  {
    std::lock_guard lock(g_clockMutex);
    if (g_testClock) return g_testClock();
  }
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void gf_setGuiSteadyClockForTest(std::function<std::int64_t()> clock) {
  std::lock_guard lock(g_clockMutex);
  g_testClock = std::move(clock);
}

Gui::Gui() : mainWindowX(MAIN_WINDOW_X), mainWindowY(MAIN_WINDOW_Y) {}

Gui::~Gui() {
  beginClosing();
  // The window layer outlives us (it is never destroyed), so the window can still go.
  if (ui::Hwnd w = window.load(); w != ui::Hwnd::null && ui::isWindow(w)) ui::destroyWindow(w);
}

// --- enqueueing, any thread ---

void Gui::enqueueUpdate(GuiUpdate&& update) noexcept { g_gui.enqueue(std::move(update)); }

void Gui::enqueue(GuiUpdate&& update) noexcept {
  if (closing) return;
  const std::thread::id gui = guiThreadId.load();
  if (gui != std::thread::id() && gui == std::this_thread::get_id()) {
    try {
      invalidate(applyUpdate(update));
    } catch (...) {
      lf_debugOutput("Gui::applyUpdate failed\n");
    }
    return;
  }
  try {
    {
      std::lock_guard lock(queueMutex);
      if (closing) return;
      queue.push_back(std::move(update));
    }
    const ui::Hwnd target = window.load();
    if (target == ui::Hwnd::null) return;  // initInstance posts for it once the window exists
    if (postPending.exchange(true)) return;  // the message in flight drains this one too
    if (!ui::postMessage(target, MSG_GUI_UPDATE, 0, 0)) postPending = false;
  } catch (...) {
    lf_debugOutput("Gui::enqueueUpdate failed\n");
  }
}

void Gui::postWaitingUpdates() {
  std::lock_guard lock(queueMutex);
  // A sender that saw the window already may have posted for them.
  if (queue.empty() || postPending.exchange(true)) return;
  if (!ui::postMessage(window.load(), MSG_GUI_UPDATE, 0, 0)) postPending = false;
}

void Gui::showMessage(std::string_view text, bool alsoLog) {
  enqueueUpdate(gui::ShowMessage{std::string(text), alsoLog});
}
void Gui::showError(std::string_view text) { enqueueUpdate(gui::ShowError{std::string(text)}); }
void Gui::clearMessage() {
  if (g_tbloMode)
    gf_showTbloMailHint();
  else
    enqueueUpdate(gui::ClearMessage{});
}
void Gui::setRTLicenseText(std::string_view text) { enqueueUpdate(gui::SetRTLicenseText{std::string(text)}); }
void Gui::setParkAirport(bool hasStands, std::string_view name) {
  enqueueUpdate(gui::SetParkAirport{hasStands, std::string(name)});
}
void Gui::hideStaticFit(bool hidden) {
  g_gui.staticFitHold = hidden;
  enqueueUpdate(gui::HideStaticFit{hidden});
}
void Gui::redrawHeader() { enqueueUpdate(gui::Redraw{REDRAW_HEADER}); }
void Gui::redrawPanel() { enqueueUpdate(gui::Redraw{REDRAW_PANEL}); }
void Gui::redrawParkingBand() { enqueueUpdate(gui::Redraw{REDRAW_PARKING}); }
void Gui::setAirportFileLabel(std::string_view text, bool handmade) {
  enqueueUpdate(gui::SetAirportFileLabel{std::string(text), handmade});
}
void Gui::setStaticFit(float fit) { enqueueUpdate(gui::SetStaticFit{fit}); }
void Gui::setUserStand(std::string_view text) { enqueueUpdate(gui::SetUserStand{std::string(text)}); }

void gf_showTbloMailHint() {
  Gui::enqueueUpdate(
      gui::ShowMessage{fmt::format("Push the tblo button and mail 'tblo.zip' to {}, please", kTbloMailAddress), false});
}

void gf_registerGuiMessageSink() { gf_setUserMessageSink(lf_showMessageSink); }

// --- applying, GUI thread ---

std::uint8_t Gui::applyUpdate(const GuiUpdate& update) {
  Applier applier(*this);
  return std::visit(applier, update);
}

void Gui::drainUpdates() {
  std::deque<GuiUpdate> batch;
  {
    std::lock_guard lock(queueMutex);
    batch.swap(queue);
    // Cleared before applying: an update queued meanwhile posts a new message.
    postPending = false;
  }
  std::uint8_t mask = 0;
  for (const auto& update : batch) {
    try {
      mask |= applyUpdate(update);
    } catch (...) {
      lf_debugOutput("Gui::applyUpdate failed\n");
    }
  }
  invalidate(mask);
}

int Gui::clientHeightUnits() const {
  if (!compact) return CLIENT_HEIGHT_EXPANDED;
  return parkAirportCode.empty() ? CLIENT_HEIGHT_COMPACT : CLIENT_HEIGHT_COMPACT_PARKING;
}

void Gui::invalidate(std::uint8_t mask) {
  const ui::Hwnd w = window.load();
  if (mask == 0 || w == ui::Hwnd::null || !ui::isWindow(w)) return;
  if (mask & REDRAW_LAYOUT) {
    const ui::Rect size = windowSizeForClient(static_cast<std::uint32_t>(clientHeightUnits()));
    ui::setWindowPos(w, ui::ZOrder::unchanged, 0, 0, size.width, size.height,
                     ui::SWP_NOMOVE | ui::SWP_NOZORDER | ui::SWP_NOACTIVATE);
    ui::invalidateRect(w, std::nullopt, true);
    return;
  }
  const bool parkingShown = !compact || !parkAirportCode.empty();
  if (mask & REDRAW_HEADER) ui::invalidateRect(w, lf_band(0, 32, 900, 96, dpi), false);
  if (mask & REDRAW_PANEL) ui::invalidateRect(w, lf_band(0, 96, 900, 640, dpi), false);
  if (mask & REDRAW_PARKING) {
    if (!compact)
      ui::invalidateRect(w, lf_band(0, 640, 900, 736, dpi), false);
    else if (parkingShown)
      ui::invalidateRect(w, lf_band(0, 96, 900, 192, dpi), false);
    else
      ui::invalidateRect(w, ui::Rect{}, false);
  }
  if (mask & REDRAW_STATUS) {
    if (!compact)
      ui::invalidateRect(w, lf_band(0, 736, 900, 768, dpi), false);
    else if (parkingShown)
      ui::invalidateRect(w, lf_band(0, 192, 900, 224, dpi), false);
    else
      ui::invalidateRect(w, lf_band(0, 96, 900, 128, dpi), false);
  }
}

void Gui::setCompact(bool isCompact) {
  compact = isCompact;
  for (ui::Hwnd control : g_optionControls)
    if (ui::isWindow(control)) ui::showWindow(control, !isCompact);
}

std::uint8_t Gui::resetDisplayState() {
  for (std::string* text : {&statusLine, &errorLine, &parkAirportName, &airportFileLabel, &qualityText,
                            &simulatorText, &rtLicenseText, &userStand})
    text->clear();
  messageTimed = false;
  feedNotStarted = userWingspanKnown = timeShiftEditable = true;
  parkAirportHasStands = simConnected = airportFileHandmade = staticFitHidden = staticFitHold = false;
  parkingUpdateCount = 0;
  liveAircraftCount = 0;
  staticTargetCount = 0;
  qnhHpa = 0;
  parkedLiveCount = parkedStaticCount = 0;
  standCount = 0;
  parkAirportCode = IcaoCode();
  staticFit = liveFit = -1;
  trafficReaderState = weatherReaderState = 2;
  return REDRAW_HEADER | REDRAW_PANEL | REDRAW_PARKING | REDRAW_STATUS;
}

void Gui::beginClosing() {
  closing = true;
  std::lock_guard lock(queueMutex);
  queue.clear();
  postPending = false;
}

ui::Rect Gui::windowSizeForClient(std::uint32_t clientHeight) const {
  const int d = static_cast<int>(dpi);
  ui::Rect outer = ui::adjustWindowRectForDpi(ui::mulDiv(CLIENT_WIDTH, d, 96),
                                              ui::mulDiv(static_cast<int>(clientHeight), d, 96), dpi);
  return ui::Rect{0, 0, outer.width, outer.height};
}

void Gui::placeWindow(std::int32_t fallbackX, std::int32_t fallbackY) {
  const ui::Hwnd w = window.load();
  if (!ui::isWindow(w)) return;
  // A position at the very end of the range is what a lost window leaves behind.
  for (auto [option, fallback] : {std::pair{&mainWindowX, fallbackX}, std::pair{&mainWindowY, fallbackY}}) {
    if (option->value == option->minimum || option->value == option->maximum) {
      option->value = option->clamped(fallback);
      option->save();
    }
  }
  const ui::Rect current = ui::windowRect(w);
  const ui::Rect moved{mainWindowX.value, mainWindowY.value, current.width, current.height};
  const ui::Rect work = ui::monitorFromRect(moved).workArea;
  constexpr int kVisible = 48;  // pixels of the window that stay reachable

  auto place = [&](int start, int size, int workStart, int workSize) {
    int first = start, last = start + size;
    if (size > workSize) {
      first = workStart;
      last = first + size;
    }
    if (last < workStart + kVisible) first += workStart + kVisible - last;
    return std::min(workStart + workSize - kVisible, first);
  };
  const int x = place(moved.x, moved.width, work.x, work.width);
  const int y = place(moved.y, moved.height, work.y, work.height);

  if (x != moved.x || y != moved.y) {
    mainWindowX.value = mainWindowX.clamped(x);
    mainWindowY.value = mainWindowY.clamped(y);
    mainWindowX.save();
    mainWindowY.save();
  }
  // Also when only the saved position changed (a lost one replaced by the fallback): the
  // window must stand where the options say.
  if (x != current.x || y != current.y)
    ui::setWindowPos(w, ui::ZOrder::unchanged, x, y, 0, 0, ui::SWP_NOSIZE | ui::SWP_NOZORDER | ui::SWP_NOACTIVATE);
}

void Gui::rescaleChildren(std::uint32_t oldDpi, std::uint32_t newDpi) {
  const ui::Hwnd w = window.load();
  if (!ui::isWindow(w) || oldDpi == 0 || oldDpi == newDpi) return;
  const int from = static_cast<int>(oldDpi), to = static_cast<int>(newDpi);
  for (ui::Hwnd child : ui::childWindows(w)) {
    if (!ui::isWindow(child)) continue;
    const ui::Rect r = ui::windowRect(child);  // already in the parent's client coordinates
    const auto combo = comboHeights.find(child);
    const int height = combo != comboHeights.end() ? ui::mulDiv(combo->second, to, 96) : ui::mulDiv(r.height, to, from);
    ui::setWindowPos(child, ui::ZOrder::unchanged, ui::mulDiv(r.x, to, from), ui::mulDiv(r.y, to, from),
                     ui::mulDiv(r.width, to, from), height, ui::SWP_NOZORDER | ui::SWP_NOACTIVATE);
  }
}

void Gui::updateControlFont(std::uint32_t newDpi) {
  ui::FontHandle font = gf_createGuiFont(false, newDpi);
  if (!font) return;
  controlFont = font;
  const ui::Hwnd w = window.load();
  if (!ui::isWindow(w)) return;
  for (ui::Hwnd child : ui::childWindows(w)) ui::setWindowFont(child, font, true);
}

ui::FontHandle gf_createGuiFont(bool bold, std::uint32_t dpi) {
  return ui::createFont(ui::Font{"Segoe UI", -ui::mulDiv(12, static_cast<int>(dpi), 72), bold ? 700 : 400});
}

void gf_resetGuiForTest() {
  Gui& g = g_gui;
  g.beginClosing();
  g.closing = false;
  g.guiThreadId = std::thread::id();
  g.window = ui::Hwnd::null;
  g.dpi = ui::USER_DEFAULT_DPI;
  g.compact = false;
  g.layoutButton = {};
  g.normalFont = g.boldFont = g.controlFont = nullptr;
  g.comboHeights.clear();
  g.resetDisplayState();
  g.liveryCount = g.simaddonCount = g.thirdpartyCount = g.searchHitCount = 0;
  g.qnhInHg = false;
  g.staticTargetPercent = 0;
  g.nextParkingUpdateMinutes = 0;
  g.messageExpiry = 0;
  g.mainWindowX.value = g.mainWindowX.defaultValue;
  g.mainWindowY.value = g.mainWindowY.defaultValue;
  g_optionControls.clear();
  g_tbloMode = false;
  gf_setGuiSteadyClockForTest({});
  gf_setUserMessageSink(nullptr);
}
