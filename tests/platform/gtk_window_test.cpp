// The main window as a real GTK window on an Xvfb display of the test's own.
#include <fcntl.h>
#include <gtk/gtk.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "appbase/messages.h"
#include "app/option_controls.h"
#include "platform/canvas.h"
#include "platform/ui_gtk.h"
#include "tests/app/window_fixture.h"

extern char** environ;

namespace {
using namespace window_test;

// An Xvfb server that picks a free display number itself (-displayfd).
class Xvfb {
 public:
  bool start() {
    std::string binary;
    for (const char* candidate : {"/usr/bin/Xvfb", "/usr/local/bin/Xvfb"})
      if (binary.empty() && ::access(candidate, X_OK) == 0) binary = candidate;
    if (binary.empty()) return false;
    int fds[2];
    if (::pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string fd = std::to_string(fds[1]);
    const char* argv[] = {binary.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
                          "-nolisten", "tcp", nullptr};
    const int rc = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
      ::close(fds[0]);
      pid_ = 0;
      return false;
    }
    // The server writes its display number once it accepts connections.
    std::string number;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (number.empty()) return false;
    display_ = ":" + number;
    return true;
  }
  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = 0;
  }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = 0;
  std::string display_;
};

Xvfb g_xvfb;
bool g_xvfbRunning = false;

class GtkWindowTest : public WindowTest {
 protected:
  static void SetUpTestSuite() {
    g_xvfbRunning = g_xvfb.start();
    if (!g_xvfbRunning) return;
    ::setenv("DISPLAY", g_xvfb.display().c_str(), 1);
    ::setenv("JORV_UI", "gtk", 1);
    ::setenv("GDK_BACKEND", "x11", 1);
    ::setenv("NO_AT_BRIDGE", "1", 1);  // no accessibility bus on a bare display
  }
  static void TearDownTestSuite() {
    if (!g_xvfbRunning) return;
    g_xvfb.stop();
    ::unsetenv("JORV_UI");
  }

  void SetUp() override {
    if (!g_xvfbRunning) GTEST_SKIP() << "Xvfb is not installed";
    WindowTest::SetUp();
    std::filesystem::create_directories(g_programFolder.get());
    ASSERT_TRUE(startGui());
    ASSERT_TRUE(ui::gtk::inUse());
    ui::driver::runOnGuiThread([] {
      lf_initOptionControls();
      ui::gtk::settle();
    });
  }

  GtkWidget* widget(const GuiControl& control) { return ui::gtk::widgetOf(control.window); }

  // Settles on the GUI thread until the condition holds (the display answers asynchronously).
  bool settleUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 200; ++i) {
      bool met = false;
      ui::driver::runOnGuiThread([&] {
        ui::gtk::settle();
        met = condition();
      });
      if (met) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
};

// A press of the left button on the widget, as the display would deliver it.
void pressOn(GtkWidget* widget) {
  GdkEvent* event = gdk_event_new(GDK_BUTTON_PRESS);
  event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
  event->button.button = 1;
  event->button.x = 4;
  event->button.y = 4;
  event->button.device = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
  gtk_widget_event(widget, event);
  gdk_event_free(event);
}

