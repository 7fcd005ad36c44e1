#pragma once
// The download and update tests: the data-set folder and log of DataSetTest, the web server
// stand-in as the maker's server, clean downloader and update-check state.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "appbase/stop_request.h"
#include "core/log.h"
#include "core/value_types.h"
#include "refdata/downloader.h"
#include "refdata/update_check.h"
#include "refdata/zip_archive.h"
#include "standin/webserver/web_server.h"
#include "tests/refdata/enc_fixture.h"

namespace refdata_testing {

namespace fs = std::filesystem;

class UpdateFixture : public DataSetTest {
 protected:
  void SetUp() override {
    gf_resetDownloaderState();
    gf_resetUpdateCheckState();
    gf_resetStopStateForTest();
    DataSetTest::SetUp();
    gf_setMakerBaseUrl(server.baseUrl());
  }
  void TearDown() override {
    server.stop();
    DataSetTest::TearDown();
    gf_resetDownloaderState();
    gf_resetUpdateCheckState();
    gf_resetStopStateForTest();
  }

  bool logHas(const std::string& line) { return log().find(line) != std::string::npos; }
  std::vector<std::string> filesIn(const fs::path& folder) const;

  standin::WebServer server;
};

// Keeps the installed data-set versions as parameters.xml would, and remembers every save.
class FakeVersionStore : public DataSetVersionStore {
 public:
  std::string installedVersion(std::string_view parameter) const override {
    auto found = values.find(std::string(parameter));
    return found == values.end() ? std::string() : found->second;
  }
  void saveVersion(std::string_view parameter, const std::string& version) override {
    values[std::string(parameter)] = version;
    saved.emplace_back(std::string(parameter) + "=" + version);
  }

  std::map<std::string, std::string> values;
  std::vector<std::string> saved;
};

// An update check set up on the program folder, with the folder "shown" by a stand-in.
class CheckFixture : public UpdateFixture {
 protected:
  CheckFixture();

  FakeVersionStore store;
  UpdateCheckSetup setup;
  std::vector<fs::path> opened;
  bool openSucceeds = true;
};

// {"major": a, "minor": b, "patch": c}
std::string versionJson(const VersionData& version);

// A stand-in for a Windows installer: junk around a version resource whose fixed file
// information carries the product version (and a different file version, which must be ignored).
std::string fakeInstaller(const VersionData& productVersion, std::size_t junkBefore = 700,
                          std::uint32_t signature = 0xFEEF04BD);

struct ArchiveItem {
  std::string name;  // ending in '/' for a folder
  std::string content;
};
std::string zipBytes(const std::vector<ArchiveItem>& items);

}  // namespace refdata_testing
