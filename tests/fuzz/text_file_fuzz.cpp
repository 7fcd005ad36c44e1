// The charset reader of other programs' text files: the input is the file. Whatever charset is
// detected, what comes back is UTF-8 (a UTF-8 guess is only sure for a file whose whole text
// was looked at, and a byte-order mark is taken at its word).
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "core/text.h"
#include "core/text_file.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

bool lf_isUtf8(const std::string& text) {
  try {
    (void)utf8_to_wide(text);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto file = fuzz::tempFolder() / "text.txt";
  fuzz::writeFile(file, fuzz::text(data, size));
  const TextEncoding encoding = gf_detectTextEncoding(file);
  std::vector<std::string> lines;
  const bool read = gf_readTextFileLines(encoding, file, lines);
  const bool sure = encoding == TextEncoding::ANSI || encoding == TextEncoding::Unicode ||
                    encoding == TextEncoding::Unicode_big_endian ||
                    (encoding == TextEncoding::UTF8_without_BOM && size <= 4096);
  if (read && sure)
    for (const auto& line : lines) fuzz::require(lf_isUtf8(line), "a line read in its charset is UTF-8");

  TextFile plain{file, {}};
  (void)plain.readLines(16);
  return 0;
}
