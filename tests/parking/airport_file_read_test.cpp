// Reading the park airport's stand file: which file, the archive fetch and the airport cache, the
// learned overlay and the overlaps of the stands.
#include "parking/airport_file_read.h"

#include <thread>

#include "parking/candidate_stands.h"

#include "core/background_saver.h"
#include "refdata/downloader.h"
#include "standin/webserver/web_server.h"
#include "tests/parking/parking_fixture.h"
#include "tests/refdata/enc_fixture.h"

namespace parking_test {
namespace {

const fs::path kLszhArchive = "archive/stock/LSZH.enc";
const fs::path kCache = "airports/park_airport.xml";

class AirportFileReadTest : public ParkingTest {
 protected:
  void SetUp() override {
    ParkingTest::SetUp();
    gf_setMakerBaseUrl(server.baseUrl());
  }
  void TearDown() override {
    gf_resetDownloaderState();
    ParkingTest::TearDown();
  }
  AirportFileData readOk(const fs::path& path) {
    auto result = gf_readAirportFile(path);
    if (auto* error = std::get_if<std::string>(&result)) ADD_FAILURE() << *error;
    return std::holds_alternative<AirportFileData>(result) ? std::get<AirportFileData>(std::move(result))
                                                           : AirportFileData{};
  }
  std::string readError(const fs::path& path) {
    auto result = gf_readAirportFile(path);
    return std::holds_alternative<std::string>(result) ? std::get<std::string>(result) : "read";
  }
  bool cached() {
    gf_drainSaves();
    return fs::exists(dir_ / kCache);
  }
  standin::WebServer server{testing_support::sourceDataFolder() / "webserver"};
};

TEST_F(AirportFileReadTest, SearchOrderRedirectsAndStandData) {
  for (const auto& [file, text] :
       {std::pair{"my_thirdparty/EGLL.txt", "  archive\\thirdparty\\A\\EGLL12.enc  \nx.xml\n"},
        std::pair{"my_thirdparty/EGLL.xml", ""}, std::pair{"my_thirdparty/EDDF.txt", "a.x\n"},
        std::pair{"my_thirdparty/EDDF.xml", ""}, std::pair{"my_simaddon/EDDF.xml", ""},
        std::pair{"my_thirdparty/LOWW.txt", "LOWW.txt\n"}, std::pair{"my_simaddon/LOWW.xml", ""},
        std::pair{"my_simaddon/KJFK.xml", ""}, std::pair{"my_simaddon/ABCD.txt", ""}})
    write(fs::path("airports") / file, text);
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"EGLL", "archive/thirdparty/A/EGLL12.enc", true}, {"EDDF", "airports/my_thirdparty/EDDF.xml", true},
      {"LOWW", "airports/my_simaddon/LOWW.xml", true},    {"KJFK", "airports/my_simaddon/KJFK.xml", true},
      {"LSZH", "archive/stock/LSZH.enc", true},           {"ABCD", "", true},
      {"LFPG", "", false}};
  for (const auto& [code, file, data] : cases) {
    const auto found = gf_findAirportFile(IcaoCode(code));
    EXPECT_EQ(found ? found->generic_string() : "", file) << code;
    EXPECT_EQ(gf_hasAirportData(IcaoCode(code)), data) << code;
  }
}

TEST_F(AirportFileReadTest, AnArchivedFileIsFetchedOnceThenTakenFromTheCache) {
  const AirportFileData fetched = readOk(kLszhArchive);
  EXPECT_EQ(fetched.source, ApfSource::fetched);
  EXPECT_TRUE(fetched.stands.size() == 42 && fetched.altitude == 1417 && fetched.rtTrafficWeek == 49);
  EXPECT_EQ(fetched.quality, (StandFileScores{20, 35}));
  // Where this airport learns, though nothing was learned yet: the save goes there.
  EXPECT_EQ(fetched.learnedPath, fs::path("airports/learned/stock/LSZH.xml"));
  gf_drainSaves();  // the cache is written off the caller's thread
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "airports"), fs::directory_iterator()), 1) << "the cache only";

  EXPECT_EQ(readOk("archive/Stock/lszh.ENC").source, ApfSource::cache);
  EXPECT_EQ(server.requestedPaths().size(), 1u);
  EXPECT_TRUE(contains(newLog(), "cached: 'airports/park_airport.xml' is taken instead of 'archive/Stock/lszh.ENC'"));
}

// A candidate airport's archived file comes on a thread of its own; the thread is joined once the
// file has come, not only when the candidates are forgotten.
TEST_F(AirportFileReadTest, ACandidatesFetchThreadIsJoinedOnceItsFileHasCome) {
  const Airport lszh{.code = IcaoCode("LSZH"), .position = {47.46, 8.55}};
  ClosestStand stand = gf_candidateClosestStand(lszh, lszh.position);
  EXPECT_TRUE(stand.pending);
  for (int i = 0; i < 1000 && stand.pending; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stand = gf_candidateClosestStand(lszh, lszh.position);
  }
  ASSERT_FALSE(stand.pending);
  EXPECT_TRUE(stand.found);
  gf_candidateClosestStand(lszh, lszh.position);  // the next look, answered from what was read
  EXPECT_EQ(gf_candidateFetchThreadsHeld(), 0u);
  gf_resetCandidateStands();
}

