#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/text.h"
#include "liveries/livery.h"
#include "liveries/scan_result_file.h"
#include "tests/liveries/livery_fixture.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;

using ScanFileTest = livery_testing::LiveryTest;

Livery lf_livery(const char* airline, const char* operatorName, const char* model, bool cargo, const char* title,
                 const char* registration) {
  return Livery{title, registration, gf_internAirlineName(airline), gf_internAirlineName(operatorName),
                gf_internModelName(model), static_cast<std::uint8_t>(cargo), 1, 3};
}

TEST_F(ScanFileTest, RoundTripKeepsEveryFieldAndWritesOnlyWhatIsSet) {
  EXPECT_FALSE(lf_writeScannedLiveries()) << "nothing to write";
  g_liveries = {lf_livery("BAW", "", "A388", false, "AIG Airbus A380-800 British Airways", "G-XLEA"),
                lf_livery("DLH", "", "A388", false, "AIG Airbus A380-800 Lufthansa", ""),
                lf_livery("DLH", "GEC", "MD11", true, "AIG McDonnell Douglas MD-11F Lufthansa Cargo", "D-ALCA")};
  ASSERT_TRUE(lf_writeScannedLiveries()) << log();
  EXPECT_FALSE(fs::exists(fs::path(gf_liveriesScannedFile()) += ".scan_tmp"));
  const std::string text = readFile(gf_liveriesScannedFile());
  for (const char* element : {R"(<l a="DLH" m="A388" t="AIG Airbus A380-800 Lufthansa" />)",
                              R"(<l a="DLH" o="GEC" m="MD11" c="true" t="AIG McDonnell Douglas MD-11F Lufthansa Cargo" r="D-ALCA" />)"})
    EXPECT_NE(text.find(element), std::string::npos) << text;

  ASSERT_TRUE(lf_readScannedLiveries()) << log();
  ASSERT_EQ(g_scannedLiveries.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(g_scannedLiveries[i] == g_liveries[i]) << g_liveries[i].title;
    EXPECT_EQ(g_scannedLiveries[i].marker + g_scannedLiveries[i].sourceIndex, 0);
  }
}

TEST_F(ScanFileTest, AHandEditedFileReadsBackInRecordOrder) {
  gf_publishSimChoice(SimChoice{1, 0});  // the MSFS 2020 file
  writeScanFile(R"(<l a="KLM" m="B789" t="AIG Boeing 787-9 KLM"/><l a="DLH" m="A388" t="Z"/>
                   <l a="DLH" m="A388" t="A"/><l a="DLH" m="A359" t="AIG Airbus A350-900 Lufthansa"/>
                   <l a="AFR" m="A388" t="AIG Airbus A380-800 Air France"/>)");
  ASSERT_TRUE(lf_readScannedLiveries()) << log();
  std::vector<std::string> titles;
  for (const Livery& l : g_scannedLiveries) titles.push_back(l.title);
  // The dbase interned its codes in ascending order, so id order is name order here.
  EXPECT_EQ(titles, (std::vector<std::string>{"AIG Airbus A380-800 Air France", "AIG Airbus A350-900 Lufthansa", "A",
                                              "Z", "AIG Boeing 787-9 KLM"}));
  EXPECT_EQ(g_scannedLiveries[0].operatorId, 0);
  EXPECT_NE(log().find("    5 liveries read from output/LiveriesScanned_MSFS2020.xml"), std::string::npos);
}

TEST_F(ScanFileTest, AFileThatCannotBeUsedKeepsWhatWasRead) {
  writeScanFile(R"(<l a="KLM" m="B789" t="AIG Boeing 787-9 KLM"/>)");
  ASSERT_TRUE(lf_readScannedLiveries());
  const std::string path = gf_pathToUtf8(gf_liveriesScannedFile());
  struct Case {
    const char* content;  // null: no file
    std::string logLine;
  } cases[] = {
      {nullptr, "51: Could not open " + path},
      {"<root><liveries>", "51: Error reading " + path + ": "},
      {"<other/>", "52: " + path + " does not contain <root>"},
      {"<root/>", "52: " + path + " does not contain a <liveries> section"},
      {"<root><liveries/></root>", "533: " + path + " does not contain liveries"},
      {R"(<root><liveries><l a="KLM" m="B789"/></liveries></root>)", "999: Missing required attribute 't' in <l>"},
  };
  for (const Case& c : cases) {
    fs::remove(gf_liveriesScannedFile());
    if (c.content) writeFile(gf_liveriesScannedFile(), c.content);
    EXPECT_FALSE(lf_readScannedLiveries()) << c.logLine;
    EXPECT_NE(log().find(c.logLine), std::string::npos) << c.logLine;
    EXPECT_EQ(g_scannedLiveries.size(), 1u) << c.logLine;
  }
}

TEST_F(ScanFileTest, AWriteThatFailsItsCheckReplacesNothing) {
  const fs::path target = dir_ / "scan.xml";
  const fs::path temporary = dir_ / "scan.xml.scan_tmp";
  struct Case {
    const char* elements;
    std::size_t count;
  } cases[] = {
      {R"(<l a="KLM" m="B789" t="x"/><l a="KLM" m="B789" t="y"/>)", 3},  // one "l" too few
      {R"(<l a="KLM" m="B789" t="x"/><l a="KLM" t="y"/>)", 2},           // an "l" without "m"
  };
  for (const Case& c : cases) {
    writeFile(target, "old");
    writeFile(temporary, "stale");
    pugi::xml_document document;
    document.load_string((std::string("<root><liveries>") + c.elements + "</liveries></root>").c_str());
    EXPECT_FALSE(lf_saveScanDocument(document, c.count, target)) << c.elements;
    EXPECT_EQ(readFile(target), "old") << c.elements;
    EXPECT_FALSE(fs::exists(temporary)) << c.elements;
  }
  EXPECT_NE(log().find("Temporary livery scan file " + temporary.string() + " failed validation"), std::string::npos);

  // The stale temporary goes first: when it cannot, nothing is written.
  fs::create_directories(temporary / "inside");
  pugi::xml_document document;
  document.load_string(R"(<root><liveries><l a="KLM" m="B789" t="x"/></liveries></root>)");
  EXPECT_FALSE(lf_saveScanDocument(document, 1, target));
  EXPECT_NE(log().find("Cannot remove stale temporary livery scan file " + temporary.string()), std::string::npos);
  EXPECT_EQ(readFile(target), "old");
}

}  // namespace
