// The user works the main window while the worker starts and closes its runs: both sides read
// and write the same options (destination, stand list, block entries, switches, lists). Run
// under ThreadSanitizer, which reports any access that is not serialised.
#include <fmt/ranges.h>

#include <atomic>
#include <thread>

#include "app/blocking.h"
#include "app/option_controls.h"
#include "app/window_seams.h"
#include "config/parameter_load.h"
#include "config/parameters_file.h"
#include "config/program_folders.h"
#include "refdata/airports.h"
#include "tests/app/window_fixture.h"
#include "tests/app/worker_fixture.h"

namespace {

class OptionThreads : public worker_test::WorkerFixture {
 protected:
  void SetUp() override {
    WorkerFixture::SetUp();
    // The worker's own start and close of the options; the rest stays a spy.
    seams.loadParameters = [this] {
      record("loadParameters");
      gf_loadParameters();
      gf_setSimChoice();
      gf_initParameterSnapshot();
    };
    seams.initOptionControls = [] { lf_initOptionControls(); };
    seams.findAirport = [](IcaoCode code) -> std::optional<AirportRef> {
      if (const auto airport = gf_findAirport(code)) return AirportRef{airport->code, airport->position, 364};
      return std::nullopt;
    };
    seams.setDestination = [](const AirportRef& a) {
      gf_setDestination(std::string(a.code.text()), Airport{a.code, g_defaultIataCode, a.position, 364});
    };
    seams.runDueParkedAcAction = [this] {
      if (++steps_ == 3) gf_requestStop(StopReason::NewFlight, 0);
    };
    gf_setWorkerSeams(seams);
    {
      std::unique_lock lock(g_airportsLock);
      savedAirports_ = g_airports;
      g_airports = {Airport{IcaoCode("EDDF"), g_defaultIataCode, {50, 8}, 364}};
    }
    ParkingNeighbours fakes;
    fakes.readApfForStands = [](IcaoCode) { return ApfStands{std::vector<std::string>{"A1", "A2", "V155"}, ""}; };
    gf_setParkingNeighboursForTest(fakes);

    // A settings file that runs in RT App mode with a known simulator folder.
    std::filesystem::create_directories(g_parametersPath.get().parent_path());
    gf_loadParameters();
    MSFS_2024_INSTALL_PATH.setAndSave(dir.path() / "packages");
    RT_CHOISE.setAndSave("RT App");
    DESTINATION.setAndSave("EDDF");

    ui::resetForTest();
    ASSERT_TRUE(ui::registerClass(ui::WindowClass{"JORV", WndProc}));
    window_ = window_test::startGuiThread(gui_, exitCode_);
    ASSERT_NE(window_, ui::Hwnd::null);
  }
  void TearDown() override {
    window_test::stopGuiThread(gui_);
    gf_setParkingNeighboursForTest({});
    {
      std::unique_lock lock(g_airportsLock);
      g_airports = savedAirports_;
    }
    window_test::resetAll();
    WorkerFixture::TearDown();
  }

  void enable(const GuiControl& control) {
    ui::driver::runOnGuiThread([&] { ui::enableWindow(control.window, true); });
  }
  int id(const GuiControl& control) { return static_cast<int>(control.controlId); }

  // One round of what a user does in the window.
  void workTheWindow(int round) {
    enable(DESTINATION);
    ui::driver::typeText(window_, id(DESTINATION), round % 2 ? "EDDF" : "");
    ui::driver::pressEnter(window_, id(DESTINATION));
    enable(STAND_SELECTOR);
    ui::driver::selectComboItem(window_, id(STAND_SELECTOR), 1 + round % 3);
    ui::driver::runOnGuiThread([] {
      AIRCRAFT_SELECTOR.value = "DLH4AB_,D-AIBA,3c6444,A320";
      gf_blockSelectedAircraft();
    });
    ui::driver::click(window_, id(UNBLOCK_BUTTON));
    enable(RANDOM);
    ui::driver::click(window_, id(RANDOM));
    enable(MATCHING_DEPTH);
    ui::driver::selectComboItem(window_, id(MATCHING_DEPTH), round % 3);
  }

  std::vector<Airport> savedAirports_;
  std::atomic<int> steps_{0};
  std::thread gui_;
  int exitCode_ = 0;
  ui::Hwnd window_ = ui::Hwnd::null;
};

TEST_F(OptionThreads, TheWindowAndTheWorkerShareTheOptionsWithoutARace) {
  constexpr int kRuns = 12;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int run = 0; run < kRuns; ++run) {
      steps_ = 0;
      lf_main();
    }
    done = true;
  });
  int rounds = 0;
  while (!done) workTheWindow(rounds++);
  worker.join();

  EXPECT_EQ(count("loadParameters"), kRuns);
  EXPECT_EQ(count("MSG_START"), kRuns) << "every run ended in a restart";
  EXPECT_GT(rounds, 0);
  // The stand list on screen is one whole list, whichever side filled it last (with "select a
  // stand" in front unless a stand picked in an earlier round is kept as the reserved one).
  auto stands = ui::comboItems(STAND_SELECTOR.window);
  if (!stands.empty() && stands.front() == "select a stand") stands.erase(stands.begin());
  EXPECT_TRUE(stands == std::vector<std::string>{""} || stands == (std::vector<std::string>{"A1", "A2", "V155"}))
      << fmt::format("{}", fmt::join(stands, ","));
}

}  // namespace
