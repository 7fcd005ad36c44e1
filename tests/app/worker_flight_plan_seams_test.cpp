// The program's flight-plan seams as the worker's set-up and the shutdown call them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/worker_seams.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "tests/support/test_support.h"

namespace {

TEST(ProgramFlightPlanSeams, FolderMadeAtSetUpAndRemovedAtShutdownWithMsfs2020Only) {
  testing_support::TempDir dir;
  ::setenv("JORV_APPDATA", dir.path().c_str(), 1);
  gf_resetProgramFolders();
  const WorkerSeams seams = gf_programWorkerSeams();
  const std::filesystem::path folder = dir.path() / "JORV" / "orig_dest";

  EXPECT_FALSE(seams.flightPlanFolder());
  gf_publishSimChoice(SimChoice{1, 0});
  EXPECT_EQ(seams.flightPlanFolder(), folder);
  EXPECT_TRUE(seams.ensureFlightPlanFolder());
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  seams.removeFlightPlanFolder();
  EXPECT_FALSE(std::filesystem::exists(folder));

  gf_publishSimChoice(SimChoice{});
  ::unsetenv("JORV_APPDATA");
  gf_resetProgramFolders();
}

}  // namespace
