// The destination's stand names and the closest stand of an airport, read from its stand file.
#include "parking/destination_readers.h"
#include "refdata/downloader.h"
#include "standin/webserver/web_server.h"
#include "tests/parking/parking_fixture.h"

namespace parking_test {
namespace {

class DestinationReadersTest : public ParkingTest {
 protected:
  void SetUp() override {
    ParkingTest::SetUp();
    gf_setMakerBaseUrl(server.baseUrl());
  }
  void TearDown() override {
    gf_resetDownloaderState();
    ParkingTest::TearDown();
  }
  void userFile(const char* icao, const std::string& parkpositions) {
    write(fs::path("airports/my_simaddon") / fmt::format("{}.xml", icao), apfXml(parkpositions));
  }
  static std::string closest(const char* icao, Lalo reference) {
    auto read = gf_readDestApfForClosestStand(IcaoCode(icao), reference);
    if (const auto* error = std::get_if<std::string>(&read)) return *error;
    const ClosestStand& stand = std::get<ClosestStand>(read);
    return fmt::format("{} {:.3f}", stand.name, stand.distanceNm);
  }
  static std::string names(const char* icao) {
    auto read = gf_readApfForStands(IcaoCode(icao));
    if (const auto* error = std::get_if<std::string>(&read)) return *error;
    std::string joined;
    for (const std::string& name : std::get<std::vector<std::string>>(read)) joined += name + ";";
    return joined;
  }
  standin::WebServer server{testing_support::sourceDataFolder() / "webserver"};
};

TEST_F(DestinationReadersTest, StandNamesAndTheClosestStand) {
  userFile("EDDF", parkpos(" a1 ", 50.0, 8.0) + parkpos("A1", 50.0, 8.0) + parkpos("b2", 50.0, 8.001) +
                       R"(<parkpos latitude="50" longitude="8"/>)");
  EXPECT_EQ(names("EDDF"), "A1;B2;");
  // The first of two equally near stands wins; distances are flat, in NM.
  EXPECT_EQ(closest("EDDF", {50.0, 8.0}), " a1  0.000");

  // Next to 0/0 is no position; 0/10 is one.
  userFile("EGLL", parkpos("ZERO", 0.00005, -0.00002) + parkpos("FAR", 0.0, 10.0));
  EXPECT_EQ(closest("EGLL", {0.001, 0.001}), "FAR 599.940");

  userFile("LOWW", "");
  EXPECT_EQ(names("LOWW"), "");
  EXPECT_EQ(closest("LOWW", {48.0, 16.0}), "airport file has no valid stands");
  EXPECT_EQ(closest("LOWW", {0.0, 0.0}), "invalid reference position");
}

TEST_F(DestinationReadersTest, AnArchivedFileIsFetchedAndRemovedAnUnknownAirportAsksNobody) {
  const std::string lszh = names("LSZH");
  EXPECT_EQ(std::count(lszh.begin(), lszh.end(), ';'), 42) << lszh;
  EXPECT_TRUE(fs::is_empty(dir_ / "airports")) << "the fetched copy is gone, and no cache was made";

  const std::size_t requests = server.requestedPaths().size();
  EXPECT_EQ(names("KJFK"), "airport source path not found");
  EXPECT_EQ(closest("KJFK", {40.6, -73.8}), "airport source path not found");
  EXPECT_EQ(server.requestedPaths().size(), requests);

  // The closest-airport tie-break on the worker asks no server: the archived file counts as absent.
  auto local = gf_readDestApfForClosestStand(IcaoCode("LSZH"), {47.46, 8.55}, true);
  ASSERT_TRUE(std::holds_alternative<std::string>(local));
  EXPECT_EQ(std::get<std::string>(local), "airport file not on this computer");
  EXPECT_EQ(server.requestedPaths().size(), requests);
  userFile("LSZH", parkpos("E1", 47.46, 8.55));
  auto own = gf_readDestApfForClosestStand(IcaoCode("LSZH"), {47.46, 8.55}, true);
  ASSERT_TRUE(std::holds_alternative<ClosestStand>(own));
  EXPECT_EQ(std::get<ClosestStand>(own).name, "E1");
}

}  // namespace
}  // namespace parking_test
