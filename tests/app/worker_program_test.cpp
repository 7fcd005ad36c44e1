// The real program in production mode: only the data set-up runs, then the exit code tells
// whether every data step succeeded.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/app/program_run.h"

namespace {
namespace fs = std::filesystem;
using ProductionRun = testing_support::ProgramRun;

TEST(ProductionJob, RunsTheDataSetUpOnlyAndExitsZero) {
  ProductionRun run;
  EXPECT_EQ(run.run(60, true), 0) << run.log() << run.errors();
  const std::string log = run.log();
  EXPECT_NE(log.find("dbase records read"), std::string::npos) << log;
  EXPECT_NE(log.find("Command line job:\nproduction\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" Exiting: NOT YET SET\nShutdown cleanup completed; posting MSG_EXIT\n"), std::string::npos)
      << log;
  EXPECT_EQ(log.find("Shutdown cleanup: "), std::string::npos) << "production mode cleans nothing up";
  EXPECT_EQ(log.find("Waiting for"), std::string::npos) << "no simulator, no feed";
}

TEST(ProductionJob, AFailedDataStepExitsOneAndSaysSoOnStderr) {
  struct Case {
    const char* name;
    void (*spoil)(const ProductionRun&);
  } cases[] = {
      {"no dbase", [](const ProductionRun& r) { fs::remove(r.program / "input" / "dbase.enc"); }},
      {"no install path to be found", [](const ProductionRun& r) { fs::remove_all(r.packages()); }},
      {"not run from the program folder", [](const ProductionRun& r) { fs::remove_all(r.program / "docs"); }},
  };
  for (const Case& c : cases) {
    ProductionRun run;
    c.spoil(run);
    EXPECT_EQ(run.run(60, true), 1) << c.name << "\n" << run.log();
    EXPECT_EQ(run.log().find("Command line job:"), std::string::npos) << c.name;
    EXPECT_NE(run.errors().find("JORV: "), std::string::npos) << c.name;
  }
}

TEST(ProgramRun, WaitsForTheSimulatorUntilTheWindowClosesThenEndsInOrder) {
  ProductionRun run;
  run.chooseRTApp();
  EXPECT_EQ(run.run(2.0), 0) << run.log();
  const std::string log = run.log();
  std::size_t from = 0;
  EXPECT_EQ(log.find("Command line job:"), std::string::npos) << "not a production run";
  EXPECT_NE(log.find("\n++++++++++++++++++++++++ liveries scan automatic starts"), std::string::npos) << log;
  EXPECT_NE(log.find(fmt::format("{:5} liveries read from output/LiveriesScanned_MSFS2024.xml", run.liveries)),
            std::string::npos)
      << log;
  for (const char* line : {" Exiting: USER CLOSED SIM\n", "Shutdown cleanup: waiting for SimClient\n",
                           "Shutdown cleanup: SimClient stopped\n", "Shutdown cleanup: stopping readers\n",
                           "Shutdown cleanup: closing RT App server\n", "Shutdown cleanup: RT App server closed\n",
                           "Shutdown cleanup completed; posting MSG_EXIT\n"}) {
    const auto found = log.find(line, from);
    ASSERT_NE(found, std::string::npos) << line << "\n" << log;
    from = found;
  }
}

}  // namespace
