#pragma once
// The GUI update queue: every thread reports what the user should see through g_gui. On the
// GUI thread an update is applied at once; from any other thread it is queued under the
// Gui's mutex and the window is woken by one MSG_GUI_UPDATE, however many updates wait.
// Applying an update only changes display fields and returns a redraw mask (bit 1 header,
// 2 option panel, 4 parking band, 8 status band, 16 layout change); only the GUI thread
// touches a window or a display field.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "config/options.h"
#include "core/value_types.h"
#include "platform/canvas.h"
#include "platform/ui.h"

// The kinds of GuiUpdate, each carrying at most one text.
namespace gui {
struct SetCompact { bool compact; };
struct ToggleCompact {};
struct SetAlwaysOnTop { bool onTop; };
struct Redraw { std::uint8_t mask; };
struct ExpireMessage {};
struct FeedStarted {};
struct SetSearchHitCount { std::uint64_t count; };
struct SetTrafficReaderState { std::uint32_t state; };  // 0 receiving, 1 waiting, 2 not running
struct SetWeatherReaderState { std::uint32_t state; };
struct SetRTLicenseText { std::string text; };
struct SetSimulatorText { std::string text; };
struct SetSimConnected { bool connected; };
struct SetLiveryCount { std::uint64_t count; };
struct SetSimaddonCount { std::uint64_t count; };
struct SetThirdpartyCount { std::uint64_t count; };
struct SetUserWingspanKnown { bool known; };
struct SetLiveAircraftCount { std::uint64_t count; };
struct SetStandCount { std::uint64_t count; };
struct SetParkedCounts { std::uint64_t parkedLive; std::uint64_t parkedStatic; };
struct SetStaticTarget { std::int32_t count; std::int32_t percent; };
struct SetQualityText { std::string text; };
struct SetParkAirportCode { IcaoCode code; };
struct SetParkAirport { bool hasStands; std::string name; };
struct SetNextParkingUpdate { std::uint32_t minutes; };
struct HideStaticFit { bool hidden; };
struct SetQnh { std::uint32_t hpa; };
struct SetQnhInHg { bool inHg; };
struct SetAirportFileLabel { std::string text; bool handmade; };
struct SetParkingUpdateCount { std::uint32_t count; };
struct SetStaticFit { float fit; };
struct SetLiveFit { float fit; };
struct SetUserStand { std::string text; };
struct LockTimeShift {};
struct ShowMessage { std::string text; bool alsoLog; };
struct ShowError { std::string text; };
struct ClearMessage {};
struct ClearError {};
struct ResetDisplay {};
}  // namespace gui

using GuiUpdate =
    std::variant<gui::SetCompact, gui::ToggleCompact, gui::SetAlwaysOnTop, gui::Redraw, gui::ExpireMessage,
                 gui::FeedStarted, gui::SetSearchHitCount, gui::SetTrafficReaderState, gui::SetWeatherReaderState,
                 gui::SetRTLicenseText, gui::SetSimulatorText, gui::SetSimConnected, gui::SetLiveryCount,
                 gui::SetSimaddonCount, gui::SetThirdpartyCount, gui::SetUserWingspanKnown,
                 gui::SetLiveAircraftCount, gui::SetStandCount, gui::SetParkedCounts, gui::SetStaticTarget,
                 gui::SetQualityText, gui::SetParkAirportCode, gui::SetParkAirport, gui::SetNextParkingUpdate,
                 gui::HideStaticFit, gui::SetQnh, gui::SetQnhInHg, gui::SetAirportFileLabel,
                 gui::SetParkingUpdateCount, gui::SetStaticFit, gui::SetLiveFit, gui::SetUserStand,
                 gui::LockTimeShift, gui::ShowMessage, gui::ShowError, gui::ClearMessage, gui::ClearError,
                 gui::ResetDisplay>;

inline constexpr std::uint8_t REDRAW_HEADER = 1;
inline constexpr std::uint8_t REDRAW_PANEL = 2;
inline constexpr std::uint8_t REDRAW_PARKING = 4;
inline constexpr std::uint8_t REDRAW_STATUS = 8;
inline constexpr std::uint8_t REDRAW_LAYOUT = 16;

// Layout figures are in units of a 96-DPI client area 900 units wide.
inline constexpr int CLIENT_WIDTH = 900;
inline constexpr int CLIENT_HEIGHT_EXPANDED = 768;
inline constexpr int CLIENT_HEIGHT_COMPACT_PARKING = 224;
inline constexpr int CLIENT_HEIGHT_COMPACT = 128;

// A status message stays this long (steady clock) unless replaced.
inline constexpr std::int64_t MESSAGE_LIFETIME_NS = 25'000'000'000;

class Gui {
 public:
  Gui();
  Gui(const Gui&) = delete;
  Gui& operator=(const Gui&) = delete;
  virtual ~Gui();

  // Any thread, any time (before the window exists and after it is gone); never throws.
  static void enqueueUpdate(GuiUpdate&& update) noexcept;

  // Typed senders.
  static void showMessage(std::string_view text, bool alsoLog);
  static void showError(std::string_view text);
  static void clearMessage();  // in tblo mode the mail hint instead
  static void setRTLicenseText(std::string_view text);
  static void setParkAirport(bool hasStands, std::string_view name);
  static void hideStaticFit(bool hidden);
  static void redrawHeader();
  static void redrawPanel();
  static void redrawParkingBand();
  static void setAirportFileLabel(std::string_view text, bool handmade);
  static void setStaticFit(float fit);
  static void setUserStand(std::string_view text);

