// GTK 3 backend: a GtkWindow with a GtkFixed per top-level window, a drawing area under the
// controls for the painted bands, and one real widget per control. The window model stays the
// truth: a change marks the handle, and one idle source brings its widget up to date on the
// GUI thread. A user's action on a widget goes back through the driver, so the window sees it
// exactly as a click in the headless model.
#include "platform/ui_gtk.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/ui_backend.h"
#include "platform/ui_driver.h"

namespace ui::gtk {
namespace {

using Clock = std::chrono::steady_clock;

struct TopWidgets {
  GtkWidget* window = nullptr;
  GtkWidget* fixed = nullptr;
  GtkWidget* area = nullptr;  // the painted bands, under every control
};

struct ChildWidget {
  GtkWidget* widget = nullptr;
  ControlKind kind = ControlKind::Label;
  Hwnd parent = Hwnd::null;
  int id = 0;
  std::vector<std::string> items;  // what the combo box shows
};

// Changes made by the layer itself must not come back as the user's.
int g_quiet = 0;

struct Quiet {
  Quiet() { ++g_quiet; }
  ~Quiet() { --g_quiet; }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;
};

gpointer lf_handle(Hwnd hwnd) { return reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(hwnd)); }
Hwnd lf_hwnd(gpointer data) { return static_cast<Hwnd>(reinterpret_cast<std::uintptr_t>(data)); }

// What the window procedure painted, onto the widget's own cairo context.
void lf_blit(Canvas& canvas, cairo_t* cr) {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, canvas.width(), canvas.height());
  cairo_surface_flush(image);
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  for (int y = 0; y < canvas.height(); ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < canvas.width(); ++x) {
      const Color c = canvas.pixel(x, y);
      row[x] = (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
    }
  }
  cairo_surface_mark_dirty(image);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_paint(cr);
  cairo_surface_destroy(image);
}

gboolean lf_onDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  const Hwnd hwnd = lf_hwnd(data);
  if (!isWindow(hwnd)) return FALSE;
  Canvas canvas(gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget));
  paintWindow(hwnd, canvas);
  lf_blit(canvas, cr);
  return TRUE;
}

gboolean lf_onAreaPress(GtkWidget*, GdkEventButton* event, gpointer data) {
  if (event->type != GDK_BUTTON_PRESS || event->button != 1) return FALSE;
  postMessage(lf_hwnd(data), WM_LBUTTONDOWN, 0,
              makeLParam(static_cast<int>(std::lround(event->x)), static_cast<int>(std::lround(event->y))));
  return TRUE;
}

gboolean lf_onDelete(GtkWidget*, GdkEvent*, gpointer data) {
  // The close button asks; the window goes when its procedure says so.
  postMessage(lf_hwnd(data), WM_CLOSE, 0, 0);
  return TRUE;
}

int lf_showCmd(GtkWidget* window) {
  GdkWindow* gdk = gtk_widget_get_window(window);
  if (!gdk) return SW_SHOWNORMAL;
  const GdkWindowState state = gdk_window_get_state(gdk);
  if (state & GDK_WINDOW_STATE_ICONIFIED) return SW_SHOWMINIMIZED;
  if (state & GDK_WINDOW_STATE_MAXIMIZED) return SW_SHOWMAXIMIZED;
  return SW_SHOWNORMAL;
}

void lf_notePosition(GtkWidget* window, Hwnd hwnd) {
  int x = 0, y = 0;
  gtk_window_get_position(GTK_WINDOW(window), &x, &y);
  backend::notePosition(hwnd, x, y, lf_showCmd(window));
}

gboolean lf_onConfigure(GtkWidget* window, GdkEvent*, gpointer data) {
  lf_notePosition(window, lf_hwnd(data));
  return FALSE;
}

gboolean lf_onWindowState(GtkWidget* window, GdkEventWindowState*, gpointer data) {
  lf_notePosition(window, lf_hwnd(data));
  return FALSE;
}

// The user's actions, carried out by the driver in order with the posted messages.
struct ControlRef {
  Hwnd parent;
  int id;
};

