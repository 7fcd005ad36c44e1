#include <fmt/format.h>

#include <algorithm>

#include "config/keys.h"
#include "core/user_exception.h"
#include "tests/refdata/update_fixture.h"

namespace refdata_testing {
namespace {

using testing_support::readFile;
using testing_support::writeFile;

class UpdateCheckTest : public CheckFixture {
 protected:
  // versions.json with the program at its own version, no maintenance, and the given data sets.
  void publish(const std::string& dataSetMembers) {
    server.putFile("versions.json", fmt::format(R"({{"msfs": {}, "maintenance": {}{}{}}})",
                                                versionJson(g_programVersion), versionJson({0, 0, 0}),
                                                dataSetMembers.empty() ? "" : ", ", dataSetMembers));
  }
  // A data set as the maker publishes it: enciphered XML under a root, told apart by its note.
  static std::string dataSet(std::string_view note) {
    return encryptForTest(fmt::format("<root><note>{}</note></root>", note));
  }
  std::size_t inputRequests() const {
    const auto paths = server.requestedPaths();
    return static_cast<std::size_t>(
        std::count_if(paths.begin(), paths.end(), [](const std::string& p) { return p.starts_with("input/"); }));
  }
};

// Without the maker's address there is nothing to fail: one line says the check is skipped.
TEST_F(UpdateCheckTest, WithoutAServerAddressTheCheckIsSkippedWithOneLineAndStartUpGoesOn) {
  gf_setMakerBaseUrl("");
  EXPECT_TRUE(gf_checkForUpdates(setup));
  EXPECT_TRUE(logHas("The maker's web address is not set (JORV_MAKER_URL): the update check is skipped"));
  EXPECT_FALSE(logHas("failed"));
  EXPECT_FALSE(logHas("not a web address"));
  EXPECT_TRUE(server.requestedPaths().empty());
}

TEST_F(UpdateCheckTest, AnOversizedVersionFileIsRemovedUnread) {
  // Stopped at the limit while it comes, not looked at once the whole of it is on disk.
  server.putFile("versions.json", std::string(2 * 1024 * 1024, ' '));
  EXPECT_TRUE(gf_checkForUpdates(setup));
  EXPECT_TRUE(logHas("versions.json' stopped: larger than 1048576 bytes"));
  EXPECT_TRUE(logHas("==> Downloading version info from my web site failed!"));
  EXPECT_FALSE(fs::exists(dir_ / "versions.json"));
  EXPECT_EQ(inputRequests(), 0u);

  // 1048576 bytes is still allowed.
  std::string justFits = R"({"msfs": {"major": 1, "minor": 0, "patch": 0}})";
  justFits.resize(1048576, ' ');
  server.putFile("versions.json", justFits);
  EXPECT_TRUE(gf_checkForUpdates(setup));
  EXPECT_TRUE(logHas("msfs version up-to-date"));
}

TEST_F(UpdateCheckTest, AVersionFileThatIsNoJsonObjectSkipsTheCheck) {
  for (const char* content : {"{\"msfs\": {\"major\": 1", "[1, 2, 3]", "", "\"text\""}) {
    SCOPED_TRACE(content);
    server.putFile("versions.json", content);
    EXPECT_TRUE(gf_checkForUpdates(setup));
    EXPECT_TRUE(logHas("==> Invalid versions.json received; update check skipped"));
    EXPECT_FALSE(fs::exists(dir_ / "versions.json"));
  }
  EXPECT_EQ(inputRequests(), 0u);
}

TEST_F(UpdateCheckTest, ABadProgramVersionIsWarnedAboutAndTheDataSetsAreStillProcessed) {
  struct Case { const char* msfs; const char* warning; };
  const Case cases[] = {
      {R"({"major": 99, "minor": 1})", "Invalid web version numbers for 'msfs'"},
      {R"({"major": 99, "minor": -1, "patch": 0})", "Invalid web version numbers for 'msfs'"},
      {R"({"major": 99, "minor": 1.5, "patch": 0})", "Invalid web version numbers for 'msfs'"},
      {R"({"major": 99, "minor": "1", "patch": 0})", "Invalid web version numbers for 'msfs'"},
      {R"({"major": 4294967296, "minor": 0, "patch": 0})", "Invalid web version numbers for 'msfs'"},
      {R"("99.0.0")", "Invalid web version data for 'msfs'"},
  };
  const std::string dbase3 = dataSet("dbase 3");
  server.putFile("input/dbase.enc", dbase3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.msfs);
    fs::remove(dir_ / "input" / "dbase.enc");
    server.putFile("versions.json", fmt::format(R"({{"msfs": {}, "dbase": {}}})", c.msfs, versionJson({3, 0, 0})));
    const UpdateCheckResult result = gf_runUpdateCheck(setup);
    EXPECT_EQ(result.outcome, UpdateCheckOutcome::GoOn);
    EXPECT_TRUE(logHas(std::string("==> ") + c.warning));
    EXPECT_EQ(readFile(dir_ / "input" / "dbase.enc"), dbase3);
  }
  EXPECT_TRUE(logHas("==> maintenance version not found"));
  EXPECT_TRUE(gf_isRunning());
}

TEST_F(UpdateCheckTest, ANewerProgramVersionIsHandedBackBeforeAnythingElse) {
  const VersionData newer(g_programVersion.major, g_programVersion.minor, g_programVersion.patch + 1);
  server.putFile("versions.json", fmt::format(R"({{"msfs": {}, "maintenance": {}, "dbase": {}}})", versionJson(newer),
                                              versionJson({0, 0, 1}), versionJson({3, 0, 0})));
  const UpdateCheckResult result = gf_runUpdateCheck(setup);
  EXPECT_EQ(result.outcome, UpdateCheckOutcome::NewProgramVersion);
  EXPECT_EQ(result.webProgramVersion, newer);
  EXPECT_TRUE(logHas(fmt::format("msfs program version at web = {}", newer)));
  EXPECT_FALSE(g_serverMaintenance);
  EXPECT_EQ(inputRequests(), 0u);

  // The same version and an older one are up to date.
  for (const VersionData& published : {g_programVersion, VersionData(g_programVersion.major - 1, 99, 99)}) {
    server.putFile("versions.json", fmt::format(R"({{"msfs": {}}})", versionJson(published)));
    EXPECT_EQ(gf_runUpdateCheck(setup).outcome, UpdateCheckOutcome::GoOn);
  }
  EXPECT_TRUE(logHas("msfs version up-to-date"));
}

TEST_F(UpdateCheckTest, AnyMaintenanceVersionAboveZeroEndsTheStartUp) {
  server.putFile("versions.json", fmt::format(R"({{"msfs": {}, "maintenance": {}, "dbase": {}}})",
                                              versionJson(g_programVersion), versionJson({0, 0, 1}),
                                              versionJson({3, 0, 0})));
  try {
    gf_checkForUpdates(setup);
    FAIL() << "no exception";
  } catch (const jrv::UserRelatedException& e) {
    EXPECT_EQ(e.code, 2026);
    EXPECT_STREQ(e.what(), "2026: Web server temporarily unavailable due to maintenance. Please try again later.");
  }
  EXPECT_TRUE(g_serverMaintenance);
  EXPECT_EQ(inputRequests(), 0u);

  gf_resetUpdateCheckState();
  publish(fmt::format(R"("dbase": {})", versionJson({3, 0, 0})));
  EXPECT_TRUE(gf_checkForUpdates(setup));
  EXPECT_FALSE(g_serverMaintenance);
  EXPECT_TRUE(logHas("maintenance version up-to-date"));
}

TEST_F(UpdateCheckTest, EachDataSetIsBroughtUpToDateAndItsVersionSaved) {
  // airports: newer on the server; aig: same version but the file was deleted; archives: newer
  // but its download fails; dbase: older on the server; weekly: not published.
  writeFile(dir_ / "input" / "airports.enc", "airports 1");
  writeFile(dir_ / "input" / "archives.enc", "archives 1");
  writeFile(dir_ / "input" / "dbase.enc", "dbase 2");
  store.values = {{"AIRPORTS_VERSION", "1.0.0"},
                  {"AIG_VERSION", "5.1.0"},
                  {"ARCHIVES_VERSION", "1.0.0"},
                  {"DBASE_VERSION", "2.0.0"},
                  {"WEEKLY_TRAFFIC_AIRPORTS_VERSION", "garbage"}};
  publish(fmt::format(R"("airports": {}, "aig": {}, "archives": {}, "dbase": {})", versionJson({1, 0, 1}),
                      versionJson({5, 1, 0}), versionJson({1, 2, 0}), versionJson({1, 9, 9})));
  const std::string airports = dataSet("airports 1.0.1"), aig = dataSet("aig 5.1");
  server.putFile("input/airports.enc", airports);
  server.putFile("input/AIG-regcodes.enc", aig);
  server.putFile("input/dbase.enc", dataSet("dbase 1.9.9"));
  standin::WebFileBehaviour failing;
  failing.status = 503;
  server.setBehaviour("input/archives.enc", failing);

  EXPECT_TRUE(gf_checkForUpdates(setup));

  EXPECT_EQ(readFile(dir_ / "input" / "airports.enc"), airports);
  EXPECT_EQ(readFile(dir_ / "input" / "AIG-regcodes.enc"), aig);
  EXPECT_EQ(readFile(dir_ / "input" / "archives.enc"), "archives 1");
  EXPECT_EQ(readFile(dir_ / "input" / "dbase.enc"), "dbase 2");
  EXPECT_FALSE(fs::exists(dir_ / "input" / "wktraffic.enc"));
  EXPECT_EQ(store.saved, (std::vector<std::string>{"AIRPORTS_VERSION=1.0.1", "AIG_VERSION=5.1.0"}));
  EXPECT_EQ(store.values["ARCHIVES_VERSION"], "1.0.0");

  const std::string text = log();
  EXPECT_NE(text.find("airports updated to 1.0.1"), std::string::npos);
  EXPECT_NE(text.find("aig updated to 5.1.0"), std::string::npos);
  EXPECT_NE(text.find("==> Downloading '" + server.baseUrl() + "input/archives.enc' failed!"), std::string::npos);
  EXPECT_NE(text.find("dbase version up-to-date"), std::string::npos);
  EXPECT_NE(text.find("==> weekly version not found"), std::string::npos);
  EXPECT_NE(text.find("VersionData exception"), std::string::npos);  // the garbage text read as 0.0.0
  EXPECT_EQ(text.find("dbase updated"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "versions.json"));
}

TEST_F(UpdateCheckTest, AMissingDataSetIsFetchedWhateverItsStoredVersionSays) {
  store.values = {{"DBASE_VERSION", "9.9.9"}};
  publish(fmt::format(R"("dbase": {})", versionJson({3, 0, 0})));
  const std::string dbase3 = dataSet("dbase 3");
  server.putFile("input/dbase.enc", dbase3);

  EXPECT_TRUE(gf_checkForUpdates(setup));
  EXPECT_EQ(readFile(dir_ / "input" / "dbase.enc"), dbase3);
  EXPECT_EQ(store.values["DBASE_VERSION"], "3.0.0");
}

TEST_F(UpdateCheckTest, ADataSetItsReaderWouldRefuseNeverReplacesTheInstalledOne) {
  struct Case { const char* name; std::string body; };
  const Case cases[] = {
      {"a proxy's page", "<html><body>502 Bad Gateway</body></html>"},
      {"another key", encryptForTest("<root/>", {.key = EncKey{}})},
      {"cut off before its final block", encryptForTest("<root/>", {.finalTag = false})},
      {"no XML inside", encryptForTest("airports")},
      {"XML without its root", encryptForTest("<airports/>")},
  };
  const std::string installed = dataSet("airports 1");
  const fs::path file = dir_ / "input" / "airports.enc";
  publish(fmt::format(R"("airports": {})", versionJson({1, 0, 1})));
  int discarded = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(file, installed);
    store.values = {{"AIRPORTS_VERSION", "1.0.0"}};
    server.putFile("input/airports.enc", c.body);

    EXPECT_TRUE(gf_checkForUpdates(setup));
    EXPECT_EQ(readFile(file), installed);
    EXPECT_EQ(store.values["AIRPORTS_VERSION"], "1.0.0");
    EXPECT_FALSE(fs::exists(dir_ / "input" / "airports.enc.download_tmp"));
    const std::string text = log(), warning = "==> Download of '" + server.baseUrl() + "input/airports.enc' discarded: ";
    int found = 0;
    for (auto at = text.find(warning); at != std::string::npos; at = text.find(warning, at + 1)) ++found;
    EXPECT_EQ(found, ++discarded);
  }
  EXPECT_TRUE(store.saved.empty());

  // The next start asks again and takes a sound answer.
  const std::string published = dataSet("airports 1.0.1");
  server.putFile("input/airports.enc", published);
  EXPECT_TRUE(gf_checkForUpdates(setup));
  EXPECT_EQ(readFile(file), published);
  EXPECT_EQ(store.values["AIRPORTS_VERSION"], "1.0.1");
}

TEST(ParameterVersionStore, KeepsTheVersionsInTheFiveOptions) {
  DataSetVersionStore& store = gf_parameterVersionStore();
  const std::string before = DBASE_VERSION.value;
  DBASE_VERSION.value = "2.0.0";
  EXPECT_EQ(store.installedVersion("DBASE_VERSION"), "2.0.0");
  store.saveVersion("DBASE_VERSION", "3.1.0");
  EXPECT_EQ(DBASE_VERSION.value.load(), "3.1.0");
  EXPECT_EQ(store.installedVersion("NO_SUCH_VERSION"), "");
  DBASE_VERSION.value = before;
}

}  // namespace
}  // namespace refdata_testing