// The cache answers for the archive path it was filled from: the file name's version digits count,
// not the version text inside, and nothing but a fetched archive copy ever fills it.
TEST_F(AirportFileReadTest, TheCacheIsKeyedByTheArchivePathItWasFilledFrom) {
  server.putFile("MSFS2024/archive/thirdparty/B S/LSZH12.enc",
                 refdata_testing::encryptForTest(apfXml(parkpos("A1", 47.46, 8.55),
                                                        R"(<parameter name="altitude" value="1"/>)"
                                                        R"(<parameter name="version" value="1.2"/>)")));
  const fs::path v12 = "archive/thirdparty/B%20S/LSZH12.enc";
  EXPECT_EQ(readOk(v12).version, "1.2");
  EXPECT_EQ(readOk(v12).source, ApfSource::cache);
  EXPECT_TRUE(contains(readError("archive/thirdparty/B%20S/LSZH13.enc"), "failed to download: '"));
  EXPECT_EQ(readOk(v12).source, ApfSource::cache);

  fs::remove(dir_ / kCache);
  write("airports/my_thirdparty/LSZH.xml", apfXml(parkpos("U1", 47.46, 8.55)));
  EXPECT_EQ(readOk("airports/my_thirdparty/LSZH.xml").source, ApfSource::requested);
  EXPECT_FALSE(cached());
  // A cache an older run made of a user file is never served for the archive path.
  write(kCache, apfXml(parkpos("U1", 47.46, 8.55), R"(<parameter name="icao" value="LSZH"/>)"
                                                   R"(<parameter name="publisher" value="stock"/><parameter name="altitude" value="1"/>)"));
  EXPECT_EQ(readOk(kLszhArchive).source, ApfSource::fetched);
}

TEST_F(AirportFileReadTest, AFailedReadFromTheCacheDropsTheCache) {
  readOk(kLszhArchive);
  std::string cache = read(kCache);
  cache.replace(cache.find(R"(name="altitude")"), 15, R"(name="elevation")");
  write(kCache, cache);
  EXPECT_EQ(readError(kLszhArchive), "gf_readAirportFile: 65: Parameter altitude not found");
  EXPECT_FALSE(cached());
  EXPECT_EQ(readOk(kLszhArchive).source, ApfSource::fetched);
}

TEST_F(AirportFileReadTest, StandsCloserThanTheirRadiiOverElevenTenthsExcludeEachOther) {
  const double apart = 40.0 * kNmPerMetre / 1.1 / 60.0;  // two 20 m stands, in degrees of latitude
  write("airports/my_thirdparty/EDDF.xml",
        apfXml(parkpos("A", 50.0, 8.5) + parkpos("B", 50.0 + apart * 0.999, 8.5) + parkpos("C", 50.1, 8.5) +
                   parkpos("D", 50.1 + apart * 1.001, 8.5),
               R"(<parameter name="altitude" value="364"/><parameter name="Qf_soft" value="40"/>)"));
  const AirportFileData data = readOk("airports/my_thirdparty/EDDF.xml");
  ASSERT_EQ(data.stands.size(), 4u);
  EXPECT_EQ(data.stands[0].excludes, std::vector<std::int32_t>{2});
  EXPECT_EQ(data.stands[1].excludes, std::vector<std::int32_t>{1});
  EXPECT_TRUE(data.stands[2].excludes.empty() && data.stands[3].excludes.empty() && data.stands[3].id == 4);
  EXPECT_EQ(data.quality, (StandFileScores{0, 40}));
}

// The learned file of the folder read from, formed at read even when it cannot be used.
TEST_F(AirportFileReadTest, TheLearnedFileOfTheRequestedFolderIsLaidOver) {
  write("airports/my_simaddon/EDDF.xml",
        apfXml(parkpos("A", 50.0, 8.5), R"(<parameter name="altitude" value="1"/><parameter name="publisher" value="simaddon"/>)"));
  const fs::path learned = "airports/learned/my_simaddon/EDDF.xml";
  write(learned, apfXml(parkpos("A", 0, 0, R"(<opt reg="HB-JNA" day="2" hh="10:20"/>)")));
  const AirportFileData data = readOk("airports/my_simaddon/EDDF.xml");
  EXPECT_TRUE(data.learnedLoaded && data.learnedPath == learned && data.stands.at(0).options.size() == 1);
  EXPECT_EQ(data.quality, gf_standFileScores(data.stands));

  write(learned, "<root/>");
  const AirportFileData refused = readOk("airports/my_simaddon/EDDF.xml");
  EXPECT_TRUE(!refused.learnedLoaded && refused.learnedPath == learned && refused.stands.at(0).options.empty());
}

TEST_F(AirportFileReadTest, WholeFileFailuresAndAFileWithoutStands) {
  write("airports/my_thirdparty/EDDF.xml", apfXml(parkpos("A", 50.0, 8.5), ""));
  EXPECT_EQ(readError("airports/my_thirdparty/EDDF.xml"), "gf_readAirportFile: 65: Parameter altitude not found");
  write("airports/my_thirdparty/EDDF.xml", "<root><parameters/></root>");
  EXPECT_EQ(readError("airports/my_thirdparty/EDDF.xml"), "airports/my_thirdparty/EDDF.xml: refused to load");
  write("airports/my_thirdparty/EDDF.xml", apfXml(""));
  EXPECT_TRUE(readOk("airports/my_thirdparty/EDDF.xml").stands.empty());
  EXPECT_TRUE(contains(newLog(), "no stands found in the airport file"));
}

}  // namespace
}  // namespace parking_test