void lf_freeRef(gpointer data, GClosure*) { delete static_cast<ControlRef*>(data); }

void lf_onClicked(GtkButton*, gpointer data) {
  if (g_quiet) return;
  auto* ref = static_cast<ControlRef*>(data);
  driver::click(ref->parent, ref->id);
}

gboolean lf_onCheckPress(GtkWidget*, GdkEventButton* event, gpointer data) {
  if (event->type != GDK_BUTTON_PRESS || event->button != 1) return FALSE;
  auto* ref = static_cast<ControlRef*>(data);
  driver::click(ref->parent, ref->id);
  return TRUE;
}

void lf_onComboChanged(GtkComboBox* combo, gpointer data) {
  if (g_quiet) return;
  auto* ref = static_cast<ControlRef*>(data);
  const int index = gtk_combo_box_get_active(combo);
  if (index >= 0) driver::selectComboItem(ref->parent, ref->id, index);
}

void lf_onEntryChanged(GtkEditable* entry, gpointer data) {
  if (g_quiet) return;
  auto* ref = static_cast<ControlRef*>(data);
  driver::typeText(ref->parent, ref->id, gtk_entry_get_text(GTK_ENTRY(entry)));
}

void lf_onEntryActivate(GtkEntry*, gpointer data) {
  auto* ref = static_cast<ControlRef*>(data);
  driver::pressEnter(ref->parent, ref->id);
}

template <typename Handler>
void lf_connect(GtkWidget* widget, const char* signal, Handler handler, Hwnd parent, int id) {
  g_signal_connect_data(widget, signal, G_CALLBACK(handler), new ControlRef{parent, id}, lf_freeRef,
                        GConnectFlags{});
}

// A long entry is cut short rather than widening the combo box past its place.
void lf_fitComboText(GtkWidget* combo) {
  GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(combo));
  for (GList* cell = cells; cell; cell = cell->next)
    g_object_set(cell->data, "ellipsize", PANGO_ELLIPSIZE_END, "width-chars", 1, nullptr);
  g_list_free(cells);
}

// Runs fn on the GUI thread and waits for its answer. A GUI thread that does not take the call
// within a few seconds is busy (it may be joining the very thread that asks): then the call is
// withdrawn and answered with the fallback, as an unattended dialog would be.
template <typename T>
T lf_onGuiThread(std::function<T()> fn, T fallback, const std::atomic<int>& liveWindows) {
  if (isGuiThread()) return fn();
  enum : int { pending, started, withdrawn };
  struct Call {
    std::function<T()> fn;
    std::promise<T> answer;
    std::atomic<int> state{pending};
  };
  auto call = std::make_shared<Call>();
  call->fn = std::move(fn);
  auto answer = call->answer.get_future();
  g_main_context_invoke_full(
      nullptr, G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        auto& c = **static_cast<std::shared_ptr<Call>*>(data);
        int expected = pending;
        if (c.state.compare_exchange_strong(expected, started)) c.answer.set_value(c.fn());
        return G_SOURCE_REMOVE;
      },
      new std::shared_ptr<Call>(call), [](gpointer data) { delete static_cast<std::shared_ptr<Call>*>(data); });
  const auto giveUp = Clock::now() + std::chrono::seconds(5);
  while (answer.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
    int expected = pending;
    if (liveWindows.load() == 0 || Clock::now() >= giveUp) {
      if (call->state.compare_exchange_strong(expected, withdrawn)) return fallback;
      if (liveWindows.load() == 0) return fallback;  // shown, but nobody is left to answer
    }
  }
  return answer.get();
}

