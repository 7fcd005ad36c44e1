// One airport at a time: archive links, the facility route, the BGL reader after it, and the
// generated stand file, against the stand-in simulator.
#include "airportscan/airport_processing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "airportscan/airport_scan.h"
#include "airportscan/scan_state.h"
#include "airportscan/scan_transaction.h"
#include "config/program_folders.h"
#include "tests/airportscan/scan_run_fixture.h"
#include "tools/bgl_generator.h"
#include "tools/scenery_tree.h"

namespace {
namespace fs = std::filesystem;
namespace sim = standin::sim;
using testing_support::readFile;
using testing_support::writeFile;

class AirportProcessingTest : public airportscan_testing::SimScanTest {
 protected:
  void SetUp() override {
    SimScanTest::SetUp();
    knownAirports({"LSZH", "LSGG", "EDDF", "EDDM"});
    weeklyAirports({"LSZH", "LSGG", "EDDF"});
    fs::create_directories(g_mySimaddonFolder);
    fs::create_directories(g_myThirdpartyFolder);
  }
  static ScenerySource streamed(const char* code, const char* publisher) {
    ScenerySource source(fs::path("StreamedPackages") / "asobo-airport-x");
    source.code = IcaoCode(code);
    source.publisher = publisher;
    return source;
  }
  // id -> heading text of a stand file.
  static std::map<std::string, std::string> headings(const fs::path& file) {
    std::map<std::string, std::string> result;
    pugi::xml_document document;
    document.load_file(file.c_str());
    for (const pugi::xml_node parkpos : document.child("root").child("parkpositions").children("parkpos"))
      result[parkpos.attribute("id").value()] = parkpos.attribute("heading").value();
    return result;
  }
  static fs::path addon(const char* code) {
    gf_writeAddonAirportPackage("Community", code, 7);
    std::string folder = "genworks-airport-" + std::string(code);
    for (char& c : folder) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return fs::path("Community") / folder;
  }
};

TEST_F(AirportProcessingTest, AnArchiveHitWritesOnlyALink) {
  g_simaddonAirports = {"LSZH"};
  ScenerySource source = streamed("LSZH", "simaddon");
  lf_processStreamedAirport(source);
  EXPECT_EQ(readFile(g_mySimaddonFolder / "LSZH.txt"), "archive/simaddon/LSZH.enc\n");
  EXPECT_FALSE(fs::exists(g_mySimaddonFolder / "LSZH.xml"));
  EXPECT_EQ(sim::facilityRequestCount(), 0u);
  EXPECT_TRUE(messaged("simaddon airport LSZH linked to archive/simaddon/LSZH.enc\n"));
}

TEST_F(AirportProcessingTest, ALinkThatCannotBeWrittenIsGeneratedInstead) {
  g_simaddonAirports = {"LSZH"};
  fs::create_directories(g_mySimaddonFolder / "LSZH.txt");  // a folder in the way
  ScenerySource source = streamed("LSZH", "simaddon");
  lf_processStreamedAirport(source);
  EXPECT_TRUE(messaged("===> Writing airports/my_simaddon/LSZH.txt did not succeed"));
  EXPECT_TRUE(messaged("Generated LSZH.xml: 42 positions of which 2 helipads"));
  EXPECT_EQ(standIds(g_mySimaddonFolder / "LSZH.xml").size(), 42u);
}

TEST_F(AirportProcessingTest, WhatTheFacilityRouteCannotReadTheBglFileGives) {
  sim::FacilityFaults noEnd;
  noEnd.noEnd = true;
  sim::setFacilityFaults("LSZH", noEnd);
  const struct { const char* code; const char* why; } cases[] = {{"EDDF", "unknown to the simulator"},
                                                                 {"LSZH", "no end to the answer"}};
  for (const auto& c : cases) {
    g_airportScanMessages.clear();
    lf_scanFolderTree(addon(c.code));
    EXPECT_TRUE(messaged("Facilities reader did not succeed, trying the BGL file reader ...")) << c.why;
    const std::vector<std::string> ids = standIds(g_myThirdpartyFolder / gf_pathToUtf8(fs::path(c.code) += ".xml"));
    ASSERT_FALSE(ids.empty()) << c.why;
    EXPECT_EQ(ids.front().rfind("GATE A", 0), 0u) << c.why;  // the generated file's names
  }
}

TEST_F(AirportProcessingTest, AnAirportRealTrafficDoesNotCoverGetsNothing) {
  lf_scanFolderTree(addon("EDDM"));
  EXPECT_EQ(sim::facilityRequestCount(), 0u);
  EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "EDDM.xml"));
  for (const std::string& line : g_airportScanMessages) EXPECT_EQ(line.find("Generated"), std::string::npos) << line;
}

