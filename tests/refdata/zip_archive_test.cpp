#include <gtest/gtest.h>

#include <sstream>

#include "refdata/zip_archive.h"
#include "tests/refdata/update_fixture.h"

namespace {
namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::writeFile;

TEST(ZipArchive, WhatIsWrittenReadsBackEntryByEntry) {
  TempDir dir;
  const fs::path file = dir / "tblo.zip";
  std::string big(1'300'000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 31) >> 3);
  writeFile(file, refdata_testing::zipBytes({{"EHAM/", ""}, {"EHAM/stands.xml", big}, {"empty.txt", ""}}));
  ZipArchive archive;
  ASSERT_TRUE(archive.openRead(file));
  const auto entries = archive.getEntries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_TRUE(entries[0].isFolder());
  EXPECT_EQ(entries[1].name, "EHAM/stands.xml");
  EXPECT_EQ(entries[1].size, big.size());
  EXPECT_FALSE(entries[2].isFolder());

  std::ostringstream out;
  EXPECT_EQ(archive.readContent(entries[1], out, 4096), 0);  // many small pieces
  EXPECT_EQ(out.str(), big);
  std::ostringstream none;
  EXPECT_EQ(archive.readContent(entries[2], none, 4096), 0);
  EXPECT_EQ(none.str(), "");
}

TEST(ZipArchive, AnEntryIsNeverReadPastItsDeclaredSize) {
  TempDir dir;
  const fs::path file = dir / "a.zip";
  writeFile(file, refdata_testing::zipBytes({{"setup.exe", std::string(10000, 'z')}}));
  ZipArchive archive;
  ASSERT_TRUE(archive.openRead(file));
  ZipEntry lying = archive.getEntries().at(0);
  lying.size = 100;  // what an archive that lies about its size would declare
  std::ostringstream out;
  EXPECT_NE(archive.readContent(lying, out, 64), 0);
  EXPECT_LE(out.str().size(), 100u);
}

TEST(ZipArchive, SomethingElseIsNoArchive) {
  TempDir dir;
  ZipArchive archive;
  EXPECT_FALSE(archive.openRead(dir / "missing.zip"));
  EXPECT_FALSE(archive.errorText().empty());
  writeFile(dir / "page.zip", "<html>502 Bad Gateway</html>");
  EXPECT_FALSE(archive.openRead(dir / "page.zip"));
  EXPECT_FALSE(archive.isOpen());
  EXPECT_TRUE(archive.getEntries().empty());
}

}  // namespace