// A modal dialog runs a loop of its own and holds up the window's: a close asked for meanwhile
// (a termination signal, the unattended run's timer) answers it as its close box would.
gint lf_runDialog(GtkWidget* dialog) {
  struct Watch {
    GtkWidget* dialog;
    bool fired = false;
  } watch{dialog};
  const guint source = g_timeout_add(
      100,
      [](gpointer data) -> gboolean {
        auto& w = *static_cast<Watch*>(data);
        if (!closeIsWaiting()) return G_SOURCE_CONTINUE;
        w.fired = true;
        gtk_dialog_response(GTK_DIALOG(w.dialog), GTK_RESPONSE_DELETE_EVENT);
        return G_SOURCE_REMOVE;
      },
      &watch);
  const gint response = closeIsWaiting() ? GTK_RESPONSE_DELETE_EVENT : gtk_dialog_run(GTK_DIALOG(dialog));
  if (!watch.fired) g_source_remove(source);
  return response;
}

class GtkBackend final : public backend::Backend {
 public:
  bool windowCreated(Hwnd window) override {
    TopWidgets top;
    top.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_resizable(GTK_WINDOW(top.window), FALSE);
    top.fixed = gtk_fixed_new();
    top.area = gtk_drawing_area_new();
    gtk_widget_add_events(top.area, GDK_BUTTON_PRESS_MASK);
    gtk_fixed_put(GTK_FIXED(top.fixed), top.area, 0, 0);
    gtk_container_add(GTK_CONTAINER(top.window), top.fixed);
    g_signal_connect(top.area, "draw", G_CALLBACK(lf_onDraw), lf_handle(window));
    g_signal_connect(top.area, "button-press-event", G_CALLBACK(lf_onAreaPress), lf_handle(window));
    g_signal_connect(top.window, "delete-event", G_CALLBACK(lf_onDelete), lf_handle(window));
    g_signal_connect(top.window, "configure-event", G_CALLBACK(lf_onConfigure), lf_handle(window));
    g_signal_connect(top.window, "window-state-event", G_CALLBACK(lf_onWindowState), lf_handle(window));
    gtk_widget_show(top.fixed);
    gtk_widget_show(top.area);
    tops_[window] = top;
    ++liveWindows_;
    const Rect rect = windowRect(window);
    gtk_window_move(GTK_WINDOW(top.window), rect.x, rect.y);
    for (Hwnd child : childWindows(window)) syncControl(child);
    syncTop(window);
    return true;
  }

  void windowDestroyed(Hwnd window) override {
    auto it = tops_.find(window);
    if (it == tops_.end()) return;
    std::erase_if(children_, [window](const auto& kv) { return kv.second.parent == window; });
    GtkWidget* gtkWindow = it->second.window;
    tops_.erase(it);
    --liveWindows_;
    gtk_widget_destroy(gtkWindow);
  }

  void changed(Hwnd hwnd) override {
    std::lock_guard lock(dirtyMutex_);
    dirty_.insert(hwnd);
    if (idleQueued_) return;
    idleQueued_ = true;
    g_idle_add_full(G_PRIORITY_HIGH_IDLE, &GtkBackend::onIdle, this, nullptr);
  }

  void wake() override { g_main_context_wakeup(nullptr); }

