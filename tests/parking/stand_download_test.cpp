// Archived stand files fetched from the maker's web server stand-in.
#include <algorithm>
#include <chrono>
#include <thread>

#include "config/sim_choice.h"
#include "parking/park_setup.h"
#include "parking/stand_download.h"
#include "refdata/downloader.h"
#include "refdata/enc_file.h"
#include "refdata/update_check.h"
#include "simlink/stand_slots.h"
#include "standin/webserver/web_server.h"
#include "tests/parking/parking_fixture.h"

namespace parking_test {
namespace {

const fs::path kServerRoot = testing_support::sourceDataFolder() / "webserver";

class StandDownloadTest : public ParkingTest {
 protected:
  void SetUp() override {
    ParkingTest::SetUp();
    gf_setMakerBaseUrl(server.baseUrl());
  }
  void TearDown() override {
    gf_resetDownloaderState();
    g_serverMaintenance = false;
    gf_publishSimChoice({});
    ParkingTest::TearDown();
  }
  standin::WebServer server{kServerRoot};
};

TEST_F(StandDownloadTest, NothingIsAskedInMaintenanceOrForAFileOutsideTheArchiveAndAFailureLeavesNoFile) {
  g_serverMaintenance = true;
  EXPECT_EQ(gf_downloadAirportFile("archive/stock/LSZH.enc", true).error,
            "Web server temporarily unavailable due to maintenance.");
  g_serverMaintenance = false;
  const DownloadedAirportFile own = gf_downloadAirportFile("airports/my_thirdparty/LSZH.xml", true);
  EXPECT_TRUE(own.error.empty() && !own.fetched && own.localPath.empty());
  EXPECT_TRUE(server.requestedPaths().empty());

  const std::string failed = fmt::format("failed to download: '{}MSFS2024/archive/stock/EGLL.enc'", server.baseUrl());
  EXPECT_EQ(gf_downloadAirportFile("archive/stock/EGLL.enc", true).error, failed);
  EXPECT_EQ(shown(), std::vector<std::string>{failed});
  EXPECT_TRUE(fs::is_empty(dir_ / "airports"));
}

TEST_F(StandDownloadTest, EachSimulatorHasItsFolderAndEachFetchAFileOfItsOwn) {
  server.putFile("MSFS2024/archive/stock/LSZH.ENC", testing_support::readFile(kServerRoot / "MSFS/archive/stock/LSZH.enc"));
  const DownloadedAirportFile park = gf_downloadAirportFile("archive/stock/LSZH.ENC", true);
  gf_publishSimChoice(SimChoice{1, 0});
  const DownloadedAirportFile other = gf_downloadAirportFile("archive\\stock\\LSZH.enc", false);
  EXPECT_EQ(server.requestedPaths(),
            (std::vector<std::string>{"MSFS2024/archive/stock/LSZH.ENC", "MSFS/archive/stock/LSZH.enc"}));
  for (const DownloadedAirportFile& fetched : {park, other}) {
    ASSERT_TRUE(fetched.error.empty() && fetched.fetched && fetched.encrypted) << fetched.error;
    EXPECT_EQ(fetched.localPath.extension(), ".enc");
    // The archive's copy is the sample stand file beside it, enciphered.
    EncReadResult plain = gf_readEncFile(fetched.localPath, 1 << 20);
    ASSERT_TRUE(plain.ok()) << plain.message();
    EXPECT_EQ(plain.buffer().text(), testing_support::readFile(kServerRoot / "MSFS2024/archive/stock/LSZH.xml"));
  }
  EXPECT_TRUE(park.localPath.generic_string().starts_with("airports/park_airport."));
  EXPECT_TRUE(other.localPath.generic_string().starts_with("airports/airport."));
}

}  // namespace
}  // namespace parking_test

