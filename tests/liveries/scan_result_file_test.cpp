#include <gtest/gtest.h>

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
using livery_testing::ScanLine;
using testing_support::readFile;
using testing_support::writeFile;

using ScanFileTest = livery_testing::LiveryTest;

Livery livery(const char* airline, const char* operatorName, const char* model, bool cargo, const char* title,
              const char* registration) {
  Livery l;
  l.airline = gf_internAirlineName(airline);
  l.operatorId = gf_internAirlineName(operatorName);
  l.model = gf_internModelName(model);
  l.cargo = cargo ? 1 : 0;
  l.title = title;
  l.registration = registration;
  l.marker = 1;
  l.sourceIndex = 3;
  return l;
}

TEST_F(ScanFileTest, RoundTripKeepsEveryFieldAndWritesOnlyWhatIsSet) {
  EXPECT_FALSE(lf_writeScannedLiveries()) << "nothing to write";
  EXPECT_FALSE(fs::exists(gf_liveriesScannedFile()));

  g_liveries = {livery("DLH", "GEC", "MD11", true, "AIG McDonnell Douglas MD-11F Lufthansa Cargo", "D-ALCA"),
                livery("DLH", "", "A388", false, "AIG Airbus A380-800 Lufthansa", ""),
                livery("BAW", "", "A388", false, "AIG Airbus A380-800 British Airways", "G-XLEA")};
  std::sort(g_liveries.begin(), g_liveries.end(), lf_liveryBefore);
  ASSERT_TRUE(lf_writeScannedLiveries()) << log();
  EXPECT_FALSE(fs::exists(fs::path(gf_liveriesScannedFile()) += ".scan_tmp"));

  const std::string text = readFile(gf_liveriesScannedFile());
  EXPECT_NE(text.find(R"(<l a="DLH" m="A388" t="AIG Airbus A380-800 Lufthansa" />)"), std::string::npos) << text;
  EXPECT_NE(text.find(R"(<l a="DLH" o="GEC" m="MD11" c="true" t="AIG McDonnell Douglas MD-11F Lufthansa Cargo" r="D-ALCA" />)"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(R"(<info name="sim" value="2" />)"), std::string::npos) << text;

  ASSERT_TRUE(lf_readScannedLiveries()) << log();
  ASSERT_EQ(g_scannedLiveries.size(), g_liveries.size());
  for (std::size_t i = 0; i < g_liveries.size(); ++i) {
    EXPECT_TRUE(g_scannedLiveries[i] == g_liveries[i]) << g_liveries[i].title;
    EXPECT_EQ(g_scannedLiveries[i].marker, 0);
    EXPECT_EQ(g_scannedLiveries[i].sourceIndex, 0);
  }
  EXPECT_NE(log().find("    3 liveries read from output/LiveriesScanned_MSFS2024.xml"), std::string::npos);
}

TEST_F(ScanFileTest, AHandEditedFileReadsBackSortedAndTheSimulatorChoosesTheFile) {
  gf_publishSimChoice(SimChoice{1, 0});
  writeScanFile({{"KLM", "", "B789", false, "AIG Boeing 787-9 KLM", ""},
                 {"DLH", "", "A388", false, "Z title", ""},
                 {"DLH", "", "A388", false, "A title", ""},
                 {"DLH", "", "A359", false, "AIG Airbus A350-900 Lufthansa", ""},
                 {"AFR", "", "A388", false, "AIG Airbus A380-800 Air France", ""}});
  ASSERT_TRUE(lf_readScannedLiveries()) << log();
  EXPECT_TRUE(std::is_sorted(g_scannedLiveries.begin(), g_scannedLiveries.end(), lf_liveryBefore));
  // By interned ids, not names: the dbase interned its codes in ascending order.
  std::vector<std::string> titles;
  for (const Livery& l : g_scannedLiveries) titles.push_back(l.title);
  EXPECT_EQ(titles, (std::vector<std::string>{"AIG Airbus A380-800 Air France", "AIG Airbus A350-900 Lufthansa",
                                              "A title", "Z title", "AIG Boeing 787-9 KLM"}));
  EXPECT_EQ(g_scannedLiveries[0].operatorId, 0);
  EXPECT_EQ(gf_airlineName(0), "");
}

TEST_F(ScanFileTest, AFileThatCannotBeUsedKeepsWhatWasRead) {
  writeScanFile({{"KLM", "", "B789", false, "AIG Boeing 787-9 KLM", ""}});
  ASSERT_TRUE(lf_readScannedLiveries());
  const std::string path = gf_pathToUtf8(gf_liveriesScannedFile());
  struct Case {
    const char* name;
    std::string content;  // none: no file
    std::string logLine;
  } cases[] = {
      {"no file", "", "51: Could not open " + path},
      {"not XML", "<root><liveries>", "51: Error reading " + path + ": "},
      {"no root", "<other/>", "52: " + path + " does not contain <root>"},
      {"no liveries", "<root/>", "52: " + path + " does not contain a <liveries> section"},
      {"empty liveries", "<root><liveries/></root>", "533: " + path + " does not contain liveries"},
      {"l without t", R"(<root><liveries><l a="KLM" m="B789"/></liveries></root>)",
       "999: Missing required attribute 't' in <l>"},
  };
  for (const Case& c : cases) {
    fs::remove(gf_liveriesScannedFile());
    if (!c.content.empty()) writeScanFile(c.content);
    EXPECT_FALSE(lf_readScannedLiveries()) << c.name;
    EXPECT_NE(log().find(c.logLine), std::string::npos) << c.name << "\n" << log();
    ASSERT_EQ(g_scannedLiveries.size(), 1u) << c.name;
  }
}

TEST_F(ScanFileTest, AWriteThatFailsItsCheckReplacesNothing) {
  const fs::path target = dir_ / "scan.xml";
  const fs::path temporary = dir_ / "scan.xml.scan_tmp";
  auto document = [](const char* body) {
    auto d = std::make_unique<pugi::xml_document>();
    d->load_string((std::string("<root><liveries>") + body + "</liveries></root>").c_str());
    return d;
  };
  const char* two = R"(<l a="KLM" m="B789" t="x"/><l a="KLM" m="B789" t="y"/>)";
  struct Case {
    const char* name;
    const char* body;
    std::size_t count;
  } cases[] = {
      {"one l too few", two, 3},
      {"an l without m", R"(<l a="KLM" m="B789" t="x"/><l a="KLM" t="y"/>)", 2},
  };
  for (const Case& c : cases) {
    writeFile(target, "old");
    writeFile(temporary, "stale");
    EXPECT_FALSE(lf_saveScanDocument(*document(c.body), c.count, target)) << c.name;
    EXPECT_EQ(readFile(target), "old") << c.name;
    EXPECT_FALSE(fs::exists(temporary)) << c.name;
    EXPECT_NE(log().find("Temporary livery scan file " + temporary.string() + " failed validation"), std::string::npos);
  }

  // A stale temporary that cannot be removed stops the write before anything is saved.
  fs::create_directories(temporary / "inside");
  EXPECT_FALSE(lf_saveScanDocument(*document(two), 2, target));
  EXPECT_NE(log().find("Cannot remove stale temporary livery scan file " + temporary.string()), std::string::npos);
  EXPECT_EQ(readFile(target), "old");
  fs::remove_all(temporary);

  writeFile(temporary, "stale");
  EXPECT_TRUE(lf_saveScanDocument(*document(two), 2, target));
  EXPECT_NE(readFile(target).find(R"(t="y")"), std::string::npos);
  EXPECT_FALSE(fs::exists(temporary));
}

}  // namespace
