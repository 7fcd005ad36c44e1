// The off-line learning package: what goes into tblo, and only a whole package sets tblo mode.
#include "airportscan/tblo_package.h"

#include <gtest/gtest.h>

#include "airportscan/scan_state.h"
#include "config/program_folders.h"
#include "refdata/zip_archive.h"
#include "tests/airportscan/scan_run_fixture.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;

class TbloPackageTest : public airportscan_testing::SimScanTest {
 protected:
  void SetUp() override {
    SimScanTest::SetUp();
    weeklyAirports({"LSZH", "VHHX", "LSGG"});
    fs::create_directories(g_tbloFolder);
  }
  static bool hinted() {
    const std::vector<std::string> texts = shown();
    return std::any_of(texts.begin(), texts.end(), [](const std::string& t) { return t.starts_with("Push the tblo"); });
  }
};

TEST_F(TbloPackageTest, CopiesTheWeeklyAirportsStandFiles) {
  for (const char* file : {"my_simaddon/VHHX.xml", "my_simaddon/LSZH.xml", "my_simaddon/LSZH.txt",
                           "my_simaddon/EGLL.xml", "my_thirdparty/LSGG.xml", "my_thirdparty/KJFK.xml",
                           "my_thirdparty/LSZH-old.xml"})
    writeFile(g_airportsFolder / file, file);
  lf_copySimaddonFilesToTblo();
  lf_copyThirdpartyFilesToTblo();
  std::set<std::string> copied;
  for (const auto& entry : fs::directory_iterator(g_tbloFolder)) copied.insert(entry.path().filename().string());
  EXPECT_EQ(copied, (std::set<std::string>{"LSGG.xml", "LSZH.xml"}));
  EXPECT_FALSE(fs::exists(g_mySimaddonFolder / "LSZH.txt"));
  EXPECT_TRUE(messaged("'KJFK' cannot be learned, no stock version with RT Traffic available"));
  EXPECT_NE(log().find("1 simaddon file copied to tblo folder"), std::string::npos);
}

TEST_F(TbloPackageTest, OnlyAWholePackageSetsTbloMode) {
  lf_makeTbloPackage();
  EXPECT_FALSE(g_tbloMode);
  EXPECT_NE(log().find("no off line learning needed."), std::string::npos);

  writeFile(g_tbloFolder / "LSZH.xml", "<root/>");
  writeFile(g_tbloFolder / "\xff\xfe.xml", "<root/>");  // no UTF-8: the archive refuses the entry
  lf_makeTbloPackage();
  EXPECT_FALSE(g_tbloMode);
  EXPECT_FALSE(hinted());
  EXPECT_EQ(shown(), std::vector<std::string>{"Zippen TBLO folder failed"});

  fs::remove(g_tbloFolder / "\xff\xfe.xml");
  lf_makeTbloPackage();
  EXPECT_TRUE(g_tbloMode);
  EXPECT_TRUE(hinted());
  EXPECT_FALSE(fs::exists(g_tbloFolder / "LSZH.xml"));
  EXPECT_TRUE(fs::exists(g_tbloFolder / "email address.txt"));
}

// The old package stays whole until a new one has been made in full; the new one never holds
// the old one.
TEST_F(TbloPackageTest, ANewPackageReplacesTheOldOneOnlyWhenWhole) {
  const fs::path zip = g_tbloFolder / g_tbloZipName;
  writeFile(zip, "old package");
  writeFile(g_tbloFolder / "LSZH.xml", "<root/>");
  writeFile(g_tbloFolder / "\xff\xfe.xml", "<root/>");  // the archive refuses the entry
  EXPECT_FALSE(gf_zipFolder(zip));
  EXPECT_EQ(readFile(zip), "old package");

  fs::remove(g_tbloFolder / "\xff\xfe.xml");
  ASSERT_TRUE(gf_zipFolder(zip));
  ZipArchive archive;
  ASSERT_TRUE(archive.openRead(zip));
  std::vector<std::string> entries;
  for (const ZipEntry& entry : archive.getEntries()) entries.push_back(entry.name);
  EXPECT_EQ(entries, std::vector<std::string>{"LSZH.xml"});
  std::set<std::string> files;
  for (const auto& entry : fs::directory_iterator(g_tbloFolder)) files.insert(entry.path().filename().string());
  EXPECT_EQ(files, (std::set<std::string>{"LSZH.xml", "tblo.zip"})) << "no temporary left";
}

// Without the address file there is no package to mail: no tblo mode, no hint, the failure said.
TEST_F(TbloPackageTest, NoTbloModeWithoutTheAddressFile) {
  writeFile(g_tbloFolder / "LSZH.xml", "<root/>");
  fs::create_directories(g_tbloFolder / "email address.txt" / "in the way");
  lf_makeTbloPackage();
  EXPECT_FALSE(g_tbloMode);
  EXPECT_FALSE(hinted());
  EXPECT_NE(log().find("==> Writing tblo/email address.txt failed; no off-line learning package"), std::string::npos);
}

}  // namespace
