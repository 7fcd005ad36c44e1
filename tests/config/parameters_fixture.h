#pragma once
// A clean per-user folder, log and option set for the tests of parameters.xml.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"

namespace params_test {

// Every stored option back to its default (and PROGRAM_VERSION's default back to empty).
void resetOptions();

// (name, value) of every <parameter> in file order.
std::vector<std::pair<std::string, std::string>> parametersIn(const std::filesystem::path& file);

std::string parameterXml(const std::vector<std::pair<std::string, std::string>>& parameters);

// The value stored under name, or "<missing>".
std::string valueOf(const std::vector<std::pair<std::string, std::string>>& parameters, const std::string& name);

// Names of every stored option in the order of the stored lists.
std::vector<std::string> storedNames();

// A temporary current folder with the log open in it.
class LoggedTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string log();

  testing_support::TempDir dir_;
  testing_support::ScopedCurrentDir cwd_{dir_.path()};
};

class ParametersTest : public LoggedTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::filesystem::path file() const { return folder_ / "parameters.xml"; }
  std::filesystem::path backup() const { return folder_ / "parameters.xml.bak"; }
  std::filesystem::path corrupt() const { return folder_ / "parameters.xml.corrupt"; }
  void writeParameters(const std::vector<std::pair<std::string, std::string>>& parameters) {
    testing_support::writeFile(file(), parameterXml(parameters));
  }

  std::filesystem::path folder_;
};

}  // namespace params_test