  // GUI thread only.
  std::uint8_t applyUpdate(const GuiUpdate& update);
  void invalidate(std::uint8_t mask);
  void drainUpdates();  // MSG_GUI_UPDATE
  void setCompact(bool isCompact);
  std::uint8_t resetDisplayState();
  void beginClosing();
  int clientHeightUnits() const;  // 768, or 224 / 128 in the compact layout
  // Outer size (width, height; x and y 0) for a client area 900 units wide and clientHeight high.
  ui::Rect windowSizeForClient(std::uint32_t clientHeight) const;
  void placeWindow(std::int32_t fallbackX, std::int32_t fallbackY);
  void rescaleChildren(std::uint32_t oldDpi, std::uint32_t newDpi);
  void updateControlFont(std::uint32_t dpi);
  // Called by initInstance once the window exists: posts for updates that waited.
  void postWaitingUpdates();

  // Painting (painting.cpp), GUI thread. paint draws the whole client area off-screen in
  // logical units (900 wide) and copies it onto the target in one go.
  void paint(ui::Hwnd hwnd, ui::Canvas& target);
  void paintHeader(ui::Canvas& dc);
  void paintPanel(ui::Canvas& dc);
  void paintParkingBand(ui::Canvas& dc);
  // Text in the bold or normal painting font at (x, y - 3); text that is not valid UTF-8 is
  // logged and skipped.
  void drawText(ui::Canvas& dc, int x, int y, std::string_view utf8, ui::Color colour, bool bold);

  // The saved window position in parameters.xml (the config globals of the same names).
  IntOption& mainWindowX;
  IntOption& mainWindowY;

  // Colours of the painted bands.
  const ui::Color red = ui::rgb(255, 0, 0);
  const ui::Color lightBlue = ui::rgb(153, 204, 255);
  const ui::Color black = ui::rgb(0, 0, 0);
  const ui::Color brightGreen = ui::rgb(50, 210, 50);
  const ui::Color darkGreen = ui::rgb(25, 150, 25);
  const ui::Color yellow = ui::rgb(255, 255, 0);
  const ui::Color white = ui::rgb(255, 255, 255);
  const ui::Color grey = ui::rgb(160, 160, 160);

  ui::FontHandle normalFont;  // painting fonts, made for 96 DPI
  ui::FontHandle boldFont;
  bool compact = false;
  ui::Rect layoutButton;  // device pixels, rewritten at every paint

  std::mutex queueMutex;
  std::deque<GuiUpdate> queue;
  std::atomic<bool> postPending{false};
  std::atomic<bool> closing{false};
  std::atomic<std::thread::id> guiThreadId{};
  std::uint32_t dpi = ui::USER_DEFAULT_DPI;
  std::atomic<ui::Hwnd> window{ui::Hwnd::null};
  ui::FontHandle controlFont;  // for the window's DPI
  std::map<ui::Hwnd, int> comboHeights;  // drop-down height in 96-DPI units

  // Display state, GUI thread only.
  std::string statusLine;
  std::string errorLine;
  std::string parkAirportName;
  std::string airportFileLabel;
  std::string qualityText;
  std::string simulatorText;
  std::string rtLicenseText;
  std::string userStand;
  IcaoCode parkAirportCode;
  float staticFit = -1;
  float liveFit = -1;
  std::uint64_t liveAircraftCount = 0;
  std::uint64_t simaddonCount = 0;
  std::uint64_t thirdpartyCount = 0;
  std::uint64_t liveryCount = 0;
  std::uint64_t parkedLiveCount = 0;
  std::uint64_t parkedStaticCount = 0;
  std::uint64_t standCount = 0;
  std::uint64_t searchHitCount = 0;
  std::int32_t staticTargetPercent = 0;
  std::int32_t staticTargetCount = 0;
  std::int32_t nextParkingUpdateMinutes = 0;
  std::int64_t messageExpiry = 0;  // steady-clock nanoseconds
  bool messageTimed = false;
  std::uint32_t parkingUpdateCount = 0;
  std::uint32_t qnhHpa = 0;
  bool qnhInHg = false;
  bool airportFileHandmade = false;
  bool feedNotStarted = true;
  bool parkAirportHasStands = false;
  bool simConnected = false;
  bool userWingspanKnown = true;
  bool staticFitHidden = false;
  bool timeShiftEditable = true;
  std::atomic<bool> staticFitHold{false};  // shared with the parking code, written directly
  std::uint32_t trafficReaderState = 2;
  std::uint32_t weatherReaderState = 2;

 private:
  void enqueue(GuiUpdate&& update) noexcept;
};

extern Gui g_gui;

// The option controls in creation order; compact mode hides them all.
extern std::vector<ui::Hwnd> g_optionControls;
// Set by the airport scan when it gathered airports without stand data into tblo.zip; while
// set, clearing the status line shows the hint to mail the package instead.
extern std::atomic<bool> g_tbloMode;

// The GUI fonts: "Segoe UI", 12 points at the DPI, bold or normal; null when it cannot be made.
ui::FontHandle gf_createGuiFont(bool bold, std::uint32_t dpi);
// Where the off-line learning package goes: the hint names it, and the package carries it.
inline constexpr std::string_view kTbloMailAddress = "tblo@jorv.example";
// The status line asking to push the tblo button and mail tblo.zip (shown, not logged).
void gf_showTbloMailHint();
// Routes the Foundation's user messages (core/user_message.h) to Gui::showMessage.
void gf_registerGuiMessageSink();

// The steady clock of the message expiry, in nanoseconds; tests inject their own (an empty
// function restores the real one).
std::int64_t gf_guiSteadyNanos();
void gf_setGuiSteadyClockForTest(std::function<std::int64_t()> clock);
// Tests: g_gui, g_optionControls and g_tbloMode as at program start.
void gf_resetGuiForTest();
