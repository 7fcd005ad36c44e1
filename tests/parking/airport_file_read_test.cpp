// Reading the park airport's stand file: which file, the archive fetch and the airport cache, the
// learned overlay and the overlaps of the stands.
#include "parking/airport_file_read.h"
#include "refdata/downloader.h"
#include "standin/webserver/web_server.h"
#include "tests/parking/parking_fixture.h"
#include "tests/refdata/enc_fixture.h"

namespace parking_test {
namespace {

const fs::path kServerRoot = testing_support::sourceDataFolder() / "webserver";
const fs::path kLszhArchive = "archive/stock/LSZH.enc";

class AirportFileReadTest : public ParkingTest {
 protected:
  void SetUp() override {
    ParkingTest::SetUp();
    gf_setMakerBaseUrl(server.baseUrl());
  }
  void TearDown() override {
    gf_resetDownloaderState();
    gf_resetModelTables();
    ParkingTest::TearDown();
  }
  // The data of a read that must succeed.
  AirportFileData readOk(const fs::path& path) {
    auto result = gf_readAirportFile(path);
    if (auto* error = std::get_if<std::string>(&result)) ADD_FAILURE() << *error;
    return std::holds_alternative<AirportFileData>(result) ? std::get<AirportFileData>(std::move(result))
                                                           : AirportFileData{};
  }
  std::string readError(const fs::path& path) {
    auto result = gf_readAirportFile(path);
    EXPECT_TRUE(std::holds_alternative<std::string>(result)) << path;
    return std::holds_alternative<std::string>(result) ? std::get<std::string>(result) : "";
  }
  // Files left in the airports folder (fetched copies must not stay).
  std::vector<std::string> airportsFolder() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_ / "airports"))
      if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  standin::WebServer server{kServerRoot};
};

TEST_F(AirportFileReadTest, SearchOrderRedirectsAndStandData) {
  write("airports/my_thirdparty/EGLL.txt", "  archive\\thirdparty\\Alpha\\EGLL12.enc  \nignored.xml\n");
  write("airports/my_thirdparty/EGLL.xml", "");
  write("airports/my_thirdparty/EDDF.txt", "a.x\n");
  write("airports/my_thirdparty/EDDF.xml", "");
  write("airports/my_simaddon/EDDF.xml", "");
  write("airports/my_thirdparty/LOWW.txt", "LOWW.txt\n");
  write("airports/my_simaddon/LOWW.xml", "");
  write("airports/my_simaddon/KJFK.xml", "");
  write("airports/my_simaddon/ABCD.txt", "");
  struct Case {
    const char* code;
    const char* file;  // "" for none
    bool data;
  };
  const Case cases[] = {
      {"EGLL", "archive/thirdparty/Alpha/EGLL12.enc", true}, {"EDDF", "airports/my_thirdparty/EDDF.xml", true},
      {"LOWW", "airports/my_simaddon/LOWW.xml", true},        {"KJFK", "airports/my_simaddon/KJFK.xml", true},
      {"LSZH", "archive/stock/LSZH.enc", true},               {"ABCD", "", true},
      {"LFPG", "", false},
  };
  for (const Case& c : cases) {
    const auto file = gf_findAirportFile(IcaoCode(c.code));
    EXPECT_EQ(file ? file->generic_string() : "", c.file) << c.code;
    EXPECT_EQ(gf_hasAirportData(IcaoCode(c.code)), c.data) << c.code;
  }
}

TEST_F(AirportFileReadTest, AnArchivedFileIsFetchedOnceThenTakenFromTheCache) {
  const AirportFileData fetched = readOk(kLszhArchive);
  EXPECT_EQ(fetched.source, ApfSource::fetched);
  EXPECT_EQ(fetched.stands.size(), 42u);
  EXPECT_TRUE(fetched.airportName == "Zurich" && fetched.altitude == 1417 && fetched.rtTrafficWeek == 49);
  EXPECT_EQ(fetched.quality, (StandFileScores{20, 35}));
  EXPECT_EQ(fetched.stands[0].options.size(), 2u);
  // Where this airport learns, though nothing was learned yet: the save goes there.
  EXPECT_EQ(fetched.learnedPath, fs::path("airports/learned/stock/LSZH.xml"));
  EXPECT_FALSE(fetched.learnedLoaded);
  EXPECT_EQ(airportsFolder(), std::vector<std::string>{"park_airport.xml"});

  const AirportFileData cached = readOk("archive/Stock/lszh.ENC");
  EXPECT_EQ(cached.source, ApfSource::cache);
  EXPECT_EQ(cached.stands.size(), 42u);
  EXPECT_EQ(server.requestedPaths().size(), 1u);
  EXPECT_TRUE(contains(newLog(), "cached: 'airports/park_airport.xml' is taken instead of 'archive/Stock/lszh.ENC'"));
}

