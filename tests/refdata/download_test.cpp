#include <chrono>
#include <functional>

#include "tests/refdata/update_fixture.h"

namespace refdata_testing {
namespace {

using testing_support::readFile;
using testing_support::writeFile;

class DownloadTest : public UpdateFixture {
 protected:
  static constexpr std::uint64_t kLimit = 1 << 20;
  bool download(const std::string& path, const fs::path& target) {
    CurlHandle handle = gf_newTransferHandle();
    return gf_downloadFile(handle.get(), server.baseUrl() + path, target, true, kLimit);
  }
  fs::path target() const { return dir_ / "airports.enc"; }
  fs::path temp() const { return dir_ / "airports.enc.download_tmp"; }
};

TEST_F(DownloadTest, ReplacesTheTargetWholeAndClearsAStaleTemporaryFile) {
  writeFile(target(), "old contents");
  writeFile(temp(), "left over from a crashed run");
  const std::string body(200000, 'n');
  server.putFile("input/airports.enc", body);

  ASSERT_TRUE(download("input/airports.enc", target()));
  EXPECT_EQ(readFile(target()), body);
  EXPECT_FALSE(fs::exists(temp()));
}

TEST_F(DownloadTest, AFailedAnswerKeepsTheOldTargetAndLeavesNoTemporaryFile) {
  struct Case { const char* name; int status; bool truncated; };  // status 0: the file simply isn't there
  const Case cases[] = {
      {"not found", 0, false},
      {"server error", 500, false},
      {"forbidden", 403, false},
      {"redirect page instead of the file", 302, false},
      {"connection closed mid-body", 200, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(target(), "old contents");
    server.clearBehaviours();
    server.removeFile("input/airports.enc");
    if (c.status != 0) {
      server.putFile("input/airports.enc", std::string(5000, 'x'));
      standin::WebFileBehaviour behaviour;
      behaviour.status = c.status;
      if (c.truncated) behaviour.truncateAfter = 1000;
      server.setBehaviour("input/airports.enc", behaviour);
    }
    EXPECT_FALSE(download("input/airports.enc", target()));
    EXPECT_EQ(readFile(target()), "old contents");
    EXPECT_FALSE(fs::exists(temp()));
  }
}

TEST_F(DownloadTest, ATargetThatCannotBeReplacedKeepsItsContentsAndReportsWhy) {
  // A folder in the way stands for a locked target (the tests run as root, so no permission stops us).
  fs::create_directories(target() / "inside");
  server.putFile("input/airports.enc", "new");

  EXPECT_FALSE(download("input/airports.enc", target()));
  EXPECT_TRUE(fs::is_directory(target() / "inside"));
  EXPECT_FALSE(fs::exists(temp()));
  EXPECT_TRUE(logHas("==> Could not replace downloaded file '" + target().string() + "': "));
}

TEST_F(DownloadTest, ATrickleBelowOneBytePerSecondIsAborted) {
  DownloadLimits limits;
  limits.lowSpeedSeconds = 1;  // the real 30 seconds, shortened
  gf_setDownloadLimits(limits);
  writeFile(target(), "old contents");
  server.putFile("input/airports.enc", std::string(100, 't'));
  standin::WebFileBehaviour trickle;
  trickle.trickleBytes = 1;
  trickle.trickleInterval = std::chrono::milliseconds(4000);
  server.setBehaviour("input/airports.enc", trickle);

  EXPECT_FALSE(download("input/airports.enc", target()));
  EXPECT_EQ(readFile(target()), "old contents");
  EXPECT_FALSE(fs::exists(temp()));
  server.releaseHangs();
}

TEST_F(DownloadTest, AFileBeyondItsLimitStopsThereAndKeepsTheOldTarget) {
  struct Case {
    const char* name;
    std::size_t announced;
    std::size_t unannounced;
  };
  const Case cases[] = {
      {"length told up front", kLimit + 1, 0},
      {"no length told, a quarter gigabyte sent", 0, std::size_t{256} << 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(target(), "old contents");
    server.clearBehaviours();
    server.putFile("input/airports.enc", std::string(c.announced ? c.announced : 1000, 'h'));
    standin::WebFileBehaviour hostile;
    hostile.unannouncedBytes = c.unannounced;
    server.setBehaviour("input/airports.enc", hostile);
    EXPECT_FALSE(download("input/airports.enc", target()));
    EXPECT_EQ(readFile(target()), "old contents");
    EXPECT_FALSE(fs::exists(temp()));
    EXPECT_TRUE(logHas(
        fmt::format("==> Download of '{}input/airports.enc' stopped: larger than {} bytes", server.baseUrl(), kLimit)));
  }
  // Exactly the limit is still a file.
  server.clearBehaviours();
  server.putFile("input/airports.enc", std::string(kLimit, 'k'));
  EXPECT_TRUE(download("input/airports.enc", target()));
  EXPECT_EQ(fs::file_size(target()), kLimit);
}

// A hanging answer ends well before the stall limit once a stop is asked for, or once the server
// lets it go, even between its request and its body (the stop last: it stays asked for).
TEST_F(DownloadTest, AStopRequestAbortsARunningTransfer) {
  DownloadLimits limits;
  limits.lowSpeedSeconds = 20;  // far beyond what the stop may take
  gf_setDownloadLimits(limits);
  server.putFile("input/dbase.enc", std::string(100, 'h'));
  standin::WebFileBehaviour hang;
  hang.hang = true;
  server.setBehaviour("input/dbase.enc", hang);
  const std::pair<const char*, std::function<void(const std::string&)>> cases[] = {
      {"the server lets it go as the request comes", [this](const std::string&) { server.releaseHangs(); }},
      {"a stop", [](const std::string&) { gf_requestStop(StopReason::SystemError, 0); }},
  };
  for (const auto& [name, onRequest] : cases) {
    server.setOnRequest(onRequest);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(download("input/dbase.enc", dir_ / "dbase.enc")) << name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << name << ": the stall limit ended it";
    EXPECT_FALSE(fs::exists(dir_ / "dbase.enc")) << name;
    EXPECT_FALSE(fs::exists(dir_ / "dbase.enc.download_tmp")) << name;
  }
  server.releaseHangs();
}

TEST_F(DownloadTest, NothingButAWebAddressIsFetched) {
  for (const char* url : {"versions.json", "file:///etc/hostname", ""}) {
    SCOPED_TRACE(url);
    CurlHandle handle = gf_newTransferHandle();
    EXPECT_FALSE(gf_downloadFile(handle.get(), url, target(), true, kLimit));
    EXPECT_FALSE(fs::exists(target()));
  }
  EXPECT_FALSE(gf_downloadFile(nullptr, server.baseUrl() + "versions.json", target(), true, kLimit));
  EXPECT_TRUE(server.requestedPaths().empty());
  // Plain http only from this machine (the stand-ins); the maker's files come over https.
  for (const char* url : {"http://example.invalid/versions.json", "http://127.0.0.1.example.invalid/versions.json",
                          "http://localhostx/versions.json"}) {
    SCOPED_TRACE(url);
    CurlHandle handle = gf_newTransferHandle();
    EXPECT_FALSE(gf_downloadFile(handle.get(), url, target(), true, kLimit));
    EXPECT_TRUE(logHas(fmt::format("Download address is not a secure web address: '{}'", url)));
  }
}

TEST_F(DownloadTest, ADataSetComesFromTheInputFolderOfTheServer) {
  server.putFile("input/wktraffic.enc", "weekly");
  fs::create_directories(dir_ / "input");
  const fs::path weekly = dir_ / "input" / "wktraffic.enc";

  ASSERT_TRUE(gf_downloadInputFile("wktraffic.enc", weekly, kLimit));
  EXPECT_EQ(readFile(weekly), "weekly");
  EXPECT_TRUE(logHas("Downloaded '" + server.baseUrl() + "input/wktraffic.enc' to '" + weekly.string() + "'"));

  EXPECT_FALSE(gf_downloadInputFile("dbase.enc", dir_ / "input" / "dbase.enc", kLimit));
  EXPECT_TRUE(logHas("==> Downloading '" + server.baseUrl() + "input/dbase.enc' failed!"));
}

TEST_F(DownloadTest, TheBaseUrlGetsItsTrailingSlash) {
  gf_setMakerBaseUrl("https://example.invalid/downloads");
  EXPECT_EQ(gf_makerBaseUrl(), "https://example.invalid/downloads/");
  gf_setMakerBaseUrl("");
  EXPECT_EQ(gf_makerBaseUrl(), "");
}

}  // namespace
}  // namespace refdata_testing
