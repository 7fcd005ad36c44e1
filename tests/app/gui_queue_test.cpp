#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>
#include <vector>

#include "appbase/messages.h"
#include "tests/app/window_fixture.h"

namespace {
using namespace window_test;

// --- applying, without a window ---

class GuiApplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetAll();
    gf_setGuiSteadyClockForTest([this] { return now_; });
  }
  void TearDown() override { resetAll(); }
  std::int64_t now_ = 1'000'000'000'000;
};

TEST_F(GuiApplyTest, WhileAnErrorLineIsShownStatusMessagesChangeNothingUntilClearError) {
  testing_support::TempDir dir;
  testing_support::ScopedCurrentDir inDir(dir.path());
  gf_openLog();
  EXPECT_EQ(g_gui.applyUpdate(gui::ShowMessage{"before", false}), REDRAW_STATUS);
  EXPECT_EQ(g_gui.applyUpdate(gui::ShowError{"disk full"}), REDRAW_STATUS);
  EXPECT_EQ(g_gui.statusLine, "");  // the error replaces the status line
  EXPECT_EQ(g_gui.applyUpdate(gui::ShowError{"disk full"}), 0);  // the same error again: nothing

  EXPECT_EQ(g_gui.applyUpdate(gui::ShowMessage{"hidden message", true}), 0);
  EXPECT_EQ(g_gui.applyUpdate(gui::ClearMessage{}), 0);
  EXPECT_EQ(g_gui.applyUpdate(gui::SetParkAirport{true, "Schiphol"}), REDRAW_PARKING | REDRAW_STATUS);
  EXPECT_EQ(g_gui.statusLine, "");
  EXPECT_EQ(g_gui.errorLine, "disk full");

  EXPECT_EQ(g_gui.applyUpdate(gui::ClearError{}), REDRAW_STATUS);
  EXPECT_EQ(g_gui.applyUpdate(gui::ClearError{}), 0);
  EXPECT_EQ(g_gui.applyUpdate(gui::ShowMessage{"now shown", true}), REDRAW_STATUS);
  EXPECT_EQ(g_gui.statusLine, "now shown");

  gf_closeLog();
  const std::string log = testing_support::readFile(dir / "Log.txt");
  EXPECT_NE(log.find("Error disk full\n"), std::string::npos);
  EXPECT_EQ(log.find("hidden message"), std::string::npos);
  EXPECT_NE(log.find("now shown\n"), std::string::npos);
}

TEST_F(GuiApplyTest, AStatusMessageExpiresAt25SecondsAndAnEmptyMessageClearsAtOnce) {
  g_gui.applyUpdate(gui::ShowMessage{"timed", false});
  EXPECT_TRUE(g_gui.messageTimed);
  now_ += MESSAGE_LIFETIME_NS - 1;
  EXPECT_EQ(g_gui.applyUpdate(gui::ExpireMessage{}), 0);
  EXPECT_EQ(g_gui.statusLine, "timed");
  now_ += 1;  // exactly 25 s after it was shown
  EXPECT_EQ(g_gui.applyUpdate(gui::ExpireMessage{}), REDRAW_STATUS);
  EXPECT_EQ(g_gui.statusLine, "");
  EXPECT_FALSE(g_gui.messageTimed);
  EXPECT_EQ(g_gui.applyUpdate(gui::ExpireMessage{}), 0);

  // A new message restarts the 25 s.
  g_gui.applyUpdate(gui::ShowMessage{"first", false});
  now_ += 20'000'000'000;
  g_gui.applyUpdate(gui::ShowMessage{"second", false});
  now_ += 20'000'000'000;
  EXPECT_EQ(g_gui.applyUpdate(gui::ExpireMessage{}), 0);
  EXPECT_EQ(g_gui.applyUpdate(gui::ShowMessage{"", false}), REDRAW_STATUS);
  EXPECT_EQ(g_gui.statusLine, "");
  EXPECT_FALSE(g_gui.messageTimed);
}

