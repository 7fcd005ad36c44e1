// Headless backend: the windows and controls live in memory; the message loop is real.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "platform/canvas.h"
#include "platform/ui.h"
#include "platform/ui_backend.h"
#include "platform/ui_driver.h"

namespace ui {
namespace {

using Clock = std::chrono::steady_clock;

struct Control {
  ControlKind kind = ControlKind::Label;
  int id = 0;
  std::string text;
  Rect rect;
  bool enabled = true;
  bool shown = true;
  int checkState = BST_UNCHECKED;
  std::vector<std::string> items;
  int selection = -1;
  WndProc proc = nullptr;
};

struct Window {
  std::string className;
  std::string title;
  Rect rect;
  WndProc proc = nullptr;
  Hwnd parent = Hwnd::null;
  std::optional<Control> control;  // set for child controls
  bool shown = true;
  bool enabled = true;
  bool topmost = false;
  int showCmd = SW_SHOWNORMAL;
  Rect normalRect;  // kept while minimized or maximized
  FontHandle font;
  std::vector<Invalidation> invalidations;
};

struct Entry {
  Msg msg;
  std::function<void()> task;  // driver actions run inside the loop
};

struct Timer {
  Hwnd hwnd;
  std::uintptr_t id;
  std::chrono::milliseconds interval;
  Clock::time_point due;
  bool closeOnce;  // the demo's self-close: WM_CLOSE once
};

// One mutex guards the whole model; it is never held while a window procedure runs.
struct State {
  std::mutex mutex;
  std::condition_variable wake;
  std::map<std::string, WndProc> classes;
  std::map<Hwnd, Window> windows;
  std::deque<Entry> queue;
  std::vector<Timer> timers;
  std::uintptr_t nextHandle = 0x100;
  std::thread::id guiThread;
  bool autoCloseArmed = false;
  bool closeAsked = false;  // a WM_CLOSE was posted or fell due: the program is on its way out
  std::vector<Monitor> monitors;  // empty: the default monitor
  std::uint32_t systemDpi = 0;    // 0: JORV_DPI or 96
  bool fontsFail = false;
  std::map<Hwnd, Canvas*> paintTargets;
  std::unique_ptr<Canvas> scratch;
  std::deque<int> boxAnswers;
  std::vector<driver::MessageBoxShown> boxesShown;
  std::deque<std::optional<std::string>> folderAnswers;
  std::vector<std::string> folderPicksShown;
  std::deque<std::optional<std::string>> promptAnswers;
  std::vector<driver::PromptShown> promptsShown;
  std::vector<Monitor> desktopMonitors;
  backend::Factory factory = nullptr;
  backend::Backend* backend = nullptr;  // set once chosen, never destroyed
};

State& lf_state() {
  static State* state = new State;  // never destroyed: other threads may post during exit
  return *state;
}

// The desktop backend in use, or null; read without the lock by the dialogs.
std::atomic<backend::Backend*> g_backend{nullptr};

// With the model's lock held: the backend (if any) mirrors the change later.
void lf_changed(State& s, Hwnd hwnd) {
  if (s.backend) s.backend->changed(hwnd);
}

void lf_wake() {
  if (backend::Backend* b = g_backend.load()) b->wake();
}

Control* lf_control(State& s, Hwnd hwnd) {
  auto it = s.windows.find(hwnd);
  return it != s.windows.end() && it->second.control ? &*it->second.control : nullptr;
}

Window* lf_window(State& s, Hwnd hwnd) {
  auto it = s.windows.find(hwnd);
  return it != s.windows.end() ? &it->second : nullptr;
}

void lf_post(State& s, Entry entry) {
  {
    std::lock_guard lock(s.mutex);
    s.queue.push_back(std::move(entry));
  }
  s.wake.notify_all();
  lf_wake();
}

void lf_armAutoClose(State& s, Hwnd hwnd) {
  // JORV_AUTOCLOSE_SECONDS lets an unattended run close its main window as a user would.
  if (s.autoCloseArmed) return;
  const char* value = std::getenv("JORV_AUTOCLOSE_SECONDS");
  if (!value || !*value) return;
  char* end = nullptr;
  double seconds = std::strtod(value, &end);
  if (end == value || seconds <= 0 || seconds > 86400) return;
  s.autoCloseArmed = true;
  auto interval = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  s.timers.push_back(Timer{hwnd, 0, interval, Clock::now() + interval, true});
}

// JORV_SCREENSHOT names a PNG file for the window as the unattended run leaves it.
void lf_screenshotBeforeAutoClose(backend::Backend* desktop, Hwnd hwnd) {
  const char* file = std::getenv("JORV_SCREENSHOT");
  if (!file || !*file) return;
  const bool written = desktop ? desktop->screenshotPng(hwnd, file) : driver::renderPng(hwnd, file);
  if (!written) std::fprintf(stderr, "The window's picture could not be written to %s\n", file);
}

// One line for a text: tabs and line breaks inside it become blanks.
std::string lf_oneLine(std::string text) {
  std::replace_if(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return text;
}

// JORV_WINDOW_TEXTS names a file for every text the window shows as the unattended run leaves
// it, so that a test can read what a user read there: "painted\t<x>\t<y>\t<text>" for what the
// window draws (its logical units), "control\t<id>\t<text>" for each visible control.
void lf_windowTextsBeforeAutoClose(Hwnd hwnd) {
  const char* file = std::getenv("JORV_WINDOW_TEXTS");
  if (!file || !*file || !isWindow(hwnd)) return;
  const Rect client = clientRect(hwnd);
  Canvas canvas(std::max(client.width, 1), std::max(client.height, 1));
  paintWindow(hwnd, canvas);
  std::string text;
  for (const Primitive& p : canvas.record())
    if (p.kind == Primitive::Kind::Text && !p.points.empty())
      text += "painted\t" + std::to_string(p.points[0].x) + "\t" + std::to_string(p.points[0].y) + "\t" +
              lf_oneLine(p.text) + "\n";
  for (Hwnd child : childWindows(hwnd))
    if (isWindowVisible(child))
      text += "control\t" + std::to_string(getDlgCtrlId(child)) + "\t" + lf_oneLine(getWindowText(child)) + "\n";
  // A reader never sees half a file: written beside it, then renamed over it.
  const std::filesystem::path target(file);
  std::filesystem::path part = target;
  part += ".part";
  bool written = false;
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    written = static_cast<bool>(out);
  }
  std::error_code error;
  if (written) std::filesystem::rename(part, target, error);
  if (!written || error) {
    std::filesystem::remove(part, error);
    std::fprintf(stderr, "The window's texts could not be written to %s\n", file);
  }
}

std::uint32_t lf_systemDpi(const State& s) {
  if (s.systemDpi) return s.systemDpi;
  if (const char* value = std::getenv("JORV_DPI"); value && *value) {
    char* end = nullptr;
    long dpi = std::strtol(value, &end, 10);
    if (end != value && *end == 0 && dpi >= 48 && dpi <= 480) return static_cast<std::uint32_t>(dpi);
  }
  return USER_DEFAULT_DPI;
}

std::vector<Monitor> lf_monitors(const State& s) {
  if (!s.monitors.empty()) return s.monitors;
  if (!s.desktopMonitors.empty()) return s.desktopMonitors;
  return {Monitor{Rect{0, 0, 1920, 1080}, Rect{0, 0, 1920, 1040}, lf_systemDpi(s)}};
}

long long lf_overlap(Rect a, Rect b) {
  long long w = std::min<long long>(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
  long long h = std::min<long long>(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
  return w > 0 && h > 0 ? w * h : 0;
}

long long lf_distance(Rect a, Rect b) {
  auto gap = [](long long a0, long long a1, long long b0, long long b1) -> long long {
    if (a1 < b0) return b0 - a1;
    if (b1 < a0) return a0 - b1;
    return 0;
  };
  long long dx = gap(a.x, a.x + a.width, b.x, b.x + b.width);
  long long dy = gap(a.y, a.y + a.height, b.y, b.y + b.height);
  return dx * dx + dy * dy;
}

Monitor lf_nearestMonitor(const State& s, Rect rect) {
  auto monitors = lf_monitors(s);
  const Monitor* best = &monitors.front();
  long long bestOverlap = -1, bestDistance = 0;
  for (const auto& m : monitors) {
    long long overlap = lf_overlap(rect, m.area);
    long long distance = lf_distance(rect, m.area);
    if (overlap > bestOverlap || (overlap == 0 && bestOverlap == 0 && distance < bestDistance)) {
      best = &m;
      bestOverlap = overlap;
      bestDistance = distance;
    }
  }
  return *best;
}

// The headless frame: a thin border and a caption, both scaled with the DPI.
int lf_border(std::uint32_t dpi) { return mulDiv(3, static_cast<int>(dpi), 96); }
int lf_caption(std::uint32_t dpi) { return mulDiv(26, static_cast<int>(dpi), 96); }

Window* lf_topLevel(State& s, Hwnd hwnd) {
  Window* w = lf_window(s, hwnd);
  if (w && w->control) w = lf_window(s, w->parent);
  return w;
}

std::uint32_t lf_windowDpi(State& s, Hwnd hwnd) {
  Window* top = lf_topLevel(s, hwnd);
  return top ? lf_nearestMonitor(s, top->rect).dpi : lf_systemDpi(s);
}

Rect lf_clientRect(State& s, Hwnd hwnd) {
  Window* w = lf_window(s, hwnd);
  if (!w) return {};
  if (w->control) return Rect{0, 0, w->control->rect.width, w->control->rect.height};
  std::uint32_t dpi = lf_windowDpi(s, hwnd);
  return Rect{0, 0, std::max(0, w->rect.width - 2 * lf_border(dpi)),
              std::max(0, w->rect.height - lf_caption(dpi) - lf_border(dpi))};
}

void lf_invalidate(State& s, Hwnd hwnd, Window& w, std::optional<Rect> rect, bool erase, Rect client) {
  w.invalidations.push_back(Invalidation{rect.value_or(client), erase});
  lf_changed(s, hwnd);
}

Hwnd lf_findChild(State& s, Hwnd parent, int id) {
  for (auto& [handle, window] : s.windows)
    if (window.parent == parent && window.control && window.control->id == id) return handle;
  return Hwnd::null;
}

}  // namespace

bool registerClass(const WindowClass& windowClass) {
  if (windowClass.className.empty() || !windowClass.proc) return false;
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  return s.classes.emplace(windowClass.className, windowClass.proc).second;
}

Hwnd createWindow(std::string_view className, std::string_view title, Rect rect) {
  auto& s = lf_state();
  Hwnd hwnd;
  {
    std::lock_guard lock(s.mutex);
    auto cls = s.classes.find(std::string(className));
    if (cls == s.classes.end()) return Hwnd::null;
    hwnd = static_cast<Hwnd>(s.nextHandle++);
    s.windows[hwnd] = Window{std::string(className), std::string(title), rect, cls->second};
    s.guiThread = std::this_thread::get_id();
  }
  if (sendMessage(hwnd, WM_CREATE, 0, 0) == -1) {
    destroyWindow(hwnd);
    return Hwnd::null;
  }
  backend::Factory factory = nullptr;
  backend::Backend* desktop = nullptr;
  {
    std::lock_guard lock(s.mutex);
    lf_armAutoClose(s, hwnd);
    // Chosen once: a desktop that failed to open is not tried again.
    if (!s.backend && backend::wantsDesktop()) factory = std::exchange(s.factory, nullptr);
    desktop = s.backend;
  }
  if (factory && (desktop = factory()) != nullptr) {
    std::lock_guard lock(s.mutex);
    s.backend = desktop;
    g_backend = desktop;
  }
  if (desktop && !desktop->windowCreated(hwnd))
    std::fprintf(stderr, "The window could not be shown on the desktop; it runs without one\n");
  return hwnd;
}

bool destroyWindow(Hwnd hwnd) {
  auto& s = lf_state();
  {
    std::lock_guard lock(s.mutex);
    Window* w = lf_window(s, hwnd);
    if (!w || w->control) return false;
  }
  sendMessage(hwnd, WM_DESTROY, 0, 0);
  backend::Backend* desktop = nullptr;
  {
    std::lock_guard lock(s.mutex);
    std::erase_if(s.windows, [hwnd](const auto& kv) { return kv.first == hwnd || kv.second.parent == hwnd; });
    std::erase_if(s.timers, [hwnd](const Timer& t) { return t.hwnd == hwnd; });
    desktop = s.backend;
  }
  // The backend touches its widgets only without the model's lock.
  if (desktop) desktop->windowDestroyed(hwnd);
  return true;
}

bool isWindow(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  return s.windows.contains(hwnd);
}

bool isGuiThread() {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  return s.guiThread == std::this_thread::get_id();
}

bool closeIsWaiting() {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  if (s.closeAsked) return true;
  const auto now = Clock::now();
  return std::any_of(s.timers.begin(), s.timers.end(), [now](const Timer& t) { return t.closeOnce && t.due <= now; });
}

bool postMessage(Hwnd hwnd, std::uint32_t message, WParam wParam, LParam lParam) {
  auto& s = lf_state();
  {
    std::lock_guard lock(s.mutex);
    if (!s.windows.contains(hwnd)) return false;
    if (message == WM_CLOSE) s.closeAsked = true;
    s.queue.push_back(Entry{Msg{hwnd, message, wParam, lParam}, {}});
  }
  s.wake.notify_all();
  lf_wake();
  return true;
}

void postQuitMessage(int exitCode) {
  lf_post(lf_state(), Entry{Msg{Hwnd::null, WM_QUIT, static_cast<WParam>(exitCode), 0}, {}});
}

LResult sendMessage(Hwnd hwnd, std::uint32_t message, WParam wParam, LParam lParam) {
  auto& s = lf_state();
  WndProc proc = nullptr;
  {
    std::lock_guard lock(s.mutex);
    Window* w = lf_window(s, hwnd);
    if (!w) return 0;
    proc = w->control ? w->control->proc : w->proc;
  }
  return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

int getMessage(Msg& msg) {
  auto& s = lf_state();
  std::unique_lock lock(s.mutex);
  s.guiThread = std::this_thread::get_id();
  for (;;) {
    auto now = Clock::now();
    for (auto it = s.timers.begin(); it != s.timers.end(); ++it) {
      if (it->due > now) continue;
      Timer timer = *it;
      if (timer.closeOnce)
        s.timers.erase(it);
      else
        it->due = now + timer.interval;
      if (timer.closeOnce) {
        s.closeAsked = true;
        backend::Backend* desktop = s.backend;
        lock.unlock();
        lf_screenshotBeforeAutoClose(desktop, timer.hwnd);
        lf_windowTextsBeforeAutoClose(timer.hwnd);
        lock.lock();
      }
      msg = timer.closeOnce ? Msg{timer.hwnd, WM_CLOSE, 0, 0} : Msg{timer.hwnd, WM_TIMER, timer.id, 0};
      return 1;
    }
    if (!s.queue.empty()) {
      Entry entry = std::move(s.queue.front());
      s.queue.pop_front();
      if (entry.task) {
        lock.unlock();
        entry.task();
        lock.lock();
        continue;
      }
      msg = entry.msg;
      return msg.message == WM_QUIT ? 0 : 1;
    }
    std::optional<Clock::time_point> next;
    if (!s.timers.empty())
      next = std::min_element(s.timers.begin(), s.timers.end(),
                              [](const Timer& a, const Timer& b) { return a.due < b.due; })->due;
    if (backend::Backend* desktop = s.backend) {
      // The desktop's events are handled while the queue is empty; a post wakes them.
      lock.unlock();
      desktop->waitForEvents(next);
      lock.lock();
    } else if (next) {
      s.wake.wait_until(lock, *next);
    } else {
      s.wake.wait(lock);
    }
  }
}

LResult dispatchMessage(const Msg& msg) {
  return sendMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

LResult defWindowProc(Hwnd hwnd, std::uint32_t message, WParam, LParam) {
  if (message == WM_CLOSE) destroyWindow(hwnd);
  return 0;
}

void setTimer(Hwnd hwnd, std::uintptr_t id, unsigned intervalMs) {
  auto& s = lf_state();
  {
    std::lock_guard lock(s.mutex);
    std::erase_if(s.timers, [&](const Timer& t) { return !t.closeOnce && t.hwnd == hwnd && t.id == id; });
    auto interval = std::chrono::milliseconds(std::max(intervalMs, 1u));
    s.timers.push_back(Timer{hwnd, id, interval, Clock::now() + interval, false});
  }
  s.wake.notify_all();
  lf_wake();
}

void killTimer(Hwnd hwnd, std::uintptr_t id) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  std::erase_if(s.timers, [&](const Timer& t) { return !t.closeOnce && t.hwnd == hwnd && t.id == id; });
}

Hwnd createControl(Hwnd parent, ControlKind kind, int id, std::string_view text, Rect rect) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* p = lf_window(s, parent);
  if (!p || p->control) return Hwnd::null;
  Hwnd hwnd = static_cast<Hwnd>(s.nextHandle++);
  Window w;
  w.parent = parent;
  w.rect = rect;
  w.control = Control{kind, id, std::string(text), rect};
  s.windows[hwnd] = std::move(w);
  lf_changed(s, hwnd);
  return hwnd;
}

Hwnd getDlgItem(Hwnd parent, int id) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  return lf_findChild(s, parent, id);
}

int getDlgCtrlId(Hwnd control) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Control* c = lf_control(s, control);
  return c ? c->id : 0;
}

ControlKind controlKind(Hwnd control) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Control* c = lf_control(s, control);
  return c ? c->kind : ControlKind::Label;
}

