// Paths of stand files: archive identities and learned paths, with the publisher folder names.
#include "parking/archive_paths.h"
#include "tests/parking/parking_fixture.h"

namespace parking_test {
namespace {

using ArchivePathsTest = ParkingTest;

TEST_F(ArchivePathsTest, IdentityAndLearnedPathOfEachPath) {
  struct Case {
    const char* path;
    const char* publisher;
    const char* identity;  // "code|publisher|version", "" for none
    const char* learned;   // "" for none
  };
  const Case cases[] = {
      {"archive/Stock/egll12.ENC", "", "EGLL|stock|12", ""},
      {"archive/stock/EGLL.enc", "", "EGLL|stock|", "airports/learned/stock/EGLL.xml"},
      {"archive/simaddon/EGLL7.xml", "", "EGLL|simaddon|7", "airports/learned/simaddon/EGLL7.xml"},
      {"archive/stock/EGL.enc", "", "", "airports/learned/stock/EGL.xml"},
      {"archive/stock/EGLL1a.enc", "", "", "airports/learned/stock/EGLL1a.xml"},
      {"archive/stock/sub/EGLL.enc", "", "", ""},
      {"archive/other/EGLL.enc", "", "", ""},
      {"archive/stock/EGLL.txt", "", "", ""},
      {"archive/thirdparty/Big%20Maker/LFPG3.enc", "", "LFPG|Big Maker|3",
       "airports/learned/thirdparty/Big Maker/LFPG3.xml"},
      {"archive/thirdparty/a%2Fb/LFPG.enc", "", "LFPG|a/b|", "airports/learned/thirdparty/a b/LFPG.xml"},
      {"archive/thirdparty/..%2F/LFPG.enc", "", "LFPG|../|", ""},
      {"archive/thirdparty/%zz%4/LFPG.enc", "", "LFPG|%zz%4|", "airports/learned/thirdparty/%zz%4/LFPG.xml"},
      {"archive/thirdparty/%09x%3F/LFPG.enc", "", "LFPG|\tx?|", "airports/learned/thirdparty/x/LFPG.xml"},
      {"airports/my_thirdparty/EGLL.xml", "Alpha Scenery", "", "airports/learned/thirdparty/Alpha Scenery/EGLL.xml"},
      {"airports/my_thirdparty2024/EGLL.xml", "Beta", "", "airports/learned/thirdparty/Beta/EGLL.xml"},
      {"airports/my_thirdparty/EGLL.xml", "   ", "", ""},
      {"airports/my_thirdparty/EGLL.xml", "..", "", ""},
      {"airports/my_thirdparty/EGLL.xml", "caf\xe9", "", ""},  // no UTF-8
      {"airports/my_simaddon/EGLL.xml", "simaddon", "", "airports/learned/my_simaddon/EGLL.xml"},
      {"airports/stock/EGLL.xml", "", "", "airports/learned/stock/EGLL.xml"},
  };
  for (const Case& c : cases) {
    const auto identity = lf_archiveIdentity(c.path);
    const std::string got =
        identity ? fmt::format("{}|{}|{}", identity->code.text(), identity->publisher, identity->version) : "";
    EXPECT_EQ(got, c.identity) << c.path;
    const auto learned = lf_learnedPathFor(c.path, c.publisher);
    EXPECT_EQ(learned ? learned->generic_string() : "", c.learned) << c.path << " / " << c.publisher;
  }
}

}  // namespace
}  // namespace parking_test