// The cache answers for the archive path it was filled from: the version digits of the file name
// count, whatever version text the file carries.
TEST_F(AirportFileReadTest, TheCacheIsKeyedByTheArchivePath) {
  const std::string thirdparty =
      apfXml(parkpos("A1", 47.46, 8.55),
             R"(<parameter name="altitude" value="1417"/><parameter name="publisher" value="Beta Sim Works"/>)"
             R"(<parameter name="version" value="1.2"/>)");
  server.putFile("MSFS2024/archive/thirdparty/Beta Sim Works/LSZH12.enc", refdata_testing::encryptForTest(thirdparty));
  const fs::path v12 = "archive/thirdparty/Beta%20Sim%20Works/LSZH12.enc";
  EXPECT_EQ(readOk(v12).version, "1.2");
  EXPECT_EQ(readOk(v12).source, ApfSource::cache);
  EXPECT_TRUE(contains(readError("archive/thirdparty/Beta%20Sim%20Works/LSZH13.enc"), "failed to download: '"));
  EXPECT_EQ(readOk(v12).source, ApfSource::cache) << "a failed fetch leaves the cache alone";

  // A user file is read as it is and never lands in the cache, nor is a cache made of one (by an
  // older run) ever served for the archive path.
  write("airports/my_thirdparty/LSZH.xml", apfXml(parkpos("U1", 47.46, 8.55)));
  fs::remove(dir_ / "airports/park_airport.xml");
  EXPECT_EQ(readOk("airports/my_thirdparty/LSZH.xml").source, ApfSource::requested);
  EXPECT_FALSE(exists("airports/park_airport.xml"));
  write("airports/park_airport.xml",
        apfXml(parkpos("U1", 47.46, 8.55),
               R"(<parameter name="icao" value="LSZH"/><parameter name="publisher" value="stock"/>)"
               R"(<parameter name="altitude" value="1"/>)"));
  EXPECT_EQ(readOk(kLszhArchive).source, ApfSource::fetched);
}

TEST_F(AirportFileReadTest, AFailedReadFromTheCacheDropsTheCache) {
  readOk(kLszhArchive);
  std::string cache = read("airports/park_airport.xml");
  cache.replace(cache.find(R"(name="altitude")"), 15, R"(name="elevation")");
  write("airports/park_airport.xml", cache);
  EXPECT_EQ(readError(kLszhArchive), "gf_readAirportFile: 65: Parameter altitude not found");
  EXPECT_FALSE(exists("airports/park_airport.xml"));
  EXPECT_EQ(readOk(kLszhArchive).source, ApfSource::fetched);
}

TEST_F(AirportFileReadTest, StandsCloserThanTheirRadiiOverElevenTenthsExcludeEachOther) {
  const double apartDeg = 40.0 * kNmPerMetre / 1.1 / 60.0;  // two 20 m stands, in degrees of latitude
  write("airports/my_thirdparty/EDDF.xml",
        apfXml(parkpos("A", 50.0, 8.5) + parkpos("B", 50.0 + apartDeg * 0.999, 8.5) + parkpos("C", 50.1, 8.5) +
                   parkpos("D", 50.1 + apartDeg * 1.001, 8.5),
               R"(<parameter name="altitude" value="364"/><parameter name="Qf_soft" value="40"/>)"));
  const AirportFileData data = readOk("airports/my_thirdparty/EDDF.xml");
  ASSERT_EQ(data.stands.size(), 4u);
  EXPECT_EQ(data.stands[0].excludes, std::vector<std::int32_t>{2});
  EXPECT_EQ(data.stands[1].excludes, std::vector<std::int32_t>{1});
  EXPECT_TRUE(data.stands[2].excludes.empty() && data.stands[3].excludes.empty());
  EXPECT_EQ(data.stands[3].id, 4u);
  EXPECT_EQ(data.quality, (StandFileScores{0, 40}));
}

TEST_F(AirportFileReadTest, TheLearnedFileOfTheRequestedFolderIsLaidOver) {
  write("airports/my_simaddon/EDDF.xml",
        apfXml(parkpos("A", 50.0, 8.5), R"(<parameter name="altitude" value="364"/><parameter name="publisher" value="simaddon"/>)"));
  write("airports/learned/my_simaddon/EDDF.xml",
        apfXml(parkpos("A", 0, 0, R"(<opt reg="HB-JNA" day="2" hh="10:20"/>)")));
  const AirportFileData data = readOk("airports/my_simaddon/EDDF.xml");
  EXPECT_TRUE(data.learnedLoaded);
  EXPECT_EQ(data.learnedPath, fs::path("airports/learned/my_simaddon/EDDF.xml"));
  ASSERT_EQ(data.stands.at(0).options.size(), 1u);
  EXPECT_EQ(data.quality, gf_standFileScores(data.stands));

  write("airports/learned/my_simaddon/EDDF.xml", "<root/>");
  const AirportFileData refused = readOk("airports/my_simaddon/EDDF.xml");
  EXPECT_FALSE(refused.learnedLoaded);
  EXPECT_EQ(refused.learnedPath, fs::path("airports/learned/my_simaddon/EDDF.xml"));
  EXPECT_TRUE(refused.stands.at(0).options.empty());
}

TEST_F(AirportFileReadTest, WholeFileFailuresAndAFileWithoutStands) {
  write("airports/my_thirdparty/EDDF.xml", apfXml(parkpos("A", 50.0, 8.5), ""));
  EXPECT_EQ(readError("airports/my_thirdparty/EDDF.xml"), "gf_readAirportFile: 65: Parameter altitude not found");
  write("airports/my_thirdparty/EDDF.xml", "<root><parameters/></root>");
  EXPECT_EQ(readError("airports/my_thirdparty/EDDF.xml"), "airports/my_thirdparty/EDDF.xml: refused to load");
  EXPECT_EQ(readError("airports/my_thirdparty/NONE.xml"), "airports/my_thirdparty/NONE.xml could not be opened");

  write("airports/my_thirdparty/EDDF.xml", apfXml(""));
  EXPECT_TRUE(readOk("airports/my_thirdparty/EDDF.xml").stands.empty());
  EXPECT_TRUE(contains(newLog(), "no stands found in the airport file"));
}

}  // namespace
}  // namespace parking_test
