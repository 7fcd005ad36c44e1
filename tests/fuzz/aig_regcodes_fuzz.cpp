// The AIG registration codes: the input is the XML, enciphered and read from
// "AIG-regcodes.enc" as at start-up; and parsed straight, so that the records are reached
// whether or not the metadata header passes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>

#include <pugixml.hpp>

#include "refdata/aig_regcodes.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/regcode_checks.h"
#include "tools/enc_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view plain = fuzz::text(data, size);
  std::array<unsigned char, kEncKeyBytes> key{};
  gf_encKeyPartA(key);
  gf_encKeyPartB(key);
  const auto file = fuzz::tempFolder() / kAigRegcodesFileName;
  fuzz::writeFile(file, gf_encryptEncData(key, plain));
  gf_wipeEncKey(key);
  fuzz::checkRegcodes(gf_readAigRegcodesFile(file));

  pugi::xml_document document;
  if (!document.load_buffer(plain.data(), plain.size())) return 0;
  const RegcodeReadResult result = gf_parseAigRegcodes(document);
  fuzz::checkRegcodes(result);
  std::unordered_set<std::string> titles;
  for (const auto& entry : result.entries) {
    fuzz::require(!entry.title.empty(), "an AIG entry has a title");
    fuzz::require(titles.insert(entry.title).second, "an AIG title comes once");
  }
  return 0;
}