TEST_F(GuiApplyTest, RepeatedEqualReportsAskForNoRepaint) {
  struct Case {
    const char* name;
    GuiUpdate update;
    std::uint8_t first;
    std::uint8_t again;
  } cases[] = {
      {"live aircraft", gui::SetLiveAircraftCount{12}, REDRAW_HEADER, 0},
      {"traffic reader", gui::SetTrafficReaderState{0}, REDRAW_HEADER, 0},
      {"weather reader", gui::SetWeatherReaderState{1}, REDRAW_HEADER, 0},
      {"parked counts", gui::SetParkedCounts{3, 4}, REDRAW_PARKING, 0},
      {"parking updates", gui::SetParkingUpdateCount{2}, REDRAW_PARKING, 0},
      {"static fit", gui::SetStaticFit{1.5f}, REDRAW_PARKING, 0},
      {"live fit", gui::SetLiveFit{2.0f}, REDRAW_PARKING, 0},
      {"user stand", gui::SetUserStand{"B12"}, REDRAW_HEADER, 0},
      {"inHg", gui::SetQnhInHg{true}, REDRAW_HEADER, 0},
      {"stand count", gui::SetStandCount{7}, REDRAW_PARKING, REDRAW_PARKING},
      {"redraw", gui::Redraw{6}, 6, 6},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(g_gui.applyUpdate(c.update), c.first) << c.name;
    EXPECT_EQ(g_gui.applyUpdate(c.update), c.again) << c.name;
  }
}

TEST_F(GuiApplyTest, AQnhReportWakesAWaitingWeatherReaderAndResetKeepsTheCounts) {
  g_gui.applyUpdate(gui::SetWeatherReaderState{1});
  g_gui.applyUpdate(gui::SetQnh{1013});
  EXPECT_EQ(g_gui.weatherReaderState, 0u);
  g_gui.applyUpdate(gui::SetLiveryCount{900});
  g_gui.applyUpdate(gui::SetQnhInHg{true});
  g_gui.applyUpdate(gui::SetParkAirportCode{IcaoCode("EHAM")});
  g_gui.applyUpdate(gui::FeedStarted{});
  EXPECT_EQ(g_gui.applyUpdate(gui::ResetDisplay{}), 15);
  EXPECT_EQ(g_gui.qnhHpa, 0u);
  EXPECT_EQ(g_gui.weatherReaderState, 2u);
  EXPECT_TRUE(g_gui.parkAirportCode.empty());
  EXPECT_TRUE(g_gui.feedNotStarted);
  EXPECT_EQ(g_gui.liveryCount, 900u);  // the scan's counts survive a restart
  EXPECT_TRUE(g_gui.qnhInHg);
}

TEST_F(GuiApplyTest, ClearMessageInTbloModeShowsTheMailHint) {
  g_tbloMode = true;
  Gui::clearMessage();  // no GUI thread yet: queued
  ASSERT_EQ(g_gui.queue.size(), 1u);
  g_gui.applyUpdate(g_gui.queue.front());
  EXPECT_EQ(g_gui.statusLine.rfind("Push the tblo button and mail 'tblo.zip' to ", 0), 0u);
  EXPECT_TRUE(g_gui.statusLine.ends_with(", please"));
}

// --- the queue with a window ---

class GuiQueueTest : public WindowTest {};

