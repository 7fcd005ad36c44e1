#include <gtest/gtest.h>

#include <filesystem>

#include "core/files.h"
#include "core/log.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::ScopedCurrentDir;
using testing_support::TempDir;
using testing_support::writeFile;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override { gf_openLog(); }
  void TearDown() override { gf_closeLog(); }
  std::string log() {
    gf_flushLog();
    return readFile(logDir_ / "Log.txt");
  }
  TempDir logDir_;
  ScopedCurrentDir cwd_{logDir_.path()};
  TempDir dir_;
};

TEST_F(FilesTest, MoveFileOverwritesAndReportsMissingSource) {
  writeFile(dir_ / "a.xml", "new");
  writeFile(dir_ / "b.xml", "old");
  EXPECT_TRUE(gf_moveFile(dir_ / "a.xml", dir_ / "b.xml"));
  EXPECT_EQ(readFile(dir_ / "b.xml"), "new");
  EXPECT_FALSE(fs::exists(dir_ / "a.xml"));

  EXPECT_FALSE(gf_moveFile(dir_ / "missing.xml", dir_ / "c.xml"));
  EXPECT_NE(log().find("==> could not move "), std::string::npos);
}

TEST_F(FilesTest, MoveFileAcrossFileSystemsCopiesAndRemoves) {
  // /dev/shm is a separate tmpfs on Linux; skip where it is not.
  std::error_code ec;
  if (!fs::is_directory("/dev/shm", ec)) GTEST_SKIP() << "no /dev/shm";
  TempDir other;
  const fs::path source = fs::path("/dev/shm") / ("jorv-move-" + other.path().filename().string());
  writeFile(source, "payload");
  writeFile(dir_ / "target.txt", "older");
  EXPECT_TRUE(gf_moveFile(source, dir_ / "target.txt"));
  EXPECT_EQ(readFile(dir_ / "target.txt"), "payload");
  EXPECT_FALSE(fs::exists(source));
}

TEST_F(FilesTest, RemovesOnlyTheChosenRegularFiles) {
  writeFile(dir_ / "EHAM.XML", "x");
  writeFile(dir_ / "EHAM.txt", "x");
  writeFile(dir_ / "sub" / "KJFK.xml", "x");
  gf_removeXMLFilesFromDirectory(dir_.path());
  EXPECT_FALSE(fs::exists(dir_ / "EHAM.XML"));
  EXPECT_TRUE(fs::exists(dir_ / "EHAM.txt"));
  EXPECT_TRUE(fs::exists(dir_ / "sub" / "KJFK.xml"));

  gf_removeFilesFromDirectory(dir_.path());
  EXPECT_FALSE(fs::exists(dir_ / "EHAM.txt"));
  EXPECT_TRUE(fs::exists(dir_ / "sub" / "KJFK.xml"));  // not recursive

  gf_removeFilesFromDirectory(dir_ / "missing");
  gf_removeFilesFromDirectory(dir_ / "sub" / "KJFK.xml");  // not a folder
  EXPECT_TRUE(fs::exists(dir_ / "sub" / "KJFK.xml"));
}

TEST_F(FilesTest, SaveOneGenerationKeepsOnePreviousCopy) {
  EXPECT_FALSE(gf_save1GenerationOf(dir_ / "noextension"));
  EXPECT_NE(log().find("==> gf_save1GenerationOf: no extension in filename: "), std::string::npos);
  EXPECT_TRUE(gf_save1GenerationOf(dir_ / "missing.xml"));
  EXPECT_FALSE(fs::exists(dir_ / "missing0.xml"));

  writeFile(dir_ / "park.xml", "first");
  EXPECT_TRUE(gf_save1GenerationOf(dir_ / "park.xml"));
  writeFile(dir_ / "park.xml", "second");
  EXPECT_TRUE(gf_save1GenerationOf(dir_ / "park.xml"));
  EXPECT_EQ(readFile(dir_ / "park0.xml"), "second");
}

TEST_F(FilesTest, CountsFilesByExtension) {
  EXPECT_EQ(gf_countFilesInDirectory(dir_ / "missing", ".xml"), 0u);
  writeFile(dir_ / "a.xml", "");
  writeFile(dir_ / "b.xml", "");
  writeFile(dir_ / "c.txt", "");
  fs::create_directory(dir_ / "d.xml");
  EXPECT_EQ(gf_countFilesInDirectory(dir_.path(), ".xml"), 2u);
  EXPECT_EQ(gf_countFilesInDirectory(dir_.path(), ""), 3u);
}

}  // namespace
