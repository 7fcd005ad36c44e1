#pragma once
// The window layer: Win32's concepts (window procedure, posted messages, control ids,
// WM_COMMAND notifications) over a backend of our own. The headless backend keeps an
// in-memory model of every window and control; tests drive it through ui_driver.h. A desktop
// backend (ui_backend.h) mirrors the model on a real window when one is linked and chosen.
//
// Threads: the thread that runs the message loop is the GUI thread; window procedures run
// only there. postMessage and every control operation may be called from any thread and
// never wait for the GUI thread.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

// A window handle: a number, never reused, so a stale handle is harmless.
enum class Hwnd : std::uintptr_t { null = 0 };
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

inline constexpr std::uint32_t WM_CREATE = 0x0001;
inline constexpr std::uint32_t WM_DESTROY = 0x0002;
inline constexpr std::uint32_t WM_ENABLE = 0x000A;
inline constexpr std::uint32_t WM_PAINT = 0x000F;
inline constexpr std::uint32_t WM_CLOSE = 0x0010;
inline constexpr std::uint32_t WM_QUIT = 0x0012;
inline constexpr std::uint32_t WM_ERASEBKGND = 0x0014;
inline constexpr std::uint32_t WM_SETFONT = 0x0030;
inline constexpr std::uint32_t WM_KEYDOWN = 0x0100;
inline constexpr std::uint32_t WM_COMMAND = 0x0111;
inline constexpr std::uint32_t WM_TIMER = 0x0113;
inline constexpr std::uint32_t WM_CTLCOLOREDIT = 0x0133;
inline constexpr std::uint32_t WM_CTLCOLORSTATIC = 0x0138;
inline constexpr std::uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr std::uint32_t WM_DPICHANGED = 0x02E0;
inline constexpr std::uint32_t BM_SETCHECK = 0x00F1;
inline constexpr std::uint32_t WM_APP = 0x8000;

inline constexpr std::uint32_t VK_RETURN = 0x0D;

// Notification codes, in the high word of WM_COMMAND's wParam.
inline constexpr std::uint16_t BN_CLICKED = 0;
inline constexpr std::uint16_t CBN_SELCHANGE = 1;
inline constexpr std::uint16_t EN_CHANGE = 0x0300;

constexpr WParam makeWParam(std::uint16_t low, std::uint16_t high) {
  return static_cast<WParam>(low) | (static_cast<WParam>(high) << 16);
}
constexpr std::uint16_t loWord(WParam w) { return static_cast<std::uint16_t>(w & 0xFFFF); }
constexpr std::uint16_t hiWord(WParam w) { return static_cast<std::uint16_t>((w >> 16) & 0xFFFF); }
// WM_LBUTTONDOWN's lParam: x in the low word, y in the high word (signed).
constexpr LParam makeLParam(int x, int y) {
  return static_cast<LParam>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(x))) |
                             (static_cast<std::uint32_t>(static_cast<std::uint16_t>(y)) << 16));
}
constexpr int xFromLParam(LParam l) { return static_cast<std::int16_t>(l & 0xFFFF); }
constexpr int yFromLParam(LParam l) { return static_cast<std::int16_t>((l >> 16) & 0xFFFF); }
// value * numerator / denominator rounded half away from zero; -1 when denominator is 0.
int mulDiv(int value, int numerator, int denominator);

using WndProc = LResult (*)(Hwnd, std::uint32_t message, WParam, LParam);

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

struct Msg {
  Hwnd hwnd = Hwnd::null;
  std::uint32_t message = 0;
  WParam wParam = 0;
  LParam lParam = 0;
};

struct WindowClass {
  std::string className;
  WndProc proc = nullptr;
};

bool registerClass(const WindowClass& windowClass);

// Creates a top-level window and sends it WM_CREATE on the calling thread, which becomes the
// GUI thread. Returns null when the class is unknown or WM_CREATE returns -1.
Hwnd createWindow(std::string_view className, std::string_view title, Rect rect);
bool destroyWindow(Hwnd hwnd);  // sends WM_DESTROY, then forgets the window and its controls
bool isWindow(Hwnd hwnd);
bool isGuiThread();

