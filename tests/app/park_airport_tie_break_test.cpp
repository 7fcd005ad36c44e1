// The airport the user stands at, among stock airports whose stand files lie only on the maker's
// server, through the hooks as the program installs them: the files are fetched off the worker,
// the choice waits for them, and the one with the stand nearest to the user wins over the one
// with the nearest centre; without the files the centres decide.
#include <array>
#include <chrono>
#include <thread>

#include "parking/stand_download.h"
#include "refdata/downloader.h"
#include "refdata/enc_file.h"
#include "refdata/library_init.h"
#include "standin/webserver/web_server.h"
#include "tests/app/wiring_fixture.h"
#include "tools/enc_writer.h"

namespace wiring_test {
namespace {

using namespace std::chrono_literals;

// The user stands 0.05 NM from a stand of the large airport, whose centre is 2.5 NM away; the
// small airport's centre is 1 NM away, its stands 0.8 NM and more.
const Lalo kUser{51.5, 0.0};
const Airport kLarge{IcaoCode("EGLL"), g_defaultIataCode, {51.5 + 2.5 / 60.0, 0.0}, 80};
const Airport kSmall{IcaoCode("EGLC"), g_defaultIataCode, {51.5 - 1.0 / 60.0, 0.0}, 20};
constexpr const char* kLargePath = "MSFS2024/archive/stock/EGLL.enc";
constexpr const char* kSmallPath = "MSFS2024/archive/stock/EGLC.enc";

std::string standFile(std::initializer_list<std::pair<const char*, double>> standsNorthNm) {
  std::string stands;
  for (const auto& [id, north] : standsNorthNm)
    stands += fmt::format(R"(<parkpos id="{}" typestr="GATE_MEDIUM" latitude="{:.6f}" longitude="0.0" radius="20"/>)",
                          id, kUser.lat + north / 60.0);
  const std::string xml = fmt::format(
      R"(<root><meta><info name="copyright" value="c"/><info name="sim" value="2"/></meta>)"
      R"(<parameters><parameter name="altitude" value="50"/></parameters><parkpositions>{}</parkpositions></root>)",
      stands);
  std::array<unsigned char, kEncKeyBytes> key{};
  gf_encKeyPartA(key);
  gf_encKeyPartB(key);
  std::string enciphered = gf_encryptEncData(key, xml);
  gf_wipeEncKey(key);
  return enciphered;
}

class ParkAirportTieBreakTest : public WiringTest {
 protected:
  void SetUp() override {
    WiringTest::SetUp();
    gf_initDataLibraries();
    gf_setMakerBaseUrl(server.baseUrl());
    std::unique_lock lock(g_airportsLock);
    g_airports = {kSmall, kLarge};  // sorted by code
  }
  void TearDown() override {
    server.releaseHangs();
    gf_joinParkAirportFetches();
    gf_resetDownloaderState();
    g_userOnGround = false;
    WiringTest::TearDown();
  }
  standin::WebServer server;
};

TEST_F(ParkAirportTieBreakTest, TheNearerStandWinsOnceTheFilesAreInAndTheCentresWithoutThem) {
  struct Case {
    const char* what;
    bool served;
    bool largeSilentFirst;  // its server holds the answer a while, then breaks the connection
    IcaoCode chosen;
  };
  const Case cases[] = {
      {"both files served", true, false, kLarge.code},
      {"no file on the server", false, false, kSmall.code},
      {"the large one's server silent, then gone", true, true, kSmall.code},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_joinParkAirportFetches();  // nothing read in an earlier case is kept
    gf_setParkAirport(AirportRef{});
    server.clearBehaviours();
    server.putFile(kLargePath, c.served ? standFile({{"T5 501", 0.05}, {"T5 502", 0.2}}) : "");
    server.putFile(kSmallPath, c.served ? standFile({{"1", -0.8}, {"2", -1.2}}) : "");
    if (!c.served) {
      standin::WebFileBehaviour missing;
      missing.status = 404;
      server.setBehaviour(kLargePath, missing);
      server.setBehaviour(kSmallPath, missing);
    }
    if (c.largeSilentFirst) {
      standin::WebFileBehaviour hang;
      hang.hang = true;
      server.setBehaviour(kLargePath, hang);
    }
    g_userOnGround = true;
    g_workerUserAcPosition.latitude = kUser.lat;
    g_workerUserAcPosition.longitude = kUser.lon;

    // The parking passes come round while the files are on their way; none holds the worker.
    std::chrono::steady_clock::duration longest{};
    const auto pass = [&longest] {
      const auto start = std::chrono::steady_clock::now();
      gf_engineHooks().chooseParkAirport();
      longest = std::max(longest, std::chrono::steady_clock::now() - start);
    };
    if (c.largeSilentFirst) {
      for (int step = 0; step < 30; ++step, std::this_thread::sleep_for(10ms)) pass();
      EXPECT_TRUE(gf_parkAirport().code.empty()) << "chosen before the large airport's file was in";
      server.releaseHangs();
    }
    for (int step = 0; step < 1000 && gf_parkAirport().code.empty(); ++step, std::this_thread::sleep_for(10ms)) pass();
    EXPECT_EQ(gf_parkAirport().code, c.chosen) << log();
    // A pass that waited on a fetch would last as long as the silent server holds it (300 ms and
    // more); a loaded machine under the sanitizers takes some tens of ms for a pass that does not.
    EXPECT_LT(longest, 200ms);
  }
  EXPECT_TRUE(contains(log(), "Airport EGLC has the closest center, but stand T5 501 at EGLL is closer (93 meters)"));
}

}  // namespace
}  // namespace wiring_test