  void waitForEvents(std::optional<Clock::time_point> deadline) override {
    GSource* timeout = nullptr;
    if (deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
      if (left <= 0) {
        g_main_context_iteration(nullptr, FALSE);
        return;
      }
      // Only wakes the loop; the timer itself is the model's.
      timeout = g_timeout_source_new(static_cast<guint>(std::min<long long>(left, 60'000)));
      g_source_set_callback(timeout, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
      g_source_attach(timeout, nullptr);
    }
    g_main_context_iteration(nullptr, TRUE);
    if (timeout) {
      g_source_destroy(timeout);
      g_source_unref(timeout);
    }
  }

  int messageBox(Hwnd owner, std::string_view text, std::string_view caption, unsigned type) override {
    const unsigned buttons = type & 0xF;
    const int fallback = buttons == MB_YESNO ? IDYES : IDOK;
    return lf_onGuiThread<int>(
        [this, owner, text = std::string(text), caption = std::string(caption), type, buttons] {
          GtkMessageType kind = GTK_MESSAGE_OTHER;
          switch (type & 0xF0) {
            case MB_ICONERROR: kind = GTK_MESSAGE_ERROR; break;
            case MB_ICONQUESTION: kind = GTK_MESSAGE_QUESTION; break;
            case MB_ICONEXCLAMATION: kind = GTK_MESSAGE_WARNING; break;
            case MB_ICONINFORMATION: kind = GTK_MESSAGE_INFO; break;
            default: break;
          }
          GtkButtonsType shown = buttons == MB_YESNO      ? GTK_BUTTONS_YES_NO
                                 : buttons == MB_OKCANCEL ? GTK_BUTTONS_OK_CANCEL
                                                          : GTK_BUTTONS_OK;
          GtkWidget* dialog =
              gtk_message_dialog_new(parentOf(owner), GTK_DIALOG_MODAL, kind, shown, "%s", text.c_str());
          gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
          const int response = lf_runDialog(dialog);
          gtk_widget_destroy(dialog);
          switch (response) {
            case GTK_RESPONSE_YES: return IDYES;
            case GTK_RESPONSE_NO: return IDNO;
            case GTK_RESPONSE_OK: return IDOK;
            case GTK_RESPONSE_CANCEL: return IDCANCEL;
            default:  // closed by the frame
              return buttons == MB_YESNO ? IDNO : buttons == MB_OKCANCEL ? IDCANCEL : IDOK;
          }
        },
        fallback, liveWindows_);
  }

  std::optional<std::string> pickFolder(Hwnd owner, std::string_view initialFolder) override {
    return lf_onGuiThread<std::optional<std::string>>(
        [this, owner, initial = std::string(initialFolder)]() -> std::optional<std::string> {
          GtkWidget* dialog = gtk_file_chooser_dialog_new("Select folder", parentOf(owner),
                                                          GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancel",
                                                          GTK_RESPONSE_CANCEL, "_Select", GTK_RESPONSE_ACCEPT, nullptr);
          if (!initial.empty()) gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), initial.c_str());
          std::optional<std::string> picked;
          if (lf_runDialog(dialog) == GTK_RESPONSE_ACCEPT) {
            if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
              if (gchar* utf8 = g_filename_to_utf8(name, -1, nullptr, nullptr, nullptr)) {
                picked = utf8;
                g_free(utf8);
              }
              g_free(name);
            }
          }
          gtk_widget_destroy(dialog);
          return picked;
        },
        std::nullopt, liveWindows_);
  }

  std::optional<std::string> promptText(Hwnd owner, std::string_view title, std::string_view label,
                                        std::size_t maxChars) override {
    return lf_onGuiThread<std::optional<std::string>>(
        [this, owner, title = std::string(title), label = std::string(label),
         maxChars]() -> std::optional<std::string> {
          GtkWidget* dialog = gtk_dialog_new_with_buttons(title.c_str(), parentOf(owner), GTK_DIALOG_MODAL, "_OK",
                                                          GTK_RESPONSE_OK, "_Cancel", GTK_RESPONSE_CANCEL, nullptr);
          gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
          GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
          gtk_container_set_border_width(GTK_CONTAINER(box), 8);
          GtkWidget* entry = gtk_entry_new();
          gtk_entry_set_max_length(GTK_ENTRY(entry), static_cast<gint>(std::min<std::size_t>(maxChars, 65535)));
          gtk_entry_set_width_chars(GTK_ENTRY(entry), static_cast<gint>(std::min<std::size_t>(maxChars, 60)));
          gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
          gtk_box_pack_start(GTK_BOX(box), gtk_label_new(label.c_str()), FALSE, FALSE, 0);
          gtk_box_pack_start(GTK_BOX(box), entry, TRUE, TRUE, 0);
          gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), box);
          gtk_widget_show_all(box);
          std::optional<std::string> typed;
          if (lf_runDialog(dialog) == GTK_RESPONSE_OK) typed = gtk_entry_get_text(GTK_ENTRY(entry));
          gtk_widget_destroy(dialog);
          return typed;
        },
        std::nullopt, liveWindows_);
  }

  bool screenshotPng(Hwnd window, const std::filesystem::path& file) override {
    return ui::gtk::screenshotPng(window, file);
  }

  void reset() override {
    {
      std::lock_guard lock(dirtyMutex_);
      dirty_.clear();
    }
    children_.clear();
    for (auto& [hwnd, top] : tops_) gtk_widget_destroy(top.window);
    tops_.clear();
    liveWindows_ = 0;
  }

  GtkWidget* widgetOf(Hwnd hwnd) const {
    if (auto it = tops_.find(hwnd); it != tops_.end()) return it->second.window;
    if (auto it = children_.find(hwnd); it != children_.end()) return it->second.widget;
    return nullptr;
  }

  const TopWidgets* top(Hwnd hwnd) const {
    auto it = tops_.find(hwnd);
    return it == tops_.end() ? nullptr : &it->second;
  }

  void syncWaiting() {
    std::set<Hwnd> waiting;
    {
      std::lock_guard lock(dirtyMutex_);
      waiting.swap(dirty_);
      idleQueued_ = false;
    }
    for (Hwnd hwnd : waiting) {
      if (tops_.contains(hwnd))
        syncTop(hwnd);
      else
        syncControl(hwnd);
    }
  }

 private:
  static gboolean onIdle(gpointer self) {
    static_cast<GtkBackend*>(self)->syncWaiting();
    return G_SOURCE_REMOVE;
  }

  GtkWindow* parentOf(Hwnd owner) const {
    if (auto it = tops_.find(owner); it != tops_.end()) return GTK_WINDOW(it->second.window);
    if (auto it = children_.find(owner); it != children_.end()) return parentOf(it->second.parent);
    return tops_.empty() ? nullptr : GTK_WINDOW(tops_.begin()->second.window);
  }

  void syncTop(Hwnd hwnd) {
    auto it = tops_.find(hwnd);
    if (it == tops_.end()) return;
    TopWidgets& top = it->second;
    if (!isWindow(hwnd)) return;
    GtkWindow* window = GTK_WINDOW(top.window);
    gtk_window_set_title(window, getWindowText(hwnd).c_str());
    const Rect client = clientRect(hwnd);
    gtk_widget_set_size_request(top.area, client.width, client.height);
    gtk_widget_set_size_request(top.fixed, client.width, client.height);
    const Rect rect = windowRect(hwnd);
    const auto placement = getWindowPlacement(hwnd);
    const int showCmd = placement ? placement->showCmd : SW_SHOWNORMAL;
    if (showCmd == SW_SHOWNORMAL) {
      int x = 0, y = 0;
      gtk_window_get_position(window, &x, &y);
      if (x != rect.x || y != rect.y) gtk_window_move(window, rect.x, rect.y);
    }
    gtk_window_set_keep_above(window, isTopmost(hwnd));
    if (isWindowVisible(hwnd) != static_cast<bool>(gtk_widget_get_visible(top.window)))
      gtk_widget_set_visible(top.window, isWindowVisible(hwnd));
    if (showCmd != lf_showCmd(top.window)) {
      if (showCmd == SW_SHOWMINIMIZED) {
        gtk_window_iconify(window);
      } else {
        gtk_window_deiconify(window);
        if (showCmd == SW_SHOWMAXIMIZED)
          gtk_window_maximize(window);
        else
          gtk_window_unmaximize(window);
      }
    }
    gtk_widget_queue_draw(top.area);
  }

  void makeControl(Hwnd hwnd, Hwnd parent, const TopWidgets& top) {
    ChildWidget child;
    child.kind = controlKind(hwnd);
    child.parent = parent;
    child.id = getDlgCtrlId(hwnd);
    switch (child.kind) {
      case ControlKind::Button:
        child.widget = gtk_button_new_with_label("");
        lf_connect(child.widget, "clicked", lf_onClicked, parent, child.id);
        break;
      case ControlKind::CheckBox:
        // Drawn by the window's own procedure, as the option panel wants it.
        child.widget = gtk_drawing_area_new();
        gtk_widget_add_events(child.widget, GDK_BUTTON_PRESS_MASK);
        g_signal_connect(child.widget, "draw", G_CALLBACK(lf_onDraw), lf_handle(hwnd));
        lf_connect(child.widget, "button-press-event", lf_onCheckPress, parent, child.id);
        break;
      case ControlKind::ComboBox:
        child.widget = gtk_combo_box_text_new();
        lf_fitComboText(child.widget);
        lf_connect(child.widget, "changed", lf_onComboChanged, parent, child.id);
        break;
      case ControlKind::Edit:
        child.widget = gtk_entry_new();
        gtk_entry_set_width_chars(GTK_ENTRY(child.widget), 1);
        lf_connect(child.widget, "changed", lf_onEntryChanged, parent, child.id);
        lf_connect(child.widget, "activate", lf_onEntryActivate, parent, child.id);
        break;
      case ControlKind::Label:
        child.widget = gtk_label_new("");
        gtk_label_set_xalign(GTK_LABEL(child.widget), 0);
        break;
    }
    gtk_widget_set_name(child.widget, "jorv-control");
    const Rect rect = windowRect(hwnd);
    gtk_fixed_put(GTK_FIXED(top.fixed), child.widget, rect.x, rect.y);
    children_[hwnd] = std::move(child);
  }

  void syncControl(Hwnd hwnd) {
    auto it = children_.find(hwnd);
    if (it == children_.end()) {
      if (!isWindow(hwnd)) return;
      // A control's parent is its top-level window: find which one shows it.
      for (auto& [handle, top] : tops_) {
        if (getDlgItem(handle, getDlgCtrlId(hwnd)) != hwnd) continue;
        makeControl(hwnd, handle, top);
        break;
      }
      it = children_.find(hwnd);
      if (it == children_.end()) return;
    }
    ChildWidget& child = it->second;
    if (!isWindow(hwnd)) {
      gtk_widget_destroy(child.widget);
      children_.erase(it);
      return;
    }
    const TopWidgets* parentTop = top(child.parent);
    if (!parentTop) return;
    Quiet quiet;
    Rect rect = windowRect(hwnd);
    // A closed combo box is one line high; its window height is that of its opened list.
    if (child.kind == ControlKind::ComboBox)
      rect.height = std::min(rect.height, mulDiv(23, static_cast<int>(getDpiForWindow(hwnd)), 96));
    gtk_fixed_move(GTK_FIXED(parentTop->fixed), child.widget, rect.x, rect.y);
    gtk_widget_set_size_request(child.widget, std::max(rect.width, 1), std::max(rect.height, 1));
    gtk_widget_set_sensitive(child.widget, isWindowEnabled(hwnd));
    gtk_widget_set_visible(child.widget, isWindowVisible(hwnd));
    const std::string text = getWindowText(hwnd);
    switch (child.kind) {
      case ControlKind::Button:
        gtk_button_set_label(GTK_BUTTON(child.widget), text.c_str());
        break;
      case ControlKind::Label:
        gtk_label_set_text(GTK_LABEL(child.widget), text.c_str());
        break;
      case ControlKind::Edit:
        if (text != gtk_entry_get_text(GTK_ENTRY(child.widget))) gtk_entry_set_text(GTK_ENTRY(child.widget), text.c_str());
        break;
      case ControlKind::ComboBox: {
        auto items = comboItems(hwnd);
        auto* combo = GTK_COMBO_BOX_TEXT(child.widget);
        if (items != child.items) {
          gtk_combo_box_text_remove_all(combo);
          for (const auto& item : items) gtk_combo_box_text_append_text(combo, item.c_str());
          child.items = std::move(items);
        }
        const int selection = comboGetCurSel(hwnd);
        if (gtk_combo_box_get_active(GTK_COMBO_BOX(combo)) != selection)
          gtk_combo_box_set_active(GTK_COMBO_BOX(combo), selection);
        break;
      }
      case ControlKind::CheckBox:
        gtk_widget_queue_draw(child.widget);
        break;
    }
  }

  std::map<Hwnd, TopWidgets> tops_;      // GUI thread only
  std::map<Hwnd, ChildWidget> children_;  // GUI thread only
  std::atomic<int> liveWindows_{0};
  std::mutex dirtyMutex_;
  std::set<Hwnd> dirty_;
  bool idleQueued_ = false;
};

