#pragma once
// The window layer: Win32's concepts (window procedure, posted messages, control ids,
// WM_COMMAND notifications) over a backend of our own. The headless backend keeps an
// in-memory model of every window and control; tests drive it through ui_driver.h.
//
// Threads: the thread that runs the message loop is the GUI thread; window procedures run
// only there. postMessage and every control operation may be called from any thread and
// never wait for the GUI thread.
#include <cstdint>
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
inline constexpr std::uint32_t WM_PAINT = 0x000F;
inline constexpr std::uint32_t WM_CLOSE = 0x0010;
inline constexpr std::uint32_t WM_QUIT = 0x0012;
inline constexpr std::uint32_t WM_KEYDOWN = 0x0100;
inline constexpr std::uint32_t WM_COMMAND = 0x0111;
inline constexpr std::uint32_t WM_TIMER = 0x0113;
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

// Child controls, known by their id within the parent.
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

void setCheck(Hwnd control, bool checked);
bool getCheck(Hwnd control);

int comboAddString(Hwnd combo, std::string_view text);  // returns the new item's index
void comboResetContent(Hwnd combo);
void comboSetCurSel(Hwnd combo, int index);  // -1 clears the selection
int comboGetCurSel(Hwnd combo);
std::vector<std::string> comboItems(Hwnd combo);

// Forgets every class, window, timer and queued message; tests call it between cases.
void resetForTest();

}  // namespace ui