bool postMessage(Hwnd hwnd, std::uint32_t message, WParam wParam, LParam lParam);
void postQuitMessage(int exitCode);
// Calls the window procedure directly; GUI thread only.
LResult sendMessage(Hwnd hwnd, std::uint32_t message, WParam wParam, LParam lParam);
// Blocks for the next message: 1 for a message, 0 for WM_QUIT (its wParam is the exit code).
int getMessage(Msg& msg);
LResult dispatchMessage(const Msg& msg);
// WM_CLOSE destroys the window; everything else is ignored.
LResult defWindowProc(Hwnd hwnd, std::uint32_t message, WParam wParam, LParam lParam);

// WM_TIMER with wParam = id every interval while the timer lives.
void setTimer(Hwnd hwnd, std::uintptr_t id, unsigned intervalMs);
void killTimer(Hwnd hwnd, std::uintptr_t id);

// Child controls, known by their id within the parent. A CheckBox does not tick itself when
// clicked (BS_CHECKBOX): its owner flips it on BN_CLICKED.
enum class ControlKind { Button, CheckBox, ComboBox, Edit, Label };

Hwnd createControl(Hwnd parent, ControlKind kind, int id, std::string_view text, Rect rect);
Hwnd getDlgItem(Hwnd parent, int id);
int getDlgCtrlId(Hwnd control);
ControlKind controlKind(Hwnd control);
// A procedure that sees the control's own messages first (WM_KEYDOWN of an edit).
void setControlProc(Hwnd control, WndProc proc);

void setWindowText(Hwnd hwnd, std::string_view text);
std::string getWindowText(Hwnd hwnd);
void enableWindow(Hwnd hwnd, bool enabled);
bool isWindowEnabled(Hwnd hwnd);
void showWindow(Hwnd hwnd, bool shown);
bool isWindowVisible(Hwnd hwnd);
void moveWindow(Hwnd hwnd, Rect rect);
Rect windowRect(Hwnd hwnd);

inline constexpr int BST_UNCHECKED = 0;
inline constexpr int BST_CHECKED = 1;
inline constexpr int BST_INDETERMINATE = 2;
void setCheck(Hwnd control, bool checked);
bool getCheck(Hwnd control);  // ticked (BST_CHECKED)
void setCheckState(Hwnd control, int state);
int getCheckState(Hwnd control);

int comboAddString(Hwnd combo, std::string_view text);  // returns the new item's index
void comboResetContent(Hwnd combo);
void comboSetCurSel(Hwnd combo, int index);  // -1 clears the selection
int comboGetCurSel(Hwnd combo);
std::vector<std::string> comboItems(Hwnd combo);

// Every child of a window, in creation order.
std::vector<Hwnd> childWindows(Hwnd parent);

// --- DPI, monitors and the window frame ---
inline constexpr std::uint32_t USER_DEFAULT_DPI = 96;
// Per-monitor awareness: always granted here.
bool setProcessDpiAwareness();
// JORV_DPI (48..480) or the test's value, else 96.
std::uint32_t getDpiForSystem();
// The DPI of the monitor nearest to the window (a child: its top-level window's).
std::uint32_t getDpiForWindow(Hwnd hwnd);

struct Monitor {
  Rect area;
  Rect workArea;  // the area without the task bar
  std::uint32_t dpi = USER_DEFAULT_DPI;
};
// The monitor nearest to the rectangle (MONITOR_DEFAULTTONEAREST).
Monitor monitorFromRect(Rect rect);
// Tests: the monitors of the desktop; an empty list restores the one default monitor
// (1920 x 1080 with a 40 pixel task bar at the bottom, at the system DPI).
void setMonitorsForTest(std::vector<Monitor> monitors);
// Tests: the system DPI; 0 goes back to JORV_DPI or 96.
void setSystemDpiForTest(std::uint32_t dpi);

