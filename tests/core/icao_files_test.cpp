#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "core/files.h"
#include "tests/support/test_support.h"

namespace {
using testing_support::TempDir;
using testing_support::writeFile;

TEST(IcaoCodesOfXmlFilesTest, OnlyFourCharacterXmlStems) {
  TempDir dir;
  writeFile(dir / "EHAM.XML", "x");
  writeFile(dir / "EHAM.txt", "x");
  writeFile(dir / "KJFK1.xml", "x");
  std::filesystem::create_directory(dir / "LFPG.xml");  // a folder, not a file
  const auto codes = gf_icaoCodesOfXmlFiles(dir.path());
  ASSERT_EQ(codes.size(), 1u);
  EXPECT_EQ(codes[0], IcaoCode("EHAM"));
  EXPECT_TRUE(gf_icaoCodesOfXmlFiles(dir / "missing").empty());
}

TEST(IcaoCodesOfXmlFilesTest, InvalidFourCharacterStemThrows) {
  TempDir dir;
  writeFile(dir / "EH M.xml", "x");
  EXPECT_THROW(gf_icaoCodesOfXmlFiles(dir.path()), std::invalid_argument);
}

}  // namespace