TEST_F(GtkWindowTest, TheWidgetsActForTheUserAndShowTheModel) {
  GtkWidget* window = ui::gtk::widgetOf(window_);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(gtk_widget_get_visible(window));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "JORV");

  // The owner-drawn check box: flipped by its handler, saved and published.
  ASSERT_NE(widget(RANDOM), nullptr);
  ui::driver::runOnGuiThread([&] { pressOn(widget(RANDOM)); });
  ui::driver::sync();
  EXPECT_FALSE(ui::getCheck(RANDOM.window));
  EXPECT_EQ(lastSaved("RANDOM"), "false");
  EXPECT_FALSE(g_parameterSnapshot.load()->random);

  // A combo entry picked in the widget's list.
  ASSERT_EQ(ui::comboItems(MAX_LIVE_SEL.window).size(), g_maxSelValues.size());
  ui::driver::runOnGuiThread([&] { gtk_combo_box_set_active(GTK_COMBO_BOX(widget(MAX_LIVE_SEL)), 2); });
  ui::driver::sync();
  EXPECT_EQ(ui::comboGetCurSel(MAX_LIVE_SEL.window), 2);
  EXPECT_EQ(g_parameterSnapshot.load()->maxLiveSel, 10u);
  EXPECT_FALSE(lastSaved("MAX_LIVE_SEL").empty());

  // The destination typed, and Enter handled by its own procedure.
  ui::driver::runOnGuiThread([&] {
    gtk_entry_set_text(GTK_ENTRY(widget(DESTINATION)), "EHA");
    g_signal_emit_by_name(widget(DESTINATION), "activate");
  });
  ui::driver::sync();
  EXPECT_EQ(g_gui.statusLine, "destination 'EHA' is not valid");

  // Another thread's changes reach the widgets without coming back as the user's.
  const std::int32_t depth = MATCHING_DEPTH.value;
  ui::comboSetCurSel(MATCHING_DEPTH.window, 3);
  ui::enableWindow(PARK_BUTTON.window, false);
  ui::setWindowText(PARK_BUTTON.window, "Parked");
  EXPECT_TRUE(settleUntil([&] {
    return gtk_combo_box_get_active(GTK_COMBO_BOX(widget(MATCHING_DEPTH))) == 3 &&
           !gtk_widget_get_sensitive(widget(PARK_BUTTON)) &&
           std::string(gtk_button_get_label(GTK_BUTTON(widget(PARK_BUTTON)))) == "Parked";
  }));
  ui::driver::sync();
  EXPECT_EQ(MATCHING_DEPTH.value.load(), depth);

  // What the desktop shows: the painting and the controls over it.
  const auto png = root_ / "window.png";
  bool written = false;
  ui::driver::runOnGuiThread([&] { written = ui::gtk::screenshotPng(window_, png); });
  ASSERT_TRUE(written);
  if (const char* copy = std::getenv("JORV_GTK_SCREENSHOT"))
    std::filesystem::copy_file(png, copy, std::filesystem::copy_options::overwrite_existing);
  cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
  ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
  const ui::Rect client = ui::clientRect(window_);
  EXPECT_EQ(cairo_image_surface_get_width(image), client.width);
  EXPECT_EQ(cairo_image_surface_get_height(image), client.height);
  // The unticked RANDOM box: a grey frame around a white interior, where the layout put it.
  const ui::Rect box = ui::windowRect(RANDOM.window);
  cairo_surface_flush(image);
  const unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  auto pixel = [&](int x, int y) {
    return *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4) & 0xFFFFFF;
  };
  EXPECT_EQ(pixel(box.x + box.width / 2, box.y + box.height / 2), 0xFFFFFFu);
  EXPECT_EQ(pixel(box.x, box.y + box.height / 2), 0x606060u);
  cairo_surface_destroy(image);
}

