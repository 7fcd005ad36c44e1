// The .enc reader. An input starting with 'e' is a whole file as it stands. Any other input is
// a plaintext enciphered with the program's key and then spoilt as its first byte says: bit 0
// leaves out the final tag, bit 1 cuts the last byte off, bits 4..7 append that many bytes. A
// sound file must give back exactly its plaintext, a spoilt one a message and nothing else.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "refdata/enc_file.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/enc_writer.h"

namespace {

constexpr std::uint64_t kPlainLimit = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto file = fuzz::tempFolder() / "data.enc";
  const std::string_view input = fuzz::text(data, size);
  if (!input.empty() && input.front() == 'e') {
    fuzz::writeFile(file, input.substr(1));
    EncReadResult read = gf_readEncFile(file, kPlainLimit);
    fuzz::require(read.ok() || !read.message().empty(), "a failure has a message");
    return 0;
  }
  const std::uint8_t spoil = input.empty() ? 0 : data[0];
  const std::string_view plain = input.empty() ? input : input.substr(1);
  std::array<unsigned char, kEncKeyBytes> key{};
  gf_encKeyPartA(key);
  gf_encKeyPartB(key);
  std::string bytes = gf_encryptEncData(key, plain, (spoil & 1) == 0);
  gf_wipeEncKey(key);
  // The first byte appended never gives back the byte cut off: the file stays spoilt.
  char filler = '\x5a';
  if (spoil & 2) {
    filler = static_cast<char>(~bytes.back());
    bytes.pop_back();
  }
  bytes.append(spoil >> 4, filler);
  fuzz::writeFile(file, bytes);

  EncReadResult read = gf_readEncFile(file, kPlainLimit);
  const bool sound = (spoil & 0xF3) == 0;
  fuzz::require(read.ok() == sound, "a sound file reads and a spoilt one fails");
  if (read.ok()) fuzz::require(read.buffer().text() == plain, "the plaintext comes back unchanged");
  return 0;
}
