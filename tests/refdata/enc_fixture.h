#pragma once
// Builds .enc files for the tests, with the program's key unless told otherwise, and can leave
// out the final tag to make broken files.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "refdata/enc_file.h"
#include "tests/support/test_support.h"

namespace refdata_testing {

using EncKey = std::array<unsigned char, kEncKeyBytes>;

EncKey programKey();

struct EncFixtureOptions {
  bool finalTag = true;           // the last chunk carries the final tag
  std::optional<EncKey> key;      // another key than the program's
};

// Header and 4096-byte chunks, as the program's data sets are laid out.
std::string encryptForTest(std::string_view plain, const EncFixtureOptions& options = {});

// A temporary current folder with the log open and the data libraries ready.
class DataSetTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string log();
  // Enciphers plain into the file at relative (folders made as needed).
  void writeEnc(const std::filesystem::path& relative, std::string_view plain);

  testing_support::TempDir dir_;
  testing_support::ScopedCurrentDir cwd_{dir_.path()};
};

}  // namespace refdata_testing
