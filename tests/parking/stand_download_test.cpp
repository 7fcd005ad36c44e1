// Archived stand files fetched from the maker's web server stand-in.
#include "config/sim_choice.h"
#include "parking/stand_download.h"
#include "refdata/downloader.h"
#include "refdata/enc_file.h"
#include "refdata/update_check.h"
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