void setControlProc(Hwnd control, WndProc proc) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  if (Control* c = lf_control(s, control)) c->proc = proc;
}

void setWindowText(Hwnd hwnd, std::string_view text) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  if (Window* w = lf_window(s, hwnd)) {
    (w->control ? w->control->text : w->title) = std::string(text);
    lf_changed(s, hwnd);
  }
}

std::string getWindowText(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, hwnd);
  if (!w) return {};
  return w->control ? w->control->text : w->title;
}

void enableWindow(Hwnd hwnd, bool enabled) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, hwnd);
  if (!w) return;
  (w->control ? w->control->enabled : w->enabled) = enabled;
  lf_changed(s, hwnd);
  // A control shows its new state at once (RedrawWindow after WM_ENABLE).
  if (w->control) lf_invalidate(s, hwnd, *w, std::nullopt, false, lf_clientRect(s, hwnd));
}

bool isWindowEnabled(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, hwnd);
  return w && (w->control ? w->control->enabled : w->enabled);
}

void showWindow(Hwnd hwnd, bool shown) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  if (Window* w = lf_window(s, hwnd)) {
    (w->control ? w->control->shown : w->shown) = shown;
    lf_changed(s, hwnd);
  }
}

bool isWindowVisible(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, hwnd);
  return w && (w->control ? w->control->shown : w->shown);
}

