// The RealTraffic weekly airports list from "input/wktraffic.enc".
#include "refdata/weekly_traffic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/log.h"
#include "refdata/enc_file.h"
#include "refdata/library_init.h"
#include "tests/refdata/enc_fixture.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;
using refdata_testing::encryptForTest;
using testing_support::readFile;
using testing_support::ScopedCurrentDir;
using testing_support::TempDir;
using testing_support::writeFile;

const fs::path kSampleData = testing_support::sourceDataFolder();

class WeeklyTrafficTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initDataLibraries();
    gf_openLog();
    gf_resetRTWeeklyAirportsForTest();
  }
  void TearDown() override {
    gf_resetRTWeeklyAirportsForTest();
    gf_closeLog();
  }
  std::string log() {
    gf_flushLog();
    return readFile(dir_ / "Log.txt");
  }
  void writeList(const std::string& xml) {
    fs::create_directories(dir_ / "input");
    writeFile(dir_ / "input" / "wktraffic.enc", encryptForTest(xml));
  }
  static std::string list(const std::string& arps) {
    return "<root><traffic_airports>" + arps + "</traffic_airports></root>";
  }

  TempDir dir_;
  ScopedCurrentDir cwd_{dir_.path()};
};

TEST_F(WeeklyTrafficTest, CodesAreTrimmedUpperCasedSortedAndUnique) {
  writeList(list(R"(<arp c=" lszh ,EHAM,, eddf"/><arp c="EHAM"/><arp c=""/>)"));
  ASSERT_TRUE(gf_loadRTWeeklyAirports());
  EXPECT_EQ(g_rtWeeklyAirports, (std::vector<IcaoCode>{IcaoCode("EDDF"), IcaoCode("EHAM"), IcaoCode("LSZH")}));
  EXPECT_NE(log().find("3 ICAO airports supported by RealTraffic read from 'input/wktraffic.enc'"), std::string::npos);
}

TEST_F(WeeklyTrafficTest, OneBadCodeRejectsTheWholeFile) {
  struct Case {
    const char* xml;
    const char* error;
  };
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

TEST_F(WeeklyTrafficTest, AMissingFileLetsEveryAirportThrough) {
  EXPECT_FALSE(gf_loadRTWeeklyAirports());
  EXPECT_NE(log().find("==> 'input/wktraffic.enc' not available"), std::string::npos);
  EXPECT_TRUE(gf_isRTWeeklyAirport(IcaoCode("KJFK")));
}

TEST_F(WeeklyTrafficTest, Coverage) {
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
  fs::create_directories(dir_ / "input");
  fs::copy_file(kSampleData / "wktraffic.enc", dir_ / "input" / "wktraffic.enc");
  ASSERT_TRUE(gf_loadRTWeeklyAirports());
  EXPECT_TRUE(gf_isRTWeeklyAirport(IcaoCode("LSZH")));
  EXPECT_FALSE(gf_isRTWeeklyAirport(IcaoCode("LSZB")));
}

}  // namespace
