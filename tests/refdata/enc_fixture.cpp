#include "tests/refdata/enc_fixture.h"

#include "core/log.h"
#include "refdata/library_init.h"
#include "tools/enc_writer.h"

namespace refdata_testing {

EncKey programKey() {
  EncKey key{};
  gf_encKeyPartA(key);
  gf_encKeyPartB(key);
  return key;
}

std::string encryptForTest(std::string_view plain, const EncFixtureOptions& options) {
  return gf_encryptEncData(options.key.value_or(programKey()), plain, options.finalTag);
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
