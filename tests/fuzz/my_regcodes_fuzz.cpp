// The user's registration-code lines ("title[;code,code...[;#]]"), split into lines as a file
// of them is read, and the list of titles that no installed livery carries.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/text.h"
#include "refdata/my_regcodes.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/regcode_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines;
  gf_splitLines(fuzz::text(data, size), lines);
  const RegcodeReadResult result = gf_parseMyRegcodeLines(lines, "my_regcodes.txt");
  fuzz::checkRegcodes(result);
  for (const auto& entry : result.entries)
    fuzz::require(!entry.special || !entry.codes.empty(), "a user's special entry has a code");
  std::vector<std::string> installed;
  for (std::size_t i = 0; i < result.entries.size(); i += 2) installed.push_back(result.entries[i].title);
  (void)gf_listMissingRegcodeTitles(result.entries, installed);
  return 0;
}
