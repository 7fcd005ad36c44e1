#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "platform/termination_signals.h"
#include "platform/ui.h"

namespace {
using namespace ui;

int g_closes = 0;

// Closing is the window's to decide: here a close only ends the loop.
LResult closeEndsTheLoop(Hwnd hwnd, std::uint32_t message, WParam wParam, LParam lParam) {
  if (message != WM_CLOSE) return defWindowProc(hwnd, message, wParam, lParam);
  ++g_closes;
  postQuitMessage(0);
  return 0;
}

class TerminationSignalsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetForTest();
    g_closes = 0;
    ASSERT_TRUE(registerClass(WindowClass{"Closable", closeEndsTheLoop}));
    window_ = createWindow("Closable", "t", Rect{0, 0, 100, 100});
    ASSERT_NE(window_, Hwnd::null);
  }
  void TearDown() override { resetForTest(); }
  Hwnd window_ = Hwnd::null;
};

TEST_F(TerminationSignalsTest, EachSignalClosesTheWindowThroughItsLoopAndIsGivenBackAfter) {
  for (int signo : {SIGINT, SIGTERM, SIGHUP}) {
    g_closes = 0;
    // What the program was started with: a shell ignores SIGINT for a background job.
    struct sigaction before = {};
    sigaction(signo, nullptr, &before);
    {
      CloseOnTerminationSignals closeOnSignals(window_);
      ASSERT_TRUE(closeOnSignals.active());
      std::raise(signo);
      Msg msg;
      while (getMessage(msg) != 0) dispatchMessage(msg);
    }
    EXPECT_EQ(g_closes, 1) << signo;
    EXPECT_TRUE(isWindow(window_));
    struct sigaction now = {};
    sigaction(signo, nullptr, &now);
    EXPECT_EQ(now.sa_handler, before.sa_handler) << signo;
  }
}

TEST_F(TerminationSignalsTest, ASecondSignalWhileClosingEndsTheProcessAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        CloseOnTerminationSignals closeOnSignals(window_);
        std::raise(SIGINT);
        std::raise(SIGTERM);
        std::_Exit(0);
      },
      ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
