// Headless backend: the windows and controls live in memory; the message loop is real.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/ui.h"
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
  bool checked = false;
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
};

State& lf_state() {
  static State* state = new State;  // never destroyed: other threads may post during exit
  return *state;
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
  std::lock_guard lock(s.mutex);
  lf_armAutoClose(s, hwnd);
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
  std::lock_guard lock(s.mutex);
  std::erase_if(s.windows, [hwnd](const auto& kv) { return kv.first == hwnd || kv.second.parent == hwnd; });
  std::erase_if(s.timers, [hwnd](const Timer& t) { return t.hwnd == hwnd; });
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

bool postMessage(Hwnd hwnd, std::uint32_t message, WParam wParam, LParam lParam) {
  auto& s = lf_state();
  {
    std::lock_guard lock(s.mutex);
    if (!s.windows.contains(hwnd)) return false;
    s.queue.push_back(Entry{Msg{hwnd, message, wParam, lParam}, {}});
  }
  s.wake.notify_all();
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
    if (s.timers.empty()) {
      s.wake.wait(lock);
    } else {
      auto next = std::min_element(s.timers.begin(), s.timers.end(),
                                   [](const Timer& a, const Timer& b) { return a.due < b.due; })->due;
      s.wake.wait_until(lock, next);
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
  if (Window* w = lf_window(s, hwnd)) (w->control ? w->control->text : w->title) = std::string(text);
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
  if (Window* w = lf_window(s, hwnd)) (w->control ? w->control->enabled : w->enabled) = enabled;
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
  if (Window* w = lf_window(s, hwnd)) (w->control ? w->control->shown : w->shown) = shown;
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
  if (Window* w = lf_window(s, hwnd)) (w->control ? w->control->rect : w->rect) = rect;
}

Rect windowRect(Hwnd hwnd) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Window* w = lf_window(s, hwnd);
  if (!w) return {};
  return w->control ? w->control->rect : w->rect;
}

void setCheck(Hwnd control, bool checked) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  if (Control* c = lf_control(s, control)) c->checked = checked;
}

bool getCheck(Hwnd control) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Control* c = lf_control(s, control);
  return c && c->checked;
}

int comboAddString(Hwnd combo, std::string_view text) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  Control* c = lf_control(s, combo);
  if (!c) return -1;
  c->items.emplace_back(text);
  return static_cast<int>(c->items.size()) - 1;
}

void comboResetContent(Hwnd combo) {
  auto& s = lf_state();
  std::lock_guard lock(s.mutex);
  if (Control* c = lf_control(s, combo)) {
    c->items.clear();
    c->selection = -1;
    c->text.clear();
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
  std::lock_guard lock(s.mutex);
  s.classes.clear();
  s.windows.clear();
  s.queue.clear();
  s.timers.clear();
  s.guiThread = {};
  s.autoCloseArmed = false;
}

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
    if (controlKind(control) == ControlKind::CheckBox) setCheck(control, !getCheck(control));
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

}  // namespace driver
}  // namespace ui
