#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "platform/canvas.h"
#include "platform/ui.h"
#include "platform/ui_driver.h"

namespace {
using namespace ui;

constexpr int kCheck = 10, kCombo = 11, kEdit = 12, kButton = 13;
constexpr std::uint32_t kAppMessage = WM_APP + 7;

struct Seen {
  std::vector<std::uint32_t> messages;
  std::vector<std::pair<int, int>> commands;  // id, notification
  std::vector<WParam> appValues;
  int enters = 0;
};
Seen* g_seen = nullptr;

LResult editProc(Hwnd, std::uint32_t message, WParam wParam, LParam) {
  if (message == WM_KEYDOWN && wParam == VK_RETURN) ++g_seen->enters;
  return 0;
}

LResult testProc(Hwnd hwnd, std::uint32_t message, WParam wParam, LParam lParam) {
  g_seen->messages.push_back(message);
  switch (message) {
    case WM_CREATE:
      createControl(hwnd, ControlKind::CheckBox, kCheck, "Check", Rect{10, 10, 100, 20});
      createControl(hwnd, ControlKind::ComboBox, kCombo, "", Rect{10, 40, 100, 20});
      setControlProc(createControl(hwnd, ControlKind::Edit, kEdit, "", Rect{10, 70, 100, 20}), editProc);
      createControl(hwnd, ControlKind::Button, kButton, "Go", Rect{10, 100, 100, 20});
      return 0;
    case WM_COMMAND:
      g_seen->commands.emplace_back(loWord(wParam), hiWord(wParam));
      return 0;
    case kAppMessage:
      g_seen->appValues.push_back(wParam);
      if (wParam == 99) postQuitMessage(static_cast<int>(lParam));
      return 0;
    case WM_DESTROY:
      postQuitMessage(3);
      return 0;
    default:
      return defWindowProc(hwnd, message, wParam, lParam);
  }
}

int runLoop() {
  Msg msg;
  for (;;) {
    if (getMessage(msg) == 0) return static_cast<int>(msg.wParam);
    dispatchMessage(msg);
  }
}

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetForTest();
    g_seen = &seen_;
    ASSERT_TRUE(registerClass(WindowClass{"TestClass", testProc}));
    window_ = createWindow("TestClass", "Title", Rect{0, 0, 900, 600});
    ASSERT_NE(window_, Hwnd::null);
  }
  void TearDown() override {
    resetForTest();
    g_seen = nullptr;
  }
  Seen seen_;
  Hwnd window_ = Hwnd::null;
};

TEST_F(UiTest, MessagesPostedFromManyThreadsArriveInOrderPerThreadAndQuitEndsTheLoop) {
  constexpr int kThreads = 4, kEach = 200;
  std::vector<std::jthread> posters;
  for (int t = 0; t < kThreads; ++t)
    posters.emplace_back([this, t] {
      for (int i = 0; i < kEach; ++i) postMessage(window_, kAppMessage, static_cast<WParam>(t * 1000 + i + 100), 0);
    });
  posters.clear();
  postMessage(window_, kAppMessage, 99, 42);
  EXPECT_EQ(runLoop(), 42);
  ASSERT_EQ(seen_.appValues.size(), static_cast<size_t>(kThreads * kEach + 1));
  std::vector<int> last(kThreads, -1);
  for (WParam v : seen_.appValues) {
    if (v == 99) continue;
    int t = static_cast<int>((v - 100) / 1000), i = static_cast<int>((v - 100) % 1000);
    EXPECT_GT(i, last[static_cast<size_t>(t)]);
    last[static_cast<size_t>(t)] = i;
  }
}

TEST_F(UiTest, DriverActsLikeAUserOnTheGuiThread) {
  Hwnd combo = getDlgItem(window_, kCombo);
  comboAddString(combo, "MSFS 2020");
  comboAddString(combo, "MSFS 2024");
  EXPECT_EQ(comboGetCurSel(combo), -1);

  std::jthread user([this] {
    driver::click(window_, kCheck);
    driver::selectComboItem(window_, kCombo, 1);
    driver::typeText(window_, kEdit, "EHAM");
    driver::pressEnter(window_, kEdit);
    enableWindow(getDlgItem(window_, kButton), false);
    driver::click(window_, kButton);  // disabled: nothing happens
    driver::sync();
    driver::closeWindow(window_);
  });
  EXPECT_EQ(runLoop(), 3);  // WM_CLOSE -> destroy -> WM_DESTROY -> quit(3)
  user.join();

  EXPECT_EQ(seen_.commands, (std::vector<std::pair<int, int>>{{kCheck, BN_CLICKED}, {kCombo, CBN_SELCHANGE}, {kEdit, EN_CHANGE}}));
  EXPECT_EQ(seen_.enters, 1);
  EXPECT_FALSE(isWindow(window_));
  EXPECT_EQ(getDlgItem(window_, kCheck), Hwnd::null);  // stale handles are harmless
  EXPECT_EQ(getWindowText(combo), "");
}

TEST_F(UiTest, ControlStateIsKeptPerControl) {
  Hwnd check = getDlgItem(window_, kCheck);
  Hwnd combo = getDlgItem(window_, kCombo);
  EXPECT_EQ(getDlgCtrlId(check), kCheck);
  EXPECT_EQ(controlKind(combo), ControlKind::ComboBox);
  setCheck(check, true);
  EXPECT_TRUE(getCheck(check));
  showWindow(check, false);
  EXPECT_FALSE(isWindowVisible(check));
  moveWindow(check, Rect{1, 2, 3, 4});
  EXPECT_EQ(windowRect(check), (Rect{1, 2, 3, 4}));
  comboAddString(combo, "a");
  comboAddString(combo, "b");
  comboSetCurSel(combo, 1);
  EXPECT_EQ(getWindowText(combo), "b");
  comboSetCurSel(combo, 5);
  EXPECT_EQ(comboGetCurSel(combo), -1);
  comboResetContent(combo);
  EXPECT_TRUE(comboItems(combo).empty());
  EXPECT_FALSE(registerClass(WindowClass{"TestClass", testProc}));  // registered once
  EXPECT_EQ(createWindow("Unknown", "x", Rect{}), Hwnd::null);
}