TEST_F(AirportProcessingTest, StandsAreSortedRenamedAndOnlyWritableOnesWritten) {
  const Lalo at{47.45, 8.56};
  BglAirport airport;
  airport.stands = {Stand("A2", {}, at, 1.0, 20.0, 8, false, false, false),
                    Stand("A10", {}, at, 1.0, 20.0, 8, false, false, false),
                    Stand("A2", {}, at, 1.0, 20.0, 8, false, false, false),
                    Stand("B1", {}, at, 1.0, 0.0, 8, false, false, false),
                    Stand("H1", {}, at, 0.0, NAN, 0, false, false, true),
                    Stand("", {}, at, 1.0, 20.0, 8, false, false, false)};
  ScenerySource source("Community/x/LSZH.bgl");
  source.code = IcaoCode("LSZH");
  lf_writeGeneratedStandFile(source, airport, 1);
  EXPECT_EQ(standIds(g_myThirdpartyFolder / "LSZH.xml"), (std::vector<std::string>{"A10", "A2", "A2a"}));
  EXPECT_TRUE(messaged("Generated LSZH.xml: 3 positions"));  // the dropped helipad is not counted
  EXPECT_TRUE(messaged("===> stand 'B1' has no usable position, radius or heading (skipped)"));
  EXPECT_NE(readFile(g_myThirdpartyFolder / "LSZH.xml").find(R"(name="num_parkpos" value="3")"), std::string::npos);
}

TEST_F(AirportProcessingTest, AFailedFacilityReadKeepsThePreviousFile) {
  writeFile("airports/my_simaddon/LSGG.xml", "previous LSGG");
  writeFile("airports/.airport_scan_files", "my_simaddon/LSGG.xml\n");
  sim::setRunning(false);
  {
    AirportScanTransaction transaction;
    g_airportScanTransaction = &transaction;
    ScenerySource source = streamed("LSGG", "simaddon");
    lf_processStreamedAirport(source);
    EXPECT_TRUE(messaged("Reading Facilities data for LSGG via SimConnect failed, is MSFS connected?"));
    transaction.commit();
    g_airportScanTransaction = nullptr;
  }
  EXPECT_EQ(readFile("airports/my_simaddon/LSGG.xml"), "previous LSGG");
  EXPECT_EQ(readFile("airports/.airport_scan_files"), "my_simaddon/LSGG.xml\n");
}

TEST_F(AirportProcessingTest, BglParkingSpotsFacingNorthAreWrittenAsAFullTurn) {
  using bglgen::Parking;
  const bglgen::Bytes bytes = bglgen::airportRecordBytes(
      {"LSZH", 0, {bglgen::Helipad{47.45, 8.56, 20.0f},
                   bglgen::ParkingList{{Parking{10, 1, 1, 20.0f, 0.0f, 47.451, 8.561},
                                        Parking{10, 1, 2, 20.0f, 360.0f, 47.452, 8.562},
                                        Parking{10, 1, 3, 20.0f, 90.0f, 47.453, 8.563}}}}});
  lf_processBglAirportRecord(bytes, BglRecordRef{kBglAirportRecordId, 0, bytes.size()}, IcaoCode("LSZH"),
                             "Community/x/LSZH.bgl");
  EXPECT_EQ(headings(g_myThirdpartyFolder / "LSZH.xml"),
            (std::map<std::string, std::string>{
                {"GATE 1", "360.0"}, {"GATE 2", "360.0"}, {"GATE 3", "90.0"}, {"helipad1", "0.0"}}));

  // The facility data's north is written as it comes.
  BglAirport airport;
  airport.stands = {Stand("A1", {}, Lalo{47.45, 8.56}, 0.0, 20.0, 8, false, false, false)};
  ScenerySource source("Community/y/LSGG.bgl");
  source.code = IcaoCode("LSGG");
  lf_writeGeneratedStandFile(source, airport, 0);
  EXPECT_EQ(headings(g_myThirdpartyFolder / "LSGG.xml"), (std::map<std::string, std::string>{{"A1", "0.0"}}));
}