void moveWindow(Hwnd hwnd, Rect rect) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  if (Window* w = lf_window(s, hwnd)) {
    (w->control ? w->control->rect : w->rect) = rect;
    lf_changed(s, hwnd);
  }
}

Rect windowRect(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, hwnd);
  if (!w) return {};
  return w->control ? w->control->rect : w->rect;
}

void setCheck(Hwnd control, bool checked) { setCheckState(control, checked ? BST_CHECKED : BST_UNCHECKED); }

bool getCheck(Hwnd control) { return getCheckState(control) == BST_CHECKED; }

void setCheckState(Hwnd control, int state) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, control);
  if (!w || !w->control) return;
  w->control->checkState = state;
  // The control shows its new state at once (RedrawWindow after BM_SETCHECK).
  lf_invalidate(s, control, *w, std::nullopt, false, lf_clientRect(s, control));
}

int getCheckState(Hwnd control) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Control* c = lf_control(s, control);
  return c ? c->checkState : BST_UNCHECKED;
}

int comboAddString(Hwnd combo, std::string_view text) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Control* c = lf_control(s, combo);
  if (!c) return -1;
  c->items.emplace_back(text);
  lf_changed(s, combo);
  return static_cast<int>(c->items.size()) - 1;
}

void comboResetContent(Hwnd combo) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  if (Control* c = lf_control(s, combo)) {
    c->items.clear();
    c->selection = -1;
    c->text.clear();
    lf_changed(s, combo);
  }
}