TEST_F(UiTest, TimersTickAndTheAutoCloseClosesOnce) {
  setTimer(window_, 5, 10);
  std::atomic<int> ticks{0};
  Msg msg;
  while (ticks < 3) {
    ASSERT_EQ(getMessage(msg), 1);
    if (msg.message == WM_TIMER && msg.wParam == 5) ++ticks;
  }
  killTimer(window_, 5);

  resetForTest();
  ASSERT_TRUE(registerClass(WindowClass{"TestClass", testProc}));
  // The unattended run leaves a picture of the window as it closes it.
  const auto picture = std::filesystem::temp_directory_path() / ("jorv-ui-test-" + std::to_string(::getpid()) + ".png");
  ::setenv("JORV_AUTOCLOSE_SECONDS", "0.05", 1);
  ::setenv("JORV_SCREENSHOT", picture.c_str(), 1);
  window_ = createWindow("TestClass", "Title", Rect{0, 0, 120, 80});
  ::unsetenv("JORV_AUTOCLOSE_SECONDS");
  EXPECT_EQ(runLoop(), 3);
  ::unsetenv("JORV_SCREENSHOT");
  EXPECT_GT(std::filesystem::file_size(picture), 0u);
  std::filesystem::remove(picture);
}

// A modal dialog holds up the loop: it asks whether a close is waiting, by the timer that fell
// due unseen or by a WM_CLOSE in the queue (a termination signal posts one).
TEST_F(UiTest, ACloseIsSeenWaitingWhileTheLoopIsHeldUp) {
  EXPECT_FALSE(closeIsWaiting());
  EXPECT_TRUE(postMessage(window_, WM_APP + 1, 0, 0));
  EXPECT_FALSE(closeIsWaiting());
  EXPECT_TRUE(postMessage(window_, WM_CLOSE, 0, 0));
  EXPECT_TRUE(closeIsWaiting());

  resetForTest();
  EXPECT_FALSE(closeIsWaiting());
  ASSERT_TRUE(registerClass(WindowClass{"TestClass", testProc}));
  ::setenv("JORV_AUTOCLOSE_SECONDS", "0.05", 1);
  window_ = createWindow("TestClass", "Title", Rect{0, 0, 120, 80});
  ::unsetenv("JORV_AUTOCLOSE_SECONDS");
  EXPECT_FALSE(closeIsWaiting());
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  EXPECT_TRUE(closeIsWaiting()) << "the timer fell due while nobody took messages";
}

LResult paintingProc(Hwnd hwnd, std::uint32_t message, WParam wParam, LParam lParam) {
  switch (message) {
    case WM_CREATE:
      createControl(hwnd, ControlKind::Button, kButton, "Go", Rect{10, 100, 100, 20});
      showWindow(createControl(hwnd, ControlKind::Label, kEdit, "hidden", Rect{10, 130, 100, 20}), false);
      return 0;
    case WM_PAINT: {
      Canvas& dc = beginPaint(hwnd);
      dc.text(167, 71, "park live:   2", Font{"Segoe UI", -12, 400}, rgb(0, 255, 0));
      dc.text(5, 90, "two\tparts\nand a line", Font{"Segoe UI", -12, 400}, rgb(0, 0, 0));
      endPaint(hwnd);
      return 0;
    }
    case WM_DESTROY:
      postQuitMessage(4);
      return 0;
    default:
      return defWindowProc(hwnd, message, wParam, lParam);
  }
}

std::string readAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(UiWindowTexts, TheAutoCloseLeavesWhatTheWindowShowsInAFile) {
  const auto folder = std::filesystem::temp_directory_path() / ("jorv-ui-texts-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  struct Case {
    const char* name;
    std::filesystem::path file;
    bool written;
  } cases[] = {
      {"a file in a folder that exists", folder / "texts.txt", true},
      {"a folder that is not there: nothing written, the window closes all the same", folder / "none" / "texts.txt",
       false},
  };
  for (const Case& c : cases) {
    resetForTest();
    ASSERT_TRUE(registerClass(WindowClass{"PaintingClass", paintingProc}));
    ::setenv("JORV_AUTOCLOSE_SECONDS", "0.05", 1);
    ::setenv("JORV_WINDOW_TEXTS", c.file.c_str(), 1);
    const Hwnd window = createWindow("PaintingClass", "Title", Rect{0, 0, 300, 200});
    ::unsetenv("JORV_AUTOCLOSE_SECONDS");
    EXPECT_EQ(runLoop(), 4) << c.name;
    ::unsetenv("JORV_WINDOW_TEXTS");
    EXPECT_FALSE(isWindow(window)) << c.name;
    EXPECT_EQ(std::filesystem::exists(c.file), c.written) << c.name;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(c.file).concat(".part"))) << c.name;
    if (c.written) {
      EXPECT_EQ(readAll(c.file),
                "painted\t167\t71\tpark live:   2\n"
                "painted\t5\t90\ttwo parts and a line\n"
                "control\t13\tGo\n")
          << c.name;
    }
  }
  resetForTest();
  std::filesystem::remove_all(folder);
}

}  // namespace