namespace parking_test {
namespace {

// The park airport's archived file is fetched on a thread of its own: while the maker's server is
// silent every read of the set-up returns at once, saying the file is on its way, and asks the
// server nothing more; once the transfer ends, the next read goes on with what came of it.
class ParkFileFetchTest : public StandDownloadTest {
 protected:
  void SetUp() override {
    StandDownloadTest::SetUp();
    server.putFile(kPath, testing_support::readFile(kServerRoot / "MSFS/archive/stock/LSZH.enc"));
    std::unique_lock lock(g_parkAirportLock);
    g_parkAirport = Airport{IcaoCode("LSZH"), g_defaultIataCode, {47.4647, 8.5492}, 1400};
  }
  void TearDown() override {
    server.releaseHangs();
    gf_resetParkSetup();
    gf_resetStandTables();
    {
      std::unique_lock lock(g_parkAirportLock);
      g_parkAirport = Airport{};
    }
    StandDownloadTest::TearDown();
  }
  // The set-up's reads, one per parking step, until the file is no longer on its way.
  static ParkedFileResult readUntilIn() {
    ParkedFileResult result;
    for (int step = 0; step < 2000 && (result = lf_readParkedFile()).fetching; ++step)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return result;
  }
  std::size_t asked() const {
    const auto paths = server.requestedPaths();
    return static_cast<std::size_t>(std::count(paths.begin(), paths.end(), kPath));
  }
  static constexpr const char* kPath = "MSFS2024/archive/stock/LSZH.enc";
};

TEST_F(ParkFileFetchTest, ASilentServerHoldsNoReadAndTheFileIsTakenOnceIn) {
  standin::WebFileBehaviour hang;
  hang.hang = true;
  server.setBehaviour(kPath, hang);
  for (int step = 0; step < 3; ++step) {
    const ParkedFileResult result = lf_readParkedFile();
    EXPECT_TRUE(result.fetching && !result.ok) << step;
  }
  for (int wait = 0; wait < 500 && asked() == 0; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(lf_readParkedFile().fetching) << "the server still holds the answer";
  EXPECT_EQ(asked(), 1u);
  EXPECT_TRUE(g_stands.empty());

  server.releaseHangs();  // the answer breaks off
  ParkedFileResult result = readUntilIn();
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(contains(result.text, "failed to download")) << result.text;

  server.clearBehaviours();
  EXPECT_TRUE(lf_readParkedFile().fetching) << "asked afresh";
  result = readUntilIn();
  EXPECT_TRUE(result.ok) << result.text;
  EXPECT_FALSE(g_stands.empty());
  EXPECT_EQ(asked(), 2u);
  // The cache stays (once the saver has written it); no fetched copy does.
  gf_drainSaves();
  for (const auto& entry : fs::directory_iterator(dir_ / "airports"))
    EXPECT_TRUE(entry.path().filename() == "park_airport.xml" ||
                !contains(entry.path().filename().string(), "park_airport."))
        << entry.path();
}

// A fetch nobody waits for any more breaks off at once, not after the download's time-outs
// (switched off here): a dropped one ends on its own, the run's end joins every one.
TEST_F(ParkFileFetchTest, AFetchNobodyWaitsForEndsWithoutItsTimeOuts) {
  gf_setDownloadLimits(DownloadLimits{10, 0, 0});
  standin::WebFileBehaviour hang;
  hang.hang = true;
  server.setBehaviour(kPath, hang);
  for (const bool end : {false, true}) {
    SCOPED_TRACE(end ? "the run's end" : "dropped");
    const std::size_t before = asked();
    EXPECT_TRUE(lf_readParkedFile().fetching);
    for (int wait = 0; wait < 500 && asked() == before; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(asked(), before + 1);
    EXPECT_EQ(gf_parkAirportFetchThreads(), 1u);
    if (end) {
      gf_joinParkAirportFetches();
    } else {
      gf_dropParkAirportFetch();
      for (int wait = 0; wait < 1000 && gf_parkAirportFetchThreads() > 0; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        gf_dropParkAirportFetch();  // joins the threads that are done
      }
    }
    EXPECT_EQ(gf_parkAirportFetchThreads(), 0u);
  }
  // Nothing of a broken-off fetch stays behind.
  for (const auto& entry : fs::directory_iterator(dir_ / "airports"))
    EXPECT_FALSE(contains(entry.path().filename().string(), "park_airport.")) << entry.path();
}

}  // namespace
}  // namespace parking_test
