#include "tests/refdata/enc_fixture.h"

#include <sodium.h>

#include <algorithm>
#include <vector>

#include "core/log.h"
#include "refdata/library_init.h"

namespace refdata_testing {

EncKey programKey() {
  EncKey key{};
  gf_encKeyPartA(key);
  gf_encKeyPartB(key);
  return key;
}

std::string encryptForTest(std::string_view plain, const EncFixtureOptions& options) {
  const EncKey key = options.key.value_or(programKey());
  crypto_secretstream_xchacha20poly1305_state state;
  std::array<unsigned char, kEncHeaderBytes> header{};
  crypto_secretstream_xchacha20poly1305_init_push(&state, header.data(), key.data());
  std::string out(reinterpret_cast<const char*>(header.data()), header.size());
  std::vector<unsigned char> chunk(kEncChunkBytes);
  std::size_t offset = 0;
  for (;;) {
    const std::size_t length = std::min(kEncChunkPlainBytes, plain.size() - offset);
    const bool last = offset + length == plain.size();
    const unsigned char tag = last && options.finalTag ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                                       : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
    unsigned long long written = 0;
    crypto_secretstream_xchacha20poly1305_push(&state, chunk.data(), &written,
                                               reinterpret_cast<const unsigned char*>(plain.data()) + offset, length,
                                               nullptr, 0, tag);
    out.append(reinterpret_cast<const char*>(chunk.data()), static_cast<std::size_t>(written));
    offset += length;
    if (last) break;
  }
  return out;
}

void DataSetTest::SetUp() {
  gf_initDataLibraries();
  gf_openLog();
}

void DataSetTest::TearDown() { gf_closeLog(); }

std::string DataSetTest::log() {
  gf_flushLog();
  return testing_support::readFile(dir_.path() / "Log.txt");
}

void DataSetTest::writeEnc(const std::filesystem::path& relative, std::string_view plain) {
  testing_support::writeFile(dir_.path() / relative, encryptForTest(plain));
}

}  // namespace refdata_testing
