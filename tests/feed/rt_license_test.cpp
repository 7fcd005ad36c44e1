#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "core/log.h"
#include "core/user_exception.h"
#include "feed/rt_license.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;

// The program's folder is the current one; the RealTraffic app's folder sits under a roaming
// AppData of the test's own.
class LicenseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* previous = std::getenv("JORV_APPDATA");
    if (previous) previousAppData_ = previous;
    ::setenv("JORV_APPDATA", (dir_.path() / "roaming").c_str(), 1);
    fs::create_directories(dir_.path() / "program");
    cwd_.emplace(dir_.path() / "program");
    gf_openLog();
  }
  void TearDown() override {
    gf_closeLog();
    gf_setLicensePrompt(nullptr, ui::Hwnd::null);
    g_rtCredential.clear();
    cwd_.reset();
    if (previousAppData_) ::setenv("JORV_APPDATA", previousAppData_->c_str(), 1);
    else ::unsetenv("JORV_APPDATA");
  }
  fs::path appFile() const { return dir_.path() / "roaming" / "InsideSystems" / "RealTraffic.lic"; }
  fs::path ownFile() const { return dir_.path() / "program" / "RealTraffic.lic"; }
  std::string logText() {
    gf_flushLog();
    return readFile(dir_.path() / "program" / "Log.txt");
  }
  // A prompt that answers with typed (none: Cancel) and counts its calls.
  void answerPrompt(std::optional<std::string> typed) {
    gf_setLicensePrompt(
        [this, typed](ui::Hwnd, const TextPromptRequest& request) {
          ++prompts_;
          lastRequest_ = request;
          return typed;
        },
        ui::Hwnd::null);
  }

  int prompts_ = 0;
  TextPromptRequest lastRequest_;

 private:
  testing_support::TempDir dir_;
  std::optional<testing_support::ScopedCurrentDir> cwd_;
  std::optional<std::string> previousAppData_;
};

TEST_F(LicenseTest, FirstRunCreatesTheTemplateAsksAndSavesTheLicense) {
  answerPrompt("ABC-123&x=1");
  gf_readRTLicenseOrToken();
  EXPECT_EQ(prompts_, 1);
  EXPECT_EQ(lastRequest_.title, "RealTraffic license");
  EXPECT_EQ(lastRequest_.label, "License / token:");
  EXPECT_EQ(lastRequest_.maxChars, 60u);
  EXPECT_EQ(g_rtCredential, "ABC-123&x=1");
  EXPECT_EQ(readFile(ownFile()), R"({"License":"ABC-123&x=1","Name":"unknown"})");
  EXPECT_NE(logText().find("Your RealTraffic license was taken from 'RealTraffic.lic'"), std::string::npos);
}