// At 96 DPI, where painted units are pixels: a button's or label's natural width within the
// width the layout gives it, and each painted text (the check boxes' labels among them) short of
// the next control or panel line to its right on its row, and of the window's edge.
TEST_F(GtkWindowTest, EveryTextFitsItsPlace) {
  std::vector<std::string> misfits;
  ui::driver::runOnGuiThread([&] {
    ui::gtk::settle();
    GtkWidget* fixed = gtk_bin_get_child(GTK_BIN(ui::gtk::widgetOf(window_)));
    std::vector<ui::Rect> obstacles;
    for (ui::Hwnd child : ui::childWindows(window_)) {
      GtkWidget* shown = ui::gtk::widgetOf(child);
      if (!shown || !gtk_widget_get_visible(shown)) continue;
      int x = 0, y = 0;
      gtk_widget_translate_coordinates(shown, fixed, 0, 0, &x, &y);
      obstacles.push_back({x, y, gtk_widget_get_allocated_width(shown), gtk_widget_get_allocated_height(shown)});
      const ui::ControlKind kind = ui::controlKind(child);
      if (kind != ui::ControlKind::Button && kind != ui::ControlKind::Label) continue;
      int natural = 0;
      gtk_widget_get_preferred_width(shown, nullptr, &natural);
      if (natural > ui::windowRect(child).width)
        misfits.push_back("'" + ui::getWindowText(child) + "' wants " + std::to_string(natural) + " of " +
                          std::to_string(ui::windowRect(child).width));
    }
    const ui::Rect client = ui::clientRect(window_);
    ui::Canvas canvas(client.width, client.height);
    ui::paintWindow(window_, canvas);
    for (const ui::Primitive& line : canvas.record())
      if (line.kind == ui::Primitive::Kind::Line && line.points.size() == 2 && line.points[0].x == line.points[1].x)
        obstacles.push_back({line.points[0].x, std::min(line.points[0].y, line.points[1].y), 1,
                             std::abs(line.points[1].y - line.points[0].y)});
    for (const ui::Primitive& text : canvas.record()) {
      if (text.kind != ui::Primitive::Kind::Text) continue;
      const int left = text.points[0].x, top = text.points[0].y, bottom = top + std::abs(text.font.height);
      int limit = client.width;
      for (const ui::Rect& o : obstacles)
        if (o.x > left && o.y < bottom && top < o.y + o.height) limit = std::min(limit, o.x);
      const int right = left + canvas.textWidth(text.text, text.font);
      if (right > limit)
        misfits.push_back("'" + text.text + "' at " + std::to_string(left) + " ends at " + std::to_string(right) +
                          ", beyond " + std::to_string(limit));
    }
  });
  std::string list;
  for (const std::string& misfit : misfits) list += misfit + "\n";
  EXPECT_TRUE(misfits.empty()) << list;
}

TEST_F(GtkWindowTest, ClosingTheRealWindowEndsTheProgramInOrderAndKeepsItsPosition) {
  GtkWidget* window = ui::gtk::widgetOf(window_);
  ASSERT_NE(window, nullptr);
  // Where the window was put is where the desktop shows it.
  const ui::Rect placed = ui::windowRect(window_);
  EXPECT_TRUE(settleUntil([&] {
    int x = 0, y = 0;
    gtk_window_get_position(GTK_WINDOW(window), &x, &y);
    return x == placed.x && y == placed.y;
  }));
  // Moved on the desktop: the model follows.
  ui::driver::runOnGuiThread([&] { gtk_window_move(GTK_WINDOW(window), 310, 220); });
  EXPECT_TRUE(settleUntil([&] { return ui::windowRect(window_).x == 310 && ui::windowRect(window_).y == 220; }));

  // The close button asks the worker to stop; the window stays until it has.
  // The close button, as the window manager presses it (the request arrives from GTK's loop).
  ui::driver::runOnGuiThread([&] { gtk_window_close(GTK_WINDOW(window)); });
  EXPECT_TRUE(settleUntil([] { return gf_stopRequest() != nullptr; }));
  ui::driver::sync();
  EXPECT_TRUE(ui::isWindow(window_));
  EXPECT_TRUE(gtk_widget_get_visible(window));
  EXPECT_NE(g_gui.statusLine.find(" close window button clicked, closing JORV ..."), std::string::npos);
  auto request = gf_stopRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->reason, StopReason::UserClosedSim);

  // The worker's last word ends the loop with the exit code and saves the position.
  ui::postMessage(window_, MSG_EXIT, 0, 0);
  gui_.join();
  EXPECT_EQ(exitCode_, 0);
  EXPECT_EQ(lastSaved("MAIN_WINDOW_X"), "310");
  EXPECT_EQ(lastSaved("MAIN_WINDOW_Y"), "220");
  EXPECT_TRUE(g_gui.closing.load());
}