// A known airport outside this week's list is named and passed over: no facility read, no look
// into its .bgl file, no file.
TEST_F(AirportProcessingTest, AnAirportOutsideThisWeeksListIsNeitherReadNorWritten) {
  const struct { const char* route; const char* message; } cases[] = {
      {"bgl", "facilities reader: EDDM has no Real Traffic traffic file (this week)"},
      {"genworks-airport-eddm", "no supported airport 'EDDM' in BGL path"},
      {"asobo-airport-eddm", "no RT traffic file for airport 'EDDM' in BGL path"}};
  for (const auto& c : cases) {
    g_airportScanMessages.clear();
    if (c.route == std::string("bgl")) {
      lf_scanFolderTree(addon("EDDM"));
    } else {
      fs::create_directories(fs::path("streamed") / "StreamedPackages" / c.route);
      lf_scanStreamedPackages(fs::path("streamed") / "StreamedPackages");
      fs::remove_all("streamed");
    }
    EXPECT_TRUE(messaged(c.message)) << c.route;
    EXPECT_FALSE(messaged("Facilities reader did not succeed, trying the BGL file reader ...")) << c.route;
    EXPECT_EQ(sim::facilityRequestCount(), 0u) << c.route;
    EXPECT_TRUE(fs::is_empty(g_mySimaddonFolder) && fs::is_empty(g_myThirdpartyFolder)) << c.route;
  }
}

// The skip texts name what lies below the scan root, not where the simulator was installed.
TEST_F(AirportProcessingTest, SkipTextsCountBelowTheScanRootOnly) {
  const fs::path root = fs::path("D") / "Aircraft" / "statics" / "Community";
  gf_writeAddonAirportPackage(root, "EDDF", 7);
  gf_writeAddonAirportPackage(root / "my-aircraft-pack", "LSGG", 8);
  gf_writeAddonAirportPackage(root / "statics", "LSZH", 9);
  lf_scanFolderTree(root);
  EXPECT_FALSE(standIds(g_myThirdpartyFolder / "EDDF.xml").empty());
  EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "LSGG.xml"));
  EXPECT_FALSE(fs::exists(g_myThirdpartyFolder / "LSZH.xml"));
}

// After a failed read the airport keeps all it had: its stand file, its link, or both.
TEST_F(AirportProcessingTest, AFailedFacilityReadKeepsThePreviousLinkAndFile) {
  sim::setRunning(false);
  for (const std::vector<std::string>& previous :
       {std::vector<std::string>{"LSGG.txt"}, std::vector<std::string>{"LSGG.txt", "LSGG.xml"}}) {
    fs::remove_all(g_airportsFolder);
    std::string list;
    for (const std::string& name : previous) {
      writeFile(g_mySimaddonFolder / name, "previous " + name);
      list += "my_simaddon/" + name + "\n";
    }
    writeFile("airports/.airport_scan_files", list);
    {
      AirportScanTransaction transaction;
      g_airportScanTransaction = &transaction;
      ScenerySource source = streamed("LSGG", "simaddon");
      lf_processStreamedAirport(source);
      transaction.commit();
      g_airportScanTransaction = nullptr;
    }
    for (const std::string& name : previous)
      EXPECT_EQ(readFile(g_mySimaddonFolder / name), "previous " + name) << name;
    EXPECT_EQ(readFile("airports/.airport_scan_files"), list);
  }
}

TEST_F(AirportProcessingTest, TheScanLogFollowsTheMessageList) {
  const struct { std::vector<std::string> messages; bool removeFile; const char* log; } steps[] = {
      {{"a", "b"}, false, "a\nb\n"}, {{"a", "b", "c"}, false, "a\nb\nc\n"}, {{"d"}, false, "d\n"},
      {{"d", "e"}, true, "d\ne\n"}, {{"d", "e", "f"}, false, "d\ne\nf\n"}};
  for (const auto& step : steps) {
    if (step.removeFile) fs::remove(gf_airportsScanLogPath());
    g_airportScanMessages = step.messages;
    ASSERT_TRUE(gf_updateAirportScanLog());
    EXPECT_EQ(readFile(gf_airportsScanLogPath()), step.log);
  }
}

TEST_F(AirportProcessingTest, WholeWordsOnly) {
  for (const auto& [bytes, words] : {std::pair{3, 0}, {4, 4}, {7, 4}, {9, 8}}) {
    std::istringstream in(std::string(static_cast<std::size_t>(bytes), 'x'));
    EXPECT_EQ(lf_readFileWords(in).size(), static_cast<std::size_t>(words)) << bytes;
  }
}

}  // namespace