TEST_F(GuiQueueTest, ThousandsOfUpdatesFromSeveralThreadsPostOneMessageAtATimeAndApplyInOrder) {
  ASSERT_TRUE(startGui());
  constexpr int kThreads = 4, kEach = 1000;
  // Queue order is fixed by a sequence drawn under a lock held across the enqueue.
  std::mutex orderMutex;
  int sequence = 0;
  std::atomic<int> inFlightSeen{0};  // times a second MSG_GUI_UPDATE waited behind the first
  std::vector<std::jthread> senders;
  for (int t = 0; t < kThreads; ++t)
    senders.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        std::lock_guard lock(orderMutex);
        Gui::showMessage(std::to_string(++sequence), true);
        if (ui::driver::countQueued(window_, MSG_GUI_UPDATE) > 1) ++inFlightSeen;
      }
    });
  senders.clear();
  ui::driver::sync();
  ui::driver::sync();
  EXPECT_EQ(inFlightSeen.load(), 0);
  EXPECT_TRUE(g_gui.queue.empty());
  EXPECT_FALSE(g_gui.postPending);

  std::istringstream lines(log());
  std::string line;
  int expected = 1;
  while (std::getline(lines, line)) {
    if (line.empty() || line.find_first_not_of("0123456789") != std::string::npos) continue;
    EXPECT_EQ(std::stoi(line), expected) << "applied out of order";
    ++expected;
  }
  EXPECT_EQ(expected - 1, kThreads * kEach);
  EXPECT_EQ(g_gui.statusLine, std::to_string(kThreads * kEach));
}

TEST_F(GuiQueueTest, AnUpdateSentBeforeTheWindowExistsIsShownOnceItIs) {
  Gui::showMessage("early bird", false);  // no GUI thread, no window: it waits
  EXPECT_EQ(g_gui.queue.size(), 1u);
  ASSERT_TRUE(startGui());
  ui::driver::sync();
  EXPECT_EQ(g_gui.statusLine, "early bird");
  EXPECT_TRUE(g_gui.queue.empty());
}

TEST_F(GuiQueueTest, OnTheGuiThreadAnUpdateIsAppliedBeforeEnqueueReturns) {
  ASSERT_TRUE(startGui());
  std::string seen;
  ui::driver::runOnGuiThread([&] {
    Gui::showMessage("at once", false);
    seen = g_gui.statusLine;
  });
  EXPECT_EQ(seen, "at once");
}

TEST_F(GuiQueueTest, AfterDestroyNothingIsQueuedOrApplied) {
  ASSERT_TRUE(startGui());
  ui::driver::runOnGuiThread([&] {
    ui::destroyWindow(window_);  // WM_DESTROY also ends the message loop
    Gui::showMessage("too late here too", false);
  });
  Gui::showMessage("too late", false);
  EXPECT_TRUE(g_gui.queue.empty());
  EXPECT_FALSE(g_gui.postPending);
  EXPECT_EQ(g_gui.statusLine, "");
}

TEST_F(GuiQueueTest, ParkAirportInCompactModeResizesTheWindowFrom128To224Units) {
  COLLAPSED.value = true;
  ASSERT_TRUE(startGui());
  ui::driver::sync();
  EXPECT_EQ(ui::clientRect(window_).height, 128);
  Gui::enqueueUpdate(gui::SetParkAirportCode{IcaoCode("EHAM")});
  ui::driver::sync();
  EXPECT_EQ(ui::clientRect(window_).height, 224);
  EXPECT_EQ(ui::clientRect(window_).width, 900);
  // Only the named bands are invalidated otherwise.
  ui::takeInvalidations(window_);
  Gui::enqueueUpdate(gui::SetQualityText{"good"});
  ui::driver::sync();
  auto invalid = ui::takeInvalidations(window_);
  ASSERT_EQ(invalid.size(), 1u);
  EXPECT_EQ(invalid[0].rect, (ui::Rect{0, 96, 900, 96}));
  EXPECT_FALSE(invalid[0].erase);
}

TEST_F(GuiQueueTest, CompactModeHidesEveryOptionControlAndToggleShowsThemAgain) {
  ASSERT_TRUE(startGui());
  ui::enableWindow(RANGE.window, false);
  Gui::enqueueUpdate(gui::SetCompact{true});
  ui::driver::sync();
  ASSERT_EQ(g_optionControls.size(), 54u);
  for (ui::Hwnd control : g_optionControls) EXPECT_FALSE(ui::isWindowVisible(control));
  Gui::enqueueUpdate(gui::ToggleCompact{});
  ui::driver::sync();
  for (ui::Hwnd control : g_optionControls) EXPECT_TRUE(ui::isWindowVisible(control));
  EXPECT_EQ(ui::clientRect(window_).height, 768);
}

}  // namespace
