// The program's livery seams as the main loop and the shutdown call them.
#include <gtest/gtest.h>

#include "app/worker_seams.h"
#include "liveries/failed_liveries.h"
#include "liveries/livery_database.h"

namespace {

TEST(ProgramLiverySeams, RefusedLiveriesOutliveTheClearsWhileTheNoMatchListEmpties) {
  const WorkerSeams seams = gf_programWorkerSeams();
  g_failedLiveryTitles.insert("AIG Airbus A380-800 Lufthansa");
  g_unmatchedLiveries.insert("DLH400 A388");
  seams.clearFailedLiveries();
  EXPECT_TRUE(gf_isFailedLivery("AIG Airbus A380-800 Lufthansa")) << "kept for the process";
  seams.clearNoMatchList();
  EXPECT_TRUE(g_unmatchedLiveries.empty());
  gf_resetLiveriesForTest();
}

}  // namespace
