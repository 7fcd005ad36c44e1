// The archives data set: publisher groups, rejected maker values, shipped and archived airports.
#include "airportscan/archives_data.h"

#include <gtest/gtest.h>

#include "core/user_exception.h"
#include "refdata/enc_file.h"
#include "tests/airportscan/scan_fixture.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using Groups = std::vector<std::vector<std::string>>;
using Files = std::vector<ThirdPartyAirportFile>;

template <typename Exception>
std::string lf_thrown(bool msfs2020) {
  try {
    gf_readArchivesData(msfs2020);
  } catch (const Exception& e) {
    return e.what();
  }
  return "nothing thrown";
}

class ArchivesDataTest : public airportscan_testing::ScanTest {
 protected:
  void write(const std::string& body) { writeEnc("input/archives.enc", "<root>" + body + "</root>"); }
};

TEST_F(ArchivesDataTest, TheSampleDataSet) {
  const fs::path sample = testing_support::sourceDataFolder();
  auto plain = gf_readEncFile(sample / "archives.enc", kArchivesPlainLimit);
  ASSERT_TRUE(plain.ok()) << plain.message();
  EXPECT_EQ(plain.buffer().text(), readFile(sample / "archives.xml"));
  testing_support::writeFile(dir_ / "input" / "archives.enc", readFile(sample / "archives.enc"));

  ASSERT_TRUE(gf_readArchivesData(true));
  // Sorted, the duplicate dropped; the final comma of Beta's names and the empty text add no name.
  EXPECT_EQ(g_publisherGroups, (Groups{{},
                                       {"Alpha Scenery", "alpha-scenery", "alphasc"},
                                       {"Beta Sim Works", "betasim"},
                                       {"Gamma Airports", "gamma-airports"}}));
  EXPECT_EQ(g_rejectedManifestPublishers,
            (std::map<std::string, std::string>{{"community", "Community"}, {"fsim", "FSIM"}, {"unknown", "Unknown"}}));
  EXPECT_EQ(g_simaddonAirports, (std::set<std::string>{"EDDB", "EGLC", "KJFK", "KLAX", "LSGG"}));
  ASSERT_EQ(g_thirdPartyArchives.size(), 2u);
  EXPECT_EQ(g_thirdPartyArchives[0].publisher, "Alpha Scenery");
  EXPECT_EQ(g_thirdPartyArchives[0].files, (Files{{"EGLL", ""}, {"EGLL123", "1.2.3"}, {"EGLL130", "1.3.0"}}));
  EXPECT_EQ(g_thirdPartyArchives[1].files, (Files{{"EDDF", ""}, {"LSZH", "2.0.1"}}));  // LOWW is not listed
  EXPECT_NE(log().find("    4 publishers\n    3 rejected manifest publisher values\n"), std::string::npos);

  const struct { const char* text; std::uint8_t status; const char* publisher; } searches[] = {
      {"Community/ALPHASC-egll/scenery/EGLL.bgl", 0, "Alpha Scenery"},
      {"Community/betasim-eddf", 0, "Beta Sim Works"},
      {"Community/someone-else-lszh", 1, ""},  // no group matches every text any more
      {"", 2, ""}};
  for (const auto& s : searches) {
    const PublisherMatch match = gf_findPublisherInText(s.text);
    EXPECT_EQ(match.status, s.status) << s.text;
    EXPECT_EQ(match.publisher, s.publisher) << s.text;
  }

  ASSERT_TRUE(gf_readArchivesData(false));
  EXPECT_TRUE(g_simaddonAirports.contains("EHAM"));
  EXPECT_EQ(g_thirdPartyArchives.at(0).files, (Files{{"EGLL130", "1.3.0"}, {"EGKK", ""}}));  // an empty "v"
}

TEST_F(ArchivesDataTest, GroupsAndRejectedValues) {
  write(R"(<publishers><pub pn="B,b1"/><pub pn="A,a1"/></publishers><simaddons20/>)");
  ASSERT_TRUE(gf_readArchivesData(true));
  EXPECT_EQ(g_publisherGroups, (Groups{{"A", "a1"}, {"B", "b1"}}));
  EXPECT_TRUE(gf_isRejectedManifestPublisher(" FSIM "));  // the default without the element
  EXPECT_FALSE(gf_isRejectedManifestPublisher(""));

  write(R"(<rejectedpublishers><rp n="Some Maker"/></rejectedpublishers><simaddons20/>)");
  ASSERT_TRUE(gf_readArchivesData(true));
  EXPECT_FALSE(gf_isRejectedManifestPublisher(" FSIM "));
  EXPECT_TRUE(gf_isRejectedManifestPublisher("some maker\t"));
}

TEST_F(ArchivesDataTest, Failures) {
  EXPECT_EQ(lf_thrown<std::runtime_error>(true), "input/archives.enc not available");
  write("<simaddons20/>");
  EXPECT_EQ(lf_thrown<jrv::UserRelatedException>(false), "61: Missing section: simaddons24");
  writeEnc("input/archives.enc", "<root><publishers>");
  EXPECT_FALSE(gf_readArchivesData(true));
  writeEnc("input/archives.enc", "<list/>");
  EXPECT_FALSE(gf_readArchivesData(true));
  EXPECT_TRUE(g_publisherGroups.empty());
  EXPECT_NE(log().find("==> input/archives.enc not read because: "), std::string::npos);
  EXPECT_NE(log().find("==> 'input/archives.enc' has no root node"), std::string::npos);
}

}  // namespace