// Runs fn inside whatever GTK loop turns now (a dialog's own loop too) and waits for it.
void onGtk(const std::function<void()>& fn) {
  std::promise<void> done;
  struct Call {
    const std::function<void()>* fn;
    std::promise<void>* done;
  } call{&fn, &done};
  g_main_context_invoke(
      nullptr,
      [](gpointer data) -> gboolean {
        auto* c = static_cast<Call*>(data);
        (*c->fn)();
        c->done->set_value();
        return G_SOURCE_REMOVE;
      },
      &call);
  done.get_future().wait();
}

GtkWidget* findChild(GtkWidget* widget, GType type) {
  if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type)) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GtkWidget* found = nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* c = children; c && !found; c = c->next) found = findChild(GTK_WIDGET(c->data), type);
  g_list_free(children);
  return found;
}

// The dialog of that title once it is shown; null after a few seconds without it.
GtkWidget* waitForDialog(const char* title) {
  for (int i = 0; i < 500; ++i) {
    GtkWidget* dialog = nullptr;
    onGtk([&] {
      GList* tops = gtk_window_list_toplevels();
      for (GList* t = tops; t; t = t->next)
        if (GTK_IS_DIALOG(t->data) && gtk_widget_get_visible(GTK_WIDGET(t->data)) &&
            g_strcmp0(gtk_window_get_title(GTK_WINDOW(t->data)), title) == 0)
          dialog = GTK_WIDGET(t->data);
      g_list_free(tops);
    });
    if (dialog) return dialog;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return nullptr;
}

TEST_F(GtkWindowTest, DialogsOpenedFromAnotherThreadAreRealDialogsAndWaitForTheirAnswer) {
  auto box = std::async(std::launch::async, [this] {
    return ui::messageBox(window_, "Remove them all?", "JORV remove", ui::MB_YESNO | ui::MB_ICONQUESTION);
  });
  GtkWidget* dialog = waitForDialog("JORV remove");
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(GTK_IS_MESSAGE_DIALOG(dialog));
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), GTK_WINDOW(ui::gtk::widgetOf(window_)));
  onGtk([&] { gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_NO); });
  EXPECT_EQ(box.get(), ui::IDNO);

  // The prompt keeps to its limit while typing.
  auto prompt = std::async(std::launch::async,
                           [this] { return ui::promptText(window_, "RealTraffic license", "License / token:", 8); });
  dialog = waitForDialog("RealTraffic license");
  ASSERT_NE(dialog, nullptr);
  onGtk([&] {
    GtkWidget* entry = findChild(dialog, GTK_TYPE_ENTRY);
    ASSERT_NE(entry, nullptr);
    gtk_entry_set_text(GTK_ENTRY(entry), "0123456789");
    g_signal_emit_by_name(entry, "activate");  // Enter takes the default: OK
  });
  EXPECT_EQ(prompt.get(), "01234567");

  prompt = std::async(std::launch::async, [this] { return ui::promptText(window_, "RealTraffic license", "x", 8); });
  dialog = waitForDialog("RealTraffic license");
  ASSERT_NE(dialog, nullptr);
  onGtk([&] { gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL); });
  EXPECT_EQ(prompt.get(), std::nullopt);
}

// The licence prompt holds up the window's loop; a termination signal's close (a WM_CLOSE
// posted meanwhile) answers it as its close box would.
TEST_F(GtkWindowTest, ACloseAskedForWhileADialogIsOpenAnswersTheDialog) {
  auto prompt = std::async(std::launch::async,
                           [this] { return ui::promptText(window_, "RealTraffic license", "License / token:", 8); });
  ASSERT_NE(waitForDialog("RealTraffic license"), nullptr);
  ASSERT_TRUE(ui::postMessage(window_, ui::WM_CLOSE, 0, 0));
  ASSERT_EQ(prompt.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(prompt.get(), std::nullopt);
}

}  // namespace
