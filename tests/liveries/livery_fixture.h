#pragma once
// A run folder for the livery database: the sample dbase read, the log open, parameters.xml
// written by the real writer into a per-user folder of its own, MSFS 2024 chosen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "appbase/gui.h"
#include "tests/support/test_support.h"

namespace livery_testing {

class LiveryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string log();
  // The scan result file of the chosen simulator holding these "l" elements.
  void writeScanFile(const std::string& elements);
  std::vector<GuiUpdate> takeGuiUpdates();

  testing_support::TempDir dir_;
  testing_support::ScopedCurrentDir cwd_{dir_.path()};
};

}  // namespace livery_testing
