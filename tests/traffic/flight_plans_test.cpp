// Flight plans: the file's exact bytes, the folder from set-up to shutdown, and nothing at all
// with MSFS 2024.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <utility>

#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "liveries/ac_identity.h"
#include "tests/support/test_support.h"
#include "traffic/flight_plans.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;

AcIdentity lf_aircraft(AcCategory category, const char* origin = nullptr, const char* destination = nullptr) {
  AcIdentity aircraft;
  aircraft.category = category;
  if (origin) aircraft.origin = IataCode(origin);
  if (destination) aircraft.destination = IataCode(destination);
  return aircraft;
}

class FlightPlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("JORV_APPDATA", dir_.path().c_str(), 1);
    gf_resetProgramFolders();
    gf_openLog();
    gf_publishSimChoice(SimChoice{1, 0});
  }
  void TearDown() override {
    gf_publishSimChoice(SimChoice{});
    gf_closeLog();
    ::unsetenv("JORV_APPDATA");
    gf_resetProgramFolders();
  }
  std::string log() {
    gf_flushLog();
    return readFile(dir_ / "Log.txt");
  }

  testing_support::TempDir dir_;
  testing_support::ScopedCurrentDir cwd_{dir_.path()};
  const fs::path folder_ = dir_.path() / "JORV" / "orig_dest";
};

TEST_F(FlightPlanTest, PlanBytesAndFlightRules) {
  ASSERT_TRUE(gf_ensureFlightPlanFolder());
  ASSERT_EQ(gf_flightPlanFolder(), folder_);
  const fs::path path = gf_flightPlanPath(folder_, 4711);
  EXPECT_EQ(path, folder_ / "4711.pln");
  ASSERT_TRUE(gf_writeFlightPlan(path, lf_aircraft(AcCategory::large, "AMS", "JFK")));
  EXPECT_EQ(readFile(path),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
            "<FlightPlan.FlightPlan>\n<FPType>IFR</FPType>\n<DepartureID>AMS</DepartureID>\n"
            "<DestinationID>JFK</DestinationID>\n</FlightPlan.FlightPlan>\n</SimBase.Document>\n");

  // Rewritten in place; without origin and destination the elements stay, empty.
  constexpr std::pair<AcCategory, const char*> kRules[] = {
      {AcCategory::none, "VFR"},  {AcCategory::twoprops, "IFR"},         {AcCategory::buzjet, "IFR"},
      {AcCategory::heavy, "IFR"}, {AcCategory::high_performance, "VFR"}, {AcCategory::rotorcraft, "VFR"}};
  for (const auto& [category, rules] : kRules) {
    ASSERT_TRUE(gf_writeFlightPlan(path, lf_aircraft(category)));
    EXPECT_NE(readFile(path).find(fmt::format("\n<FPType>{}</FPType>\n<DepartureID></DepartureID>\n"
                                              "<DestinationID></DestinationID>\n</FlightPlan.FlightPlan>\n",
                                              rules)),
              std::string::npos)
        << "category " << static_cast<int>(category);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(FlightPlanTest, FolderLivesFromSetUpToShutdown) {
  ASSERT_TRUE(gf_ensureFlightPlanFolder());
  EXPECT_TRUE(gf_ensureFlightPlanFolder());  // already there
  ASSERT_TRUE(gf_writeFlightPlan(gf_flightPlanPath(folder_, 7), lf_aircraft(AcCategory::large)));
  ASSERT_TRUE(gf_writeFlightPlan(gf_flightPlanPath(folder_, 8), lf_aircraft(AcCategory::large)));
  EXPECT_TRUE(gf_removeFlightPlan(7));
  EXPECT_FALSE(gf_removeFlightPlan(7));
  EXPECT_TRUE(gf_removeFlightPlanFolder());  // with plan 8 still in it
  EXPECT_FALSE(fs::exists(folder_));
  EXPECT_FALSE(gf_removeFlightPlanFolder());
}

TEST_F(FlightPlanTest, AFileInTheFolderPlaceIsRefused) {
  fs::create_directories(folder_.parent_path());
  testing_support::writeFile(folder_, "");
  EXPECT_FALSE(gf_ensureFlightPlanFolder());
  const std::string text = log();
  EXPECT_NE(text.find(fmt::format("Flight-plan path '{}' is not a directory\n", folder_.string())), std::string::npos);
  EXPECT_EQ(text.find("Could not create"), std::string::npos);
}

TEST_F(FlightPlanTest, NothingWithMsfs2024) {
  gf_publishSimChoice(SimChoice{2, 0});
  EXPECT_FALSE(gf_flightPlanFolder());
  EXPECT_FALSE(gf_ensureFlightPlanFolder());
  EXPECT_FALSE(fs::exists(folder_));
  // What a 2020 run left behind stays untouched.
  fs::create_directories(folder_);
  testing_support::writeFile(folder_ / "7.pln", "x");
  EXPECT_FALSE(gf_writeFlightPlan(folder_ / "8.pln", lf_aircraft(AcCategory::large)));
  EXPECT_FALSE(gf_removeFlightPlan(7));
  EXPECT_FALSE(gf_removeFlightPlanFolder());
  EXPECT_FALSE(fs::exists(folder_ / "8.pln"));
  EXPECT_TRUE(fs::exists(folder_ / "7.pln"));
}

}  // namespace
