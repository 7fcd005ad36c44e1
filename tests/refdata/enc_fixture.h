#pragma once
// Builds .enc files for the tests, with the program's key unless told otherwise, and can leave
// out the final tag to make broken files.
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "refdata/enc_file.h"

namespace refdata_testing {

using EncKey = std::array<unsigned char, kEncKeyBytes>;

EncKey programKey();

struct EncFixtureOptions {
  bool finalTag = true;           // the last chunk carries the final tag
  std::optional<EncKey> key;      // another key than the program's
};

// Header and 4096-byte chunks, as the program's data sets are laid out.
std::string encryptForTest(std::string_view plain, const EncFixtureOptions& options = {});

}  // namespace refdata_testing