TEST_F(LicenseTest, TheSavedLicenseIsTheOwnersAloneAndReplacesAWorldReadableOne) {
  // A file of an earlier version, and a temporary of a killed save, open to everyone.
  writeFile(ownFile(), R"({"License":"fill in your API-token here","Name":"unknown"})");
  writeFile(fs::path(ownFile()) += ".tmp", "left over");
  fs::permissions(ownFile(), fs::perms::all);
  fs::permissions(fs::path(ownFile()) += ".tmp", fs::perms::all);
  answerPrompt("rt_secret");
  gf_readRTLicenseOrToken();
  EXPECT_EQ(readFile(ownFile()), R"({"License":"rt_secret","Name":"unknown"})");
  EXPECT_EQ(fs::status(ownFile()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_FALSE(fs::exists(fs::path(ownFile()) += ".tmp"));
}

TEST_F(LicenseTest, TheAppsOwnFileWinsAndIsLeftAlone) {
  const std::string content = "{\n \"License\": \"rt_token42\",\n \"Name\": \"Someone\"\n}\n";
  fs::create_directories(appFile().parent_path());
  writeFile(appFile(), content);
  writeFile(ownFile(), R"({"License":"other","Name":"unknown"})");
  answerPrompt("typed");
  gf_readRTLicenseOrToken();
  EXPECT_EQ(prompts_, 0);
  EXPECT_EQ(g_rtCredential, "rt_token42");
  EXPECT_EQ(readFile(appFile()), content);
  EXPECT_NE(logText().find("Your RealTraffic API-token was taken from '" + appFile().string() + "'"),
            std::string::npos);
}

TEST_F(LicenseTest, ShortValueStartingLikeATokenIsALicense) {
  writeFile(ownFile(), R"({"License":"rt"})");
  gf_readRTLicenseOrToken();
  EXPECT_EQ(g_rtCredential, "rt");
  EXPECT_NE(logText().find("Your RealTraffic license was taken from"), std::string::npos);
}

TEST_F(LicenseTest, CancelOrEmptyInputKeepsTheTemplateAndFails) {
  for (const std::optional<std::string>& typed : {std::optional<std::string>(), std::optional<std::string>("")}) {
    answerPrompt(typed);
    try {
      gf_readRTLicenseOrToken();
      FAIL() << "no exception";
    } catch (const jrv::UserRelatedException& e) {
      EXPECT_EQ(e.code, 899);
      EXPECT_EQ(std::string(e.what()), "899: No valid RT license / API-token found. Place your new license in '" +
                                           (fs::path("JORV") / "RealTraffic.lic").string() + "'.");
    }
    EXPECT_EQ(readFile(ownFile()), R"({"License":"fill in your API-token here","Name":"unknown"})");
    EXPECT_TRUE(g_rtCredential.empty());
  }
  // With the app's file present (but only a placeholder) the message names that file.
  fs::create_directories(appFile().parent_path());
  writeFile(appFile(), R"({"License":"fill in your license here"})");
  answerPrompt(std::nullopt);
  EXPECT_THAT([] { gf_readRTLicenseOrToken(); },
              testing::ThrowsMessage<jrv::UserRelatedException>(testing::HasSubstr(appFile().string())));
}

TEST_F(LicenseTest, EachUnusableFileSaysWhy) {
  struct Case {
    const char* name;
    std::string content;
    std::string expected;  // the log line after "No license found in '<path>'."
    bool namedPipe = false;  // never opened for writing: a blocking read would wait for ever
  };
  const Case cases[] = {
      {"number", R"({"License":5})", " Problem: Missing or invalid 'License' field"},
      {"missing", R"({"Name":"x"})", " Problem: Missing or invalid 'License' field"},
      {"empty value", R"({"License":""})", " Problem: Empty 'License' value"},
      {"array", R"(["License"])", " Problem: JSON root is not an object"},
      {"empty file", "", " File is empty."},
      {"not json", "License = 5", " Problem: [json.exception.parse_error"},
      {"named pipe", "", " Problem: not a regular file", true},
      {"oversized", "{\"License\":\"" + std::string(kLicenseFileMaxBytes, 'x') + "\"}",
       fmt::format(" Problem: larger than {} bytes", kLicenseFileMaxBytes)},
  };
  for (const Case& c : cases) {
    fs::remove(ownFile());
    if (c.namedPipe)
      ASSERT_EQ(::mkfifo(ownFile().c_str(), 0600), 0);
    else
      writeFile(ownFile(), c.content);
    EXPECT_EQ(gf_readLicenseFile(ownFile()), "") << c.name;
    const std::string expected = "No license found in '" + ownFile().string() + "'." + c.expected;
    EXPECT_NE(logText().find(expected), std::string::npos) << c.name << "\n" << logText();
  }
  EXPECT_EQ(gf_readLicenseFile(ownFile().parent_path() / "missing.lic"), "");
  EXPECT_NE(logText().find("missing.lic'. No such file or directory"), std::string::npos);
}

TEST_F(LicenseTest, LinesAreJoinedAndValuesWithQuotesRoundTrip) {
  writeFile(ownFile(), "\xEF\xBB\xBF{\"License\":\r\n\"abc\"}\r\n");
  EXPECT_EQ(gf_readLicenseFile(ownFile()), "abc");
  ASSERT_TRUE(gf_writeLicenseFile("a\"b\\c"));
  EXPECT_EQ(readFile(ownFile()), R"({"License":"a\"b\\c","Name":"unknown"})");
  EXPECT_EQ(gf_readLicenseFile(ownFile()), "a\"b\\c");
}

}  // namespace
