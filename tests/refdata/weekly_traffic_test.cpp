// The RealTraffic weekly airports list from "input/wktraffic.enc".
#include "refdata/weekly_traffic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "refdata/enc_file.h"
#include "tests/refdata/enc_fixture.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;

const fs::path kSampleData = testing_support::sourceDataFolder();

class WeeklyTrafficTest : public refdata_testing::DataSetTest {
 protected:
  void SetUp() override {
    DataSetTest::SetUp();
    gf_resetRTWeeklyAirportsForTest();
  }
  void TearDown() override {
    gf_resetRTWeeklyAirportsForTest();
    DataSetTest::TearDown();
  }
  void writeList(const std::string& xml) { writeEnc("input/wktraffic.enc", xml); }
  static std::string list(const std::string& arps) {
    return "<root><traffic_airports>" + arps + "</traffic_airports></root>";
  }
};

TEST_F(WeeklyTrafficTest, CodesAreTrimmedUpperCasedSortedAndUnique) {
  writeList(list(R"(<arp c=" lszh ,EHAM,, eddf"/><arp c="EHAM"/><arp c=""/>)"));
  ASSERT_TRUE(gf_loadRTWeeklyAirports());
  EXPECT_EQ(g_rtWeeklyAirports, (std::vector<IcaoCode>{IcaoCode("EDDF"), IcaoCode("EHAM"), IcaoCode("LSZH")}));
  EXPECT_NE(log().find("3 ICAO airports supported by RealTraffic read from 'input/wktraffic.enc'"), std::string::npos);
}

TEST_F(WeeklyTrafficTest, OneBadCodeRejectsTheWholeFile) {
  struct Case { const char* xml; const char* error; };
  const Case cases[] = {
      {R"(<root><traffic_airports><arp c="EHAM,AMS"/></traffic_airports></root>)",
       "'input/wktraffic.enc' has invalid weekly traffic XML: invalid weekly traffic ICAO code 'AMS'"},
      {R"(<root><traffic_airports><arp c="EHAM"/><arp c="ED-F"/></traffic_airports></root>)",
       "invalid weekly traffic ICAO code 'ED-F'"},
      {R"(<root><traffic_airports><arp c=" , "/><arp c=""/></traffic_airports></root>)",
       "has invalid weekly traffic XML: <traffic_airports> contains no ICAO codes"},
      {R"(<root><traffic_airports><arp c="EHAM"/><arp/></traffic_airports></root>)",
       "<arp> element has no 'c' attribute"},
      {R"(<root><airports/></root>)", "missing <traffic_airports> section"},
      {R"(<list/>)", "missing <root> root element"},
      {R"(<root><traffic_airports>)", "weekly traffic XML parse error: "},
  };
  for (const Case& c : cases) {
    // A good list first, so that the failure visibly empties it.
    writeList(list(R"(<arp c="EHAM"/>)"));
    ASSERT_TRUE(gf_loadRTWeeklyAirports());
    writeList(c.xml);
    EXPECT_FALSE(gf_loadRTWeeklyAirports()) << c.error;
    EXPECT_TRUE(g_rtWeeklyAirports.empty()) << c.error;
    EXPECT_NE(log().find(c.error), std::string::npos) << c.error;
  }
}

// A missing file lets every airport through; a loaded list only its own.
TEST_F(WeeklyTrafficTest, Coverage) {
  EXPECT_FALSE(gf_loadRTWeeklyAirports());
  EXPECT_NE(log().find("==> 'input/wktraffic.enc' not available"), std::string::npos);
  EXPECT_TRUE(gf_isRTWeeklyAirport(IcaoCode("KJFK")));
  EXPECT_TRUE(gf_isRTWeeklyAirport(IcaoCode("EHAM")));
  EXPECT_TRUE(gf_isRTWeeklyAirport(IcaoCode("LSZH")));
  writeList(list(R"(<arp c="EHAM"/>)"));
  ASSERT_TRUE(gf_loadRTWeeklyAirports());
  EXPECT_TRUE(gf_isRTWeeklyAirport(IcaoCode("EHAM")));
  EXPECT_FALSE(gf_isRTWeeklyAirport(IcaoCode("LSZH")));
  EXPECT_FALSE(gf_isRTWeeklyAirport(IcaoCode("EHAA")));
}

TEST_F(WeeklyTrafficTest, TheSampleListLoads) {
  auto plain = gf_readEncFile(kSampleData / "wktraffic.enc", kWeeklyTrafficPlainLimit);
  ASSERT_TRUE(plain.ok()) << plain.message();
  EXPECT_EQ(plain.buffer().text(), readFile(kSampleData / "wktraffic.xml"));
  writeFile(dir_ / "input" / "wktraffic.enc", readFile(kSampleData / "wktraffic.enc"));
  ASSERT_TRUE(gf_loadRTWeeklyAirports());
  EXPECT_TRUE(gf_isRTWeeklyAirport(IcaoCode("LSZH")));
  EXPECT_FALSE(gf_isRTWeeklyAirport(IcaoCode("LSZB")));
}

}  // namespace