void comboSetCurSel(Hwnd combo, int index) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Control* c = lf_control(s, combo);
  if (!c) return;
  if (index < 0 || index >= static_cast<int>(c->items.size())) {
    c->selection = -1;
    c->text.clear();
  } else {
    c->selection = index;
    c->text = c->items[static_cast<size_t>(index)];
  }
  lf_changed(s, combo);
}

int comboGetCurSel(Hwnd combo) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Control* c = lf_control(s, combo);
  return c ? c->selection : -1;
}

std::vector<std::string> comboItems(Hwnd combo) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Control* c = lf_control(s, combo);
  return c ? c->items : std::vector<std::string>{};
}

void resetForTest() {
  auto& s = lf_state();
  if (backend::Backend* desktop = g_backend.load()) desktop->reset();
  std::lock_guard lock(s.mutex);
  s.classes.clear();
  s.windows.clear();
  s.queue.clear();
  s.timers.clear();
  s.guiThread = {};
  s.autoCloseArmed = false;
  s.closeAsked = false;
  s.monitors.clear();
  s.systemDpi = 0;
  s.fontsFail = false;
  s.paintTargets.clear();
  s.scratch.reset();
  s.boxAnswers.clear();
  s.boxesShown.clear();
  s.folderAnswers.clear();
  s.folderPicksShown.clear();
  s.promptAnswers.clear();
  s.promptsShown.clear();
}