// The outer size of a top-level window (caption, system menu, thin frame) whose client area
// has the given size at the DPI.
Rect adjustWindowRectForDpi(int clientWidth, int clientHeight, std::uint32_t dpi);
// The client area's size (origin 0, 0); a child's is its own size.
Rect clientRect(Hwnd hwnd);

inline constexpr std::uint32_t SWP_NOSIZE = 0x0001;
inline constexpr std::uint32_t SWP_NOMOVE = 0x0002;
inline constexpr std::uint32_t SWP_NOZORDER = 0x0004;
inline constexpr std::uint32_t SWP_NOACTIVATE = 0x0010;
enum class ZOrder { unchanged, topmost, notopmost };
bool setWindowPos(Hwnd hwnd, ZOrder zOrder, int x, int y, int width, int height, std::uint32_t flags);
bool isTopmost(Hwnd hwnd);

// Show states as GetWindowPlacement reports them.
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
struct WindowPlacement {
  int showCmd = SW_SHOWNORMAL;
  Rect normalPosition;  // where the window goes back to when restored
};
std::optional<WindowPlacement> getWindowPlacement(Hwnd hwnd);
// SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED or SW_SHOWNORMAL (restore) of a top-level window.
void setShowState(Hwnd hwnd, int showCmd);

// --- fonts ---
// A font as its description; the handle is shared so a replaced font lives while in use.
struct Font {
  std::string face;
  int height = 0;  // negative: character height in pixels (GDI's convention)
  int weight = 400;
  bool operator==(const Font&) const = default;
};
using FontHandle = std::shared_ptr<const Font>;
// Null when the font cannot be made (tests can make every creation fail).
FontHandle createFont(const Font& description);
void setFontCreationFailsForTest(bool fails);
// WM_SETFONT: the window's font; with redraw the window is invalidated.
void setWindowFont(Hwnd hwnd, FontHandle font, bool redraw);
FontHandle windowFont(Hwnd hwnd);

// --- painting ---
class Canvas;
// Adds a rectangle (client coordinates; none: the whole client area) to the window's invalid
// region. Recorded for the driver; painting happens when the window is painted.
void invalidateRect(Hwnd hwnd, std::optional<Rect> rect, bool erase);
struct Invalidation {
  Rect rect;
  bool erase = false;
};
// What was invalidated since the last call (and forgets it).
std::vector<Invalidation> takeInvalidations(Hwnd hwnd);
// Inside WM_PAINT: the canvas over the window's client area. Outside a paint started by the
// layer it is a fresh canvas of the client area's size that nobody sees.
Canvas& beginPaint(Hwnd hwnd);
void endPaint(Hwnd hwnd);
// Sends WM_PAINT to the window with the given canvas as its target. GUI thread only.
void paintWindow(Hwnd hwnd, Canvas& target);

// --- dialogs (any thread; the headless backend answers from the driver's script) ---
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
int messageBox(Hwnd owner, std::string_view text, std::string_view caption, unsigned type);
// Whether a window's close was asked for (a termination signal, the unattended run's timer, the
// close box), also while a modal dialog holds up the message loop: such a dialog gives way, as
// if closed, so that the orderly shutdown can run.
bool closeIsWaiting();
// A folder chosen by the user (UTF-8); empty when cancelled.
std::optional<std::string> pickFolder(Hwnd owner, std::string_view initialFolder);
// A one-line text prompt with OK and Cancel: the text confirmed with OK (at most maxChars
// characters), none for Cancel or closing.
std::optional<std::string> promptText(Hwnd owner, std::string_view title, std::string_view label,
                                      std::size_t maxChars);

// Forgets every class, window, timer and queued message, and the test settings of monitors,
// DPI, fonts and dialogs; tests call it between cases. A desktop backend in use stays, without
// its widgets.
void resetForTest();

}  // namespace ui
