// Archive links: the makers' airports and the add-on publishers' files chosen by version.
#include "airportscan/archive_links.h"

#include <gtest/gtest.h>

#include "airportscan/scan_state.h"
#include "tests/airportscan/scan_fixture.h"

namespace {

class ArchiveLinksTest : public airportscan_testing::ScanTest {
 protected:
  static ScenerySource source(const char* publisher, std::optional<std::string> version) {
    ScenerySource s("Community/x/EGLL.bgl");
    s.code = IcaoCode("EGLL");
    s.publisher = publisher;
    if (version) s.manifest = ManifestInfo{"", *version, "", ""};
    return s;
  }
};

TEST_F(ArchiveLinksTest, ThirdPartyFilesByVersion) {
  using Files = std::vector<ThirdPartyAirportFile>;
  const struct {
    Files files;
    const char* version;
    std::uint32_t status;
    const char* file;
    const char* higher;
  } cases[] = {
      {{{"EGLL123", "1.2.3"}, {"EGLL130", "1.3.0"}}, "1.2.3", 2, "EGLL123", "1.3.0"},
      {{{"EGLL130", "1.3.0"}}, "1.2.3", 3, "", "1.3.0"},
      {{{"EGLL-RC2", "1.2.3-RC2"}}, "1.2.3", 0, "", ""},  // a candidate is below its release
      {{{"EGLL-RC2", "1.2.3-rc2"}, {"EGLL123", "1.2.3"}}, "1.2.3-RC2", 2, "EGLL-RC2", "1.2.3"},
      {{{"EGLL", ""}, {"EGLL130", "1.3.0"}}, "", 1, "EGLL", ""},  // no version: the bare code only
      {{{"EGLL140", "1.4.0"}, {"EGLL14", "1.4.0"}, {"EGLL15", "1.5"}}, "1.2", 3, "", "1.5"},
      {{{"LSZH130", "1.3.0"}}, "1.2.3", 0, "", ""}};
  for (const auto& c : cases) {
    g_thirdPartyArchives = {{"Beta", {}}, {"Alpha Scenery", c.files}};
    const ThirdPartyLookup found = gf_findThirdPartyArchive(IcaoCode("EGLL"), "Alpha Scenery", c.version);
    EXPECT_EQ(found.status, c.status) << c.version << " " << c.files.front().file;
    EXPECT_EQ(found.file, c.file) << c.version << " " << c.files.front().file;
    EXPECT_EQ(found.higherVersion, c.higher) << c.version << " " << c.files.front().file;
  }
  EXPECT_EQ(gf_findThirdPartyArchive(IcaoCode("EGLL"), "Nobody", "1.2.3").status, 0u);
}

TEST_F(ArchiveLinksTest, LinksAndWarnings) {
  g_thirdPartyArchives = {{"Alpha Scenery", {{"EGLL123", "1.2.3"}, {"EGLL130", "1.3.0"}}}};
  EXPECT_EQ(lf_thirdPartyArchiveLink(source("Alpha Scenery", "1.2.3")), "archive/thirdparty/Alpha%20Scenery/EGLL123.enc");
  const std::string higher = "Warning: Alpha Scenery EGLL version 1.2.3 is used; higher version 1.3.0 is present in the archive";
  EXPECT_TRUE(messaged(higher));
  EXPECT_EQ(shown(), std::vector<std::string>{higher});

  g_thirdPartyArchives = {{"Alpha Scenery", {{"EGLL130", "1.3.0"}}}};
  EXPECT_FALSE(lf_thirdPartyArchiveLink(source("Alpha Scenery", "1.2.3")));
  EXPECT_TRUE(messaged("Warning: Alpha Scenery EGLL version 1.2.3 is not in the archive; higher version 1.3.0 is "
                       "present. The airport is sent to TBLO"));
  EXPECT_EQ(g_airportScanMessages.back(), "thirdparty Alpha Scenery EGLL version 1.2.3 does not exist");
  EXPECT_FALSE(lf_thirdPartyArchiveLink(source("Nobody", std::nullopt)));
  EXPECT_EQ(g_airportScanMessages.back(), "thirdparty Nobody EGLL does not exist");

  g_simaddonAirports = {"LSGG"};
  EXPECT_EQ(lf_simaddonArchiveLink(IcaoCode("LSGG")), "archive/simaddon/LSGG.enc");
  EXPECT_FALSE(lf_simaddonArchiveLink(IcaoCode("EGLL")));
  EXPECT_EQ(g_airportScanMessages.back(), "EGLL does not exist as simaddon");
}

}  // namespace