int mulDiv(int value, int numerator, int denominator) {
  if (denominator == 0) return -1;
  long long product = static_cast<long long>(value) * numerator;
  long long half = std::abs(static_cast<long long>(denominator)) / 2;
  bool negative = (product < 0) != (denominator < 0);
  long long magnitude = (std::abs(product) + half) / std::abs(static_cast<long long>(denominator));
  return static_cast<int>(negative ? -magnitude : magnitude);
}

std::vector<Hwnd> childWindows(Hwnd parent) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  std::vector<Hwnd> children;
  for (auto& [handle, window] : s.windows)  // handles grow, so this is creation order
    if (window.parent == parent && window.control) children.push_back(handle);
  return children;
}

bool setProcessDpiAwareness() { return true; }

std::uint32_t getDpiForSystem() {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  return lf_systemDpi(s);
}

std::uint32_t getDpiForWindow(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  return lf_windowDpi(s, hwnd);
}

Monitor monitorFromRect(Rect rect) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  return lf_nearestMonitor(s, rect);
}

void setMonitorsForTest(std::vector<Monitor> monitors) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  s.monitors = std::move(monitors);
}

void setSystemDpiForTest(std::uint32_t dpi) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  s.systemDpi = dpi;
}

Rect adjustWindowRectForDpi(int clientWidth, int clientHeight, std::uint32_t dpi) {
  return Rect{0, 0, clientWidth + 2 * lf_border(dpi), clientHeight + lf_caption(dpi) + lf_border(dpi)};
}

