// Saving what was learned at the park airport: into the learned file the next read of the same
// stand file finds, for every kind of stand file; only learned options and hand-made stands, or
// everything for a hand-made file.
#include <future>

#include "config/keys.h"
#include "config/options.h"
#include "config/parameter_snapshot.h"
#include "parking/airport_file_read.h"
#include "parking/airport_settings.h"
#include "parking/learned_file.h"
#include "parking/learned_save.h"
#include "parking/parking_adjust.h"
#include "parking/stand_download.h"
#include "refdata/downloader.h"
#include "simlink/stand_slots.h"
#include "standin/webserver/web_server.h"
#include "tests/parking/parking_fixture.h"
#include "tests/support/held_disk.h"
#include "tests/refdata/enc_fixture.h"

namespace parking_test {
namespace {

StandOption learned(const char* reg, std::uint32_t id, bool setAside = false) {
  return StandOption{.reg = reg, .hours = 1u << 10, .id = id, .day = 3, .real = 1, .setAside = setAside};
}

std::string lf_fileWith(const char* publisher) {
  return apfXml(parkpos("A1", 47.46, 8.55, R"(<opt reg="HB-FILE" day="1" hh="3"/>)") + parkpos("A2", 47.47, 8.56),
                fmt::format(R"(<parameter name="altitude" value="1"/><parameter name="publisher" value="{}"/>)",
                            publisher));
}

// The settings file's writer, recording what it was asked to write and whether on the test's
// own thread.
std::mutex g_parameterMutex;
std::vector<std::string> g_parameterWrites;
std::thread::id g_testThread;
bool g_parameterWriteOnCaller = false;
void lf_recordParameterWrite(std::string_view name, std::string_view value) {
  std::lock_guard lock(g_parameterMutex);
  g_parameterWrites.push_back(fmt::format("{}={}", name, value));
  if (std::this_thread::get_id() == g_testThread) g_parameterWriteOnCaller = true;
}
std::vector<std::string> lf_parameterWrites() {
  std::lock_guard lock(g_parameterMutex);
  return g_parameterWrites;
}

class LearnedSaveTest : public ParkingTest {
 protected:
  void SetUp() override {
    ParkingTest::SetUp();
    g_testThread = std::this_thread::get_id();
    gf_setMakerBaseUrl(server.baseUrl());
  }
  void TearDown() override {
    gf_clearAppliedAirportFile();
    {
      std::unique_lock lock(g_parkAirportLock);
      g_parkAirport = Airport{};
    }
    g_standOptionUpdates = 0;
    gf_resetDownloaderState();
    gf_resetParameterSnapshot();
    ParkingTest::TearDown();
  }
  // The park airport's stand file read and applied, as the set-up does.
  AirportFileData apply(const char* code) {
    {
      std::unique_lock lock(g_parkAirportLock);
      g_parkAirport = Airport{IcaoCode(code), g_defaultIataCode, {47.0, 8.0}, 1};
    }
    const std::optional<fs::path> path = gf_findAirportFile(IcaoCode(code));
    if (!path) ADD_FAILURE() << code << " has no stand file";
    auto read = gf_readAirportFile(path.value_or(""));
    if (auto* error = std::get_if<std::string>(&read)) ADD_FAILURE() << *error;
    if (!std::holds_alternative<AirportFileData>(read)) return {};
    gf_applyAirportFileSettings(std::get<AirportFileData>(read));
    return std::get<AirportFileData>(std::move(read));
  }
  standin::WebServer server{testing_support::sourceDataFolder() / "webserver"};
};

TEST_F(LearnedSaveTest, WhatIsLearnedComesBackFromEveryKindOfStandFile) {
  const auto encrypted = [](const char* publisher) { return refdata_testing::encryptForTest(lf_fileWith(publisher)); };
  server.putFile("MSFS2024/archive/simaddon/EDDF3.enc", encrypted("simaddon"));
  server.putFile("MSFS2024/archive/thirdparty/Big Maker/LOWW2.enc", encrypted("Big Maker"));
  write("airports/my_thirdparty/EDDF.txt", "archive\\simaddon\\EDDF3.enc\n");
  write("airports/my_thirdparty/LOWW.txt", "archive/thirdparty/Big%20Maker/LOWW2.enc\n");
  write("airports/my_thirdparty/KJFK.xml", lf_fileWith("Maker"));
  write("airports/my_simaddon/KLAX.xml", lf_fileWith("simaddon"));
  write("airports/my_thirdparty/EGLL.txt", "elsewhere/EGLL.xml\n");  // out of the stand-file tree
  write("elsewhere/EGLL.xml", lf_fileWith("Stock"));
  const std::pair<const char*, const char*> cases[] = {
      {"LSZH", "airports/learned/stock/LSZH.xml"},
      {"EDDF", "airports/learned/simaddon/EDDF.xml"},
      {"LOWW", "airports/learned/thirdparty/Big Maker/LOWW.xml"},
      {"KJFK", "airports/learned/thirdparty/Maker/KJFK.xml"},
      {"KLAX", "airports/learned/my_simaddon/KLAX.xml"},
      {"EGLL", "airports/learned/thirdparty/Stock/EGLL.xml"},  // "Stock" is not the stock publisher
  };
  for (const auto& [code, learnedPath] : cases) {
    AirportFileData data = apply(code);
    ASSERT_EQ(data.learnedPath, fs::path(learnedPath)) << code;
    std::vector<StandOption>& options = data.stands.at(0).options;
    const std::uint32_t next = options.empty() ? 1 : options.back().id + 1;
    options.push_back(learned("HB-L1", next));
    options.push_back(learned("HB-L2", next + 1, true));  // set aside by the search: learned all the same
    options.push_back(learned("HB-X", 0));                // dead
    gf_saveLearned(data.stands, false);
    const std::string saved = read(learnedPath);
    EXPECT_TRUE(contains(saved, "HB-L1") && contains(saved, "HB-L2")) << code;
    EXPECT_FALSE(contains(saved, "HB-X") || contains(saved, "HB-FILE") || contains(saved, "HB-JNA")) << code;

    const AirportFileData again = apply(code);
    EXPECT_TRUE(again.learnedLoaded) << code;
    std::string regs;
    for (const StandOption& option : again.stands.at(0).options)
      if (!option.fromFile) regs += option.reg + " ";
    EXPECT_EQ(regs, "HB-L1 HB-L2 ") << code;
    fs::remove(dir_ / "airports/park_airport.xml");
  }
}

TEST_F(LearnedSaveTest, StandsWithoutLearningStayOutUnlessMadeByHand) {
  write("airports/my_thirdparty/KJFK.xml", lf_fileWith("Maker"));
  AirportFileData data = apply("KJFK");
  Stand manual("M1", {}, Lalo{47.48, 8.57}, 0.0, 20.0, 14, false, false, false);
  manual.manual = 1;
  data.stands.push_back(manual);
  g_standOptionUpdates = 3;
  gf_saveLearned(data.stands, false);
  const std::string saved = read("airports/learned/thirdparty/Maker/KJFK.xml");
  EXPECT_TRUE(contains(saved, R"(<parkpos id="M1")") && !contains(saved, R"("A1")") && !contains(saved, R"("A2")"));
  EXPECT_TRUE(contains(newLog(), " 'airports/learned/thirdparty/Maker/KJFK.xml' saved with 3 updates\n"));
  EXPECT_EQ(g_standOptionUpdates, 0u);

  g_standOptionUpdates = 1;
  gf_saveLearned(data.stands, true);
  const std::string handmade = read("airports/learned/thirdparty/Maker/KJFK.xml");
  EXPECT_TRUE(contains(handmade, R"(name="handmade" value="true")") && contains(handmade, "HB-FILE"));
  EXPECT_TRUE(contains(handmade, R"(name="Qf_real")") && contains(handmade, R"("A2")"));
  EXPECT_TRUE(contains(newLog(), " handmade 'airports/learned/thirdparty/Maker/KJFK.xml' saved with 1 update\n"));
}

TEST_F(LearnedSaveTest, WithoutAnAppliedFileOrALearnedPlaceNothingIsWritten) {
  g_standOptionUpdates = 2;
  gf_saveLearned({}, false);
  EXPECT_TRUE(contains(newLog(), "==> gf_saveLearned called without a loaded airport file\n"));
  EXPECT_EQ(g_standOptionUpdates, 2u);

  write("airports/my_thirdparty/KJFK.xml", lf_fileWith(" .. "));  // no folder name can be made of it
  const AirportFileData data = apply("KJFK");
  EXPECT_TRUE(data.learnedPath.empty());
  gf_saveLearned(data.stands, false);
  EXPECT_TRUE(contains(newLog(), "==> cannot construct a safe learned path for publisher ' .. '\n"));
  EXPECT_FALSE(fs::exists(dir_ / "airports/learned"));
}

// Leaving the park airport hands its learning to the saver and goes on while the disk is busy;
// coming back (or reading the cache the fetch filled) waits for that save instead of reading
// the file before it.
TEST_F(LearnedSaveTest, LeavingDoesNotWaitForTheDiskAndTheNextReadFindsWhatWasSaved) {
  const fs::path archive = "archive/stock/LSZH.enc";
  const std::size_t askedBefore = server.requestedPaths().size();
  testing_support::HeldDisk disk;
  const DownloadedAirportFile fetched = gf_downloadAirportFile(archive, true);
  ASSERT_TRUE(fetched.fetched) << fetched.error;
  // Slow releases, one per test step: each read below must wait for it.
  const auto releaseSoon = [&disk] {
    return std::thread([&disk] {
      disk.waitUntilSyncing();
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      disk.release();
    });
  };

  disk.hold();
  auto read = gf_readAirportFile(archive, &fetched);  // fills the cache
  ASSERT_TRUE(std::holds_alternative<AirportFileData>(read));
  EXPECT_EQ(std::get<AirportFileData>(read).source, ApfSource::fetched);
  std::thread release = releaseSoon();
  read = gf_readAirportFile(archive);
  release.join();
  ASSERT_TRUE(std::holds_alternative<AirportFileData>(read)) << std::get<std::string>(read);
  EXPECT_EQ(std::get<AirportFileData>(read).source, ApfSource::cache) << "the cache, not a second fetch";
  EXPECT_EQ(server.requestedPaths().size(), askedBefore + 1);

  AirportFileData data = apply("LSZH");
  g_stands = data.stands;
  g_stands.at(0).options.push_back(learned("HB-L1", 90));
  // The settings the file changed go back as well, into the settings file, which is rewritten
  // and synced per setting.
  g_keptParkingSettings.maxFit = 20;
  g_keptParkingSettings.week = !WEEK.value;
  const bool week = WEEK.value;
  gf_setParameterWriter(lf_recordParameterWrite);
  gf_drainSaves();
  disk.hold();
  gf_resetParkAirport();  // the program's way out of the park airport
  EXPECT_FALSE(fs::exists(dir_ / "airports/learned/stock/LSZH.xml")) << "written while the disk is held";
  EXPECT_TRUE(lf_parameterWrites().empty()) << "the settings wait behind the learned file, not the caller";
  release = releaseSoon();
  const AirportFileData again = apply("LSZH");
  release.join();
  EXPECT_TRUE(again.learnedLoaded);
  EXPECT_TRUE(std::any_of(again.stands.at(0).options.begin(), again.stands.at(0).options.end(),
                          [](const StandOption& option) { return option.reg == "HB-L1"; }));
  gf_drainSaves();
  EXPECT_EQ(lf_parameterWrites(), (std::vector<std::string>{"MAX_FIT=20", fmt::format("WEEK={}", !week)}));
  EXPECT_FALSE(g_parameterWriteOnCaller);
  gf_setParameterWriter(nullptr);
  MAX_FIT.value = MAX_FIT.defaultValue;
  WEEK.value = week;
  g_stands.clear();
}

// Leaving one park airport and setting up the next can put the next file's settings in force
// before the saver gets to the ones restored on leaving: the restored ones reach the file, the
// next airport's never do.
TEST_F(LearnedSaveTest, TheSettingsRestoredOnLeavingReachTheFileWhateverIsInForceByThen) {
  {
    std::lock_guard lock(g_parameterMutex);
    g_parameterWrites.clear();
  }
  const bool week = WEEK.value;
  g_keptParkingSettings.maxFit = 20;
  g_keptParkingSettings.week = !week;
  MAX_FIT.value = 47;
  gf_setParameterWriter(lf_recordParameterWrite);
  std::promise<void> gate;
  gf_queueTask("test gate", [opened = gate.get_future().share()] { opened.wait(); });
  gf_restoreParkingSettings();
  MAX_FIT.value = 47;  // the next airport's file
  WEEK.value = week;
  gate.set_value();
  gf_drainSaves();
  EXPECT_EQ(lf_parameterWrites(), (std::vector<std::string>{"MAX_FIT=20", fmt::format("WEEK={}", !week)}));
  gf_setParameterWriter(nullptr);
  MAX_FIT.value = MAX_FIT.defaultValue;
  WEEK.value = week;
}

}  // namespace
}  // namespace parking_test
