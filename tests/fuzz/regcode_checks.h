#pragma once
// What every reader of registration codes promises of its entries.
#include "refdata/aig_regcodes.h"
#include "tests/fuzz/fuzz_support.h"

namespace fuzz {

inline void checkRegcodes(const RegcodeReadResult& result) {
  for (const auto& entry : result.entries) {
    for (std::size_t i = 0; i < entry.codes.size(); ++i) {
      require(gf_isValidRegcode(entry.codes[i]), "an entry keeps valid codes only");
      require(i == 0 || entry.codes[i - 1] < entry.codes[i], "an entry's codes are ascending without duplicates");
    }
  }
}

}  // namespace fuzz