Rect clientRect(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  return lf_clientRect(s, hwnd);
}

bool setWindowPos(Hwnd hwnd, ZOrder zOrder, int x, int y, int width, int height, std::uint32_t flags) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, hwnd);
  if (!w) return false;
  Rect& rect = w->control ? w->control->rect : w->rect;
  if (!(flags & SWP_NOMOVE)) {
    rect.x = x;
    rect.y = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    rect.width = std::max(0, width);
    rect.height = std::max(0, height);
  }
  if (!(flags & SWP_NOZORDER) && zOrder != ZOrder::unchanged) w->topmost = zOrder == ZOrder::topmost;
  if (w->control) w->rect = rect;
  lf_changed(s, hwnd);
  return true;
}

bool isTopmost(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, hwnd);
  return w && w->topmost;
}

std::optional<WindowPlacement> getWindowPlacement(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, hwnd);
  if (!w || w->control) return std::nullopt;
  return WindowPlacement{w->showCmd, w->showCmd == SW_SHOWNORMAL ? w->rect : w->normalRect};
}

void setShowState(Hwnd hwnd, int showCmd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, hwnd);
  if (!w || w->control) return;
  if (w->showCmd == SW_SHOWNORMAL) w->normalRect = w->rect;
  if (showCmd == SW_SHOWMINIMIZED) {
    w->rect = Rect{-32000, -32000, 160, 28};  // where Windows parks a minimized window
  } else if (showCmd == SW_SHOWMAXIMIZED) {
    w->rect = lf_nearestMonitor(s, w->normalRect).workArea;
  } else {
    showCmd = SW_SHOWNORMAL;
    w->rect = w->normalRect;
  }
  w->showCmd = showCmd;
  lf_changed(s, hwnd);
}

FontHandle createFont(const Font& description) {
  auto& s = lf_state();
  {
    std::lock_guard lock(s.mutex);
    if (s.fontsFail) return nullptr;
  }
  return std::make_shared<const Font>(description);
}

void setFontCreationFailsForTest(bool fails) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  s.fontsFail = fails;
}

void setWindowFont(Hwnd hwnd, FontHandle font, bool redraw) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, hwnd);
  if (!w) return;
  w->font = std::move(font);
  lf_changed(s, hwnd);
  if (redraw) lf_invalidate(s, hwnd, *w, std::nullopt, true, lf_clientRect(s, hwnd));
}

FontHandle windowFont(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, hwnd);
  return w ? w->font : nullptr;
}

void invalidateRect(Hwnd hwnd, std::optional<Rect> rect, bool erase) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  if (Window* w = lf_window(s, hwnd)) lf_invalidate(s, hwnd, *w, rect, erase, lf_clientRect(s, hwnd));
}

