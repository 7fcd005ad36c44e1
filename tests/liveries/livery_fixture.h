#pragma once
// A run folder for the livery database: the sample dbase read, the log open, parameters.xml
// written through the real writer into a per-user folder of its own, MSFS 2024 chosen.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/gui.h"
#include "tests/support/test_support.h"

namespace livery_testing {

// One "l" element: airline, operator, model, cargo, title, registration; empty texts are left
// out (the model and title attributes are always written).
struct ScanLine {
  std::string airline;
  std::string operatorName;
  std::string model;
  bool cargo = false;
  std::string title;
  std::string registration;
};

std::string scanXml(const std::vector<ScanLine>& lines);

class LiveryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string log();
  // The scan result file of the chosen simulator.
  void writeScanFile(const std::string& xml);
  void writeScanFile(const std::vector<ScanLine>& lines) { writeScanFile(scanXml(lines)); }
  std::string parameterValue(const std::string& name);
  // The GUI updates queued since the last call.
  std::vector<GuiUpdate> takeGuiUpdates();

  testing_support::TempDir dir_;
  testing_support::ScopedCurrentDir cwd_{dir_.path()};
};

}  // namespace livery_testing