GtkBackend* g_gtk = nullptr;

// Compact controls, so that they fit the places the layout gives them.
constexpr const char* kStyle =
    "#jorv-control { font-family: \"Segoe UI\", sans-serif; font-size: 9pt; }\n"
    "button#jorv-control, #jorv-control button, entry#jorv-control {"
    " min-height: 0; padding: 0 4px; margin: 0; }\n";

GtkBackend* g_gtkAtExit = nullptr;

// The canvas hands cairo's font caches back at exit, which cairo allows only once nobody holds
// a font: the widgets and pango's font map go first.
void lf_releaseFontsAtExit() {
  if (g_gtkAtExit) g_gtkAtExit->reset();
  pango_cairo_font_map_set_default(nullptr);
}

backend::Backend* lf_make() {
  useFontStandIns();  // before pango looks at the fonts
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "GTK could not open the display\n");
    return nullptr;
  }
  {
    // Text makes the canvas arm its own exit handler; ours, armed after it, runs before it.
    Canvas arm(1, 1);
    arm.text(0, 0, " ", Font{}, Color{});
  }
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kStyle, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);

  // GTK scales for a high-DPI monitor itself, so the layout keeps the system DPI.
  std::vector<Monitor> monitors;
  GdkDisplay* display = gdk_display_get_default();
  for (int i = 0, n = gdk_display_get_n_monitors(display); i < n; ++i) {
    GdkMonitor* monitor = gdk_display_get_monitor(display, i);
    GdkRectangle area, work;
    gdk_monitor_get_geometry(monitor, &area);
    gdk_monitor_get_workarea(monitor, &work);
    monitors.push_back(Monitor{Rect{area.x, area.y, area.width, area.height},
                               Rect{work.x, work.y, work.width, work.height}, getDpiForSystem()});
  }
  backend::setDesktopMonitors(std::move(monitors));
  g_gtk = new GtkBackend;  // lives as long as the process: other threads may still post
  g_gtkAtExit = g_gtk;
  std::atexit(lf_releaseFontsAtExit);
  return g_gtk;
}