std::vector<Invalidation> takeInvalidations(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, hwnd);
  if (!w) return {};
  return std::exchange(w->invalidations, {});
}

Canvas& beginPaint(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  if (auto it = s.paintTargets.find(hwnd); it != s.paintTargets.end()) return *it->second;
  Rect client = lf_clientRect(s, hwnd);
  s.scratch = std::make_unique<Canvas>(client.width, client.height);
  return *s.scratch;
}

void endPaint(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  if (Window* w = lf_window(s, hwnd)) w->invalidations.clear();
}

void paintWindow(Hwnd hwnd, Canvas& target) {
  auto& s = lf_state();
  {
    std::lock_guard lock(s.mutex);
    s.paintTargets[hwnd] = &target;
  }
  sendMessage(hwnd, WM_PAINT, 0, 0);
  std::lock_guard lock(s.mutex);
  s.paintTargets.erase(hwnd);
}

int messageBox(Hwnd owner, std::string_view text, std::string_view caption, unsigned type) {
  if (backend::Backend* desktop = g_backend.load()) return desktop->messageBox(owner, text, caption, type);
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  // Unscripted, the box is answered with its first button, as a user pressing Enter would.
  int answer = (type & 0xF) == MB_YESNO ? IDYES : IDOK;
  if (!s.boxAnswers.empty()) {
    answer = s.boxAnswers.front();
    s.boxAnswers.pop_front();
  }
  s.boxesShown.push_back(driver::MessageBoxShown{std::string(text), std::string(caption), type, answer});
  return answer;
}

std::optional<std::string> pickFolder(Hwnd owner, std::string_view initialFolder) {
  if (backend::Backend* desktop = g_backend.load()) return desktop->pickFolder(owner, initialFolder);
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  s.folderPicksShown.emplace_back(initialFolder);
  if (s.folderAnswers.empty()) return std::nullopt;  // unscripted: cancelled
  auto answer = std::move(s.folderAnswers.front());
  s.folderAnswers.pop_front();
  return answer;
}

std::optional<std::string> promptText(Hwnd owner, std::string_view title, std::string_view label,
                                      std::size_t maxChars) {
  std::optional<std::string> answer;
  if (backend::Backend* desktop = g_backend.load()) {
    answer = desktop->promptText(owner, title, label, maxChars);
  } else {
    auto& s = lf_state();
    std::lock_guard lock(s.mutex);
    s.promptsShown.push_back(driver::PromptShown{std::string(title), std::string(label), maxChars});
    if (!s.promptAnswers.empty()) {  // unscripted: cancelled
      answer = std::move(s.promptAnswers.front());
      s.promptAnswers.pop_front();
    }
  }
  // The limit holds whatever the dialog let through; it counts characters, not bytes.
  if (answer) {
    std::size_t chars = 0, cut = 0;
    for (; cut < answer->size(); ++cut) {
      if ((static_cast<unsigned char>((*answer)[cut]) & 0xC0) == 0x80) continue;
      if (chars++ == maxChars) break;
    }
    answer->resize(cut);
  }
  return answer;
}

namespace backend {

void registerFactory(Factory factory) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  if (!s.backend) s.factory = factory;
}

bool wantsDesktop() {
  const char* choice = std::getenv("JORV_UI");
  if (choice && std::strcmp(choice, "headless") == 0) return false;
  if (choice && std::strcmp(choice, "gtk") == 0) return true;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

void notePosition(Hwnd window, int x, int y, int showCmd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, window);
  if (!w || w->control) return;
  // The frame's size stays the model's: the client area follows from it.
  if (showCmd == SW_SHOWNORMAL) {
    if (w->showCmd != SW_SHOWNORMAL) w->rect = w->normalRect;
    w->rect.x = x;
    w->rect.y = y;
  } else if (w->showCmd == SW_SHOWNORMAL) {
    w->normalRect = w->rect;
  }
  w->showCmd = showCmd;
}

void setDesktopMonitors(std::vector<Monitor> monitors) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  s.desktopMonitors = std::move(monitors);
}

}  // namespace backend

