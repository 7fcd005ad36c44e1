#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/program_entry.h"
#include "platform/os.h"
#include "tests/app/program_run.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;

TEST(CommandLine, ProductionSwitchInAnyCaseButNeverAsTheProgramPath) {
  struct Case {
    std::vector<std::string> args;
    bool production;
  } cases[] = {
      {{"jorv"}, false},
      {{"jorv", "--production"}, true},
      {{"jorv", "--PRODUCTION"}, true},
      {{"jorv", "other", "--Production"}, true},
      {{"--production"}, false},
      {{"jorv", "-production", "production"}, false},
  };
  for (const auto& c : cases) {
    std::vector<char*> argv;
    for (const auto& a : c.args) argv.push_back(const_cast<char*>(a.c_str()));
    os::setCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(gf_hasProductionSwitch(), c.production) << c.args.back();
  }
}

using testing_support::ProgramRun;

TEST(Program, RunsAsOneInstanceOpensItsLogAndEndsInOrderWhenTheWindowCloses) {
  ProgramRun run;
  run.chooseRTApp();
  pid_t first = run.start(3.0);
  // Wait until the first instance has opened its log, so it certainly holds the lock.
  for (int i = 0; i < 200 && !fs::exists(run.program / "Log.txt"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  ASSERT_TRUE(fs::exists(run.program / "Log.txt"));

  ProgramRun second(false);
  fs::remove_all(second.runtime);
  fs::create_symlink(run.runtime, second.runtime);  // same user session, other folders
  EXPECT_EQ(ProgramRun::wait(second.start(3.0)), 255);
  EXPECT_FALSE(fs::exists(second.appdata));
  EXPECT_TRUE(fs::is_empty(second.program));

  EXPECT_EQ(ProgramRun::wait(first), 0);
  EXPECT_TRUE(fs::is_directory(run.appdata / "JORV"));
  const std::string log = readFile(run.program / "Log.txt");
  EXPECT_NE(log.find(" JORV version 16.8.2 for MSFS 2020/2024\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" Exiting: USER CLOSED SIM\n"), std::string::npos) << log;
}

}  // namespace