[[maybe_unused]] const bool g_registered = (backend::registerFactory(lf_make), true);

}  // namespace

bool inUse() { return g_gtk != nullptr; }

GtkWidget* widgetOf(Hwnd hwnd) { return g_gtk ? g_gtk->widgetOf(hwnd) : nullptr; }

void settle() {
  if (!g_gtk) return;
  // Bounded: a widget that keeps asking to be redrawn must not hold the caller forever.
  for (int round = 0; round < 1000; ++round) {
    g_gtk->syncWaiting();
    if (!g_main_context_iteration(nullptr, FALSE)) break;
  }
}

bool screenshotPng(Hwnd window, const std::filesystem::path& file) {
  if (!g_gtk) return false;
  const TopWidgets* top = g_gtk->top(window);
  if (!top) return false;
  // The window is laid out on the display's next frame; wait for it a little.
  const Rect client = clientRect(window);
  for (int round = 0; round < 200; ++round) {
    settle();
    if (gtk_widget_get_allocated_width(top->fixed) >= client.width &&
        gtk_widget_get_allocated_height(top->fixed) >= client.height)
      break;
    g_usleep(5000);
  }
  const int width = gtk_widget_get_allocated_width(top->fixed);
  const int height = gtk_widget_get_allocated_height(top->fixed);
  if (width <= 1 || height <= 1) return false;
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(image);
  gtk_widget_draw(top->fixed, cr);
  cairo_destroy(cr);
  std::filesystem::path temporary = file;
  temporary += ".tmp";
  bool ok = cairo_surface_write_to_png(image, temporary.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(image);
  std::error_code error;
  if (ok) std::filesystem::rename(temporary, file, error);
  if (!ok || error) std::filesystem::remove(temporary, error);
  return ok && !error;
}

}  // namespace ui::gtk