namespace driver {
namespace {

void lf_notifyParent(Hwnd parent, int controlId, std::uint16_t code) {
  Hwnd control = getDlgItem(parent, controlId);
  if (control == Hwnd::null) return;
  sendMessage(parent, WM_COMMAND, makeWParam(static_cast<std::uint16_t>(controlId), code),
              static_cast<LParam>(control));
}

void lf_postTask(std::function<void()> task) {
  lf_post(lf_state(), Entry{Msg{}, std::move(task)});
}

}  // namespace

void click(Hwnd parent, int controlId) {
  lf_postTask([parent, controlId] {
    Hwnd control = getDlgItem(parent, controlId);
    if (control == Hwnd::null || !isWindowEnabled(control)) return;
    lf_notifyParent(parent, controlId, BN_CLICKED);
  });
}

void selectComboItem(Hwnd parent, int controlId, int index) {
  lf_postTask([parent, controlId, index] {
    Hwnd control = getDlgItem(parent, controlId);
    if (control == Hwnd::null || !isWindowEnabled(control)) return;
    comboSetCurSel(control, index);
    lf_notifyParent(parent, controlId, CBN_SELCHANGE);
  });
}

void typeText(Hwnd parent, int controlId, std::string_view text) {
  lf_postTask([parent, controlId, typed = std::string(text)] {
    Hwnd control = getDlgItem(parent, controlId);
    if (control == Hwnd::null || !isWindowEnabled(control)) return;
    setWindowText(control, typed);
    lf_notifyParent(parent, controlId, EN_CHANGE);
  });
}

void pressEnter(Hwnd parent, int controlId) {
  lf_postTask([parent, controlId] {
    Hwnd control = getDlgItem(parent, controlId);
    if (control == Hwnd::null || !isWindowEnabled(control)) return;
    sendMessage(control, WM_KEYDOWN, VK_RETURN, 0);
  });
}

void closeWindow(Hwnd hwnd) { postMessage(hwnd, WM_CLOSE, 0, 0); }

void runOnGuiThread(const std::function<void()>& fn) {
  std::promise<void> done;
  auto future = done.get_future();
  lf_postTask([&fn, &done] {
    fn();
    done.set_value();
  });
  future.wait();
}

void sync() {
  runOnGuiThread([] {});
}

int countQueued(Hwnd hwnd, std::uint32_t message) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  return static_cast<int>(std::count_if(s.queue.begin(), s.queue.end(), [&](const Entry& e) {
    return !e.task && e.msg.hwnd == hwnd && e.msg.message == message;
  }));
}

void answerMessageBoxes(std::vector<int> answers) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  s.boxAnswers.assign(answers.begin(), answers.end());
}

std::vector<MessageBoxShown> messageBoxesShown() {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  return s.boxesShown;
}

void answerFolderPicks(std::vector<std::optional<std::string>> answers) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  s.folderAnswers.assign(answers.begin(), answers.end());
}

std::vector<std::string> folderPicksShown() {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  return s.folderPicksShown;
}

void answerPrompts(std::vector<std::optional<std::string>> answers) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  s.promptAnswers.assign(answers.begin(), answers.end());
}

std::vector<PromptShown> promptsShown() {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  return s.promptsShown;
}

std::vector<Primitive> paintControl(Hwnd control) {
  Rect client = clientRect(control);
  Canvas canvas(client.width, client.height);
  paintWindow(control, canvas);
  return canvas.record();
}

bool renderPng(Hwnd window, const std::filesystem::path& file) {
  if (!isWindow(window)) return false;
  Rect client = clientRect(window);
  Canvas canvas(client.width, client.height);
  paintWindow(window, canvas);
  canvas.setMapping(canvas.width(), canvas.height());  // children paint in pixels
  for (Hwnd child : childWindows(window)) {
    if (!isWindowVisible(child)) continue;
    Rect r = windowRect(child);
    canvas.setOrigin(r.x, r.y);
    Rect own{0, 0, r.width, r.height};
    // The layer's plain look first: a box with the control's text. A closed combo box shows
    // one line; its window height is that of its opened list.
    if (controlKind(child) == ControlKind::ComboBox)
      own.height = std::min(own.height, mulDiv(23, static_cast<int>(getDpiForWindow(child)), 96));
    canvas.box(own, rgb(96, 96, 96), isWindowEnabled(child) ? rgb(240, 240, 240) : rgb(200, 200, 200));
    FontHandle font = windowFont(child);
    canvas.text(4, 2, getWindowText(child), font ? *font : Font{"Segoe UI", -12, 400}, rgb(0, 0, 0));
    // Then whatever the control's own procedure paints over it (owner-drawn check boxes).
    paintWindow(child, canvas);
  }
  canvas.setOrigin(0, 0);
  return canvas.writePng(file);
}

}  // namespace driver
}  // namespace ui
