// Package manifests, the publisher decision and the airport code of a scenery source.
#include "airportscan/scenery_packages.h"

#include <gtest/gtest.h>

#include "airportscan/archives_data.h"
#include "tests/airportscan/scan_fixture.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;
using testing_support::writeFile;

class SceneryPackagesTest : public airportscan_testing::ScanTest {
 protected:
  void SetUp() override {
    ScanTest::SetUp();
    knownAirports({"EGLL", "KJFK", "FS24"});
    weeklyAirports({"EGLL", "KJFK", "FS24", "LSZH"});
  }
  const AirportCodeTests tests_{gf_isKnownAirport, gf_isRTWeeklyAirport};
};

TEST_F(SceneryPackagesTest, ManifestFields) {
  const struct { const char* json; std::optional<std::string> version; } cases[] = {
      {R"({"package_version": "", "version": "1.2.3", "title": "T"})", "1.2.3"},
      {R"({"package_version": 2,
           "version": "1.2.4"})", "1.2.4"},
      {R"({"package_version": "0.9", "version": "1.2.3"})", "0.9"},
      {R"(["not", "an", "object"])", std::nullopt},
      {"", std::nullopt}};
  for (const auto& c : cases) {
    writeFile(dir_ / "manifest.json", c.json);
    const auto manifest = lf_readManifest("manifest.json");
    EXPECT_EQ(manifest ? std::optional(manifest->version) : std::nullopt, c.version) << c.json;
  }
}

TEST_F(SceneryPackagesTest, ManifestSizeLimit) {
  const std::string json = R"({"title": "Big"})";
  writeFile(dir_ / "manifest.json", json + std::string(kManifestSizeLimit - json.size(), ' '));
  ASSERT_TRUE(lf_readManifest("manifest.json"));
  writeFile(dir_ / "manifest.json", json + std::string(kManifestSizeLimit + 1 - json.size(), ' '));
  EXPECT_FALSE(lf_readManifest("manifest.json"));
  EXPECT_EQ(g_airportScanMessages, std::vector<std::string>{"Ignoring manifest larger than 4194304 bytes: 'manifest.json'"});
}

TEST_F(SceneryPackagesTest, ManifestSearches) {
  writeFile(dir_ / "pkg" / "manifest.json", R"({"title": "Pkg"})");
  writeFile(dir_ / "pkg" / "scenery" / "global" / "a.bgl", "");
  EXPECT_EQ(gf_searchManifest("pkg/scenery/global/a.bgl")->title, "Pkg");
  EXPECT_FALSE(gf_searchManifest("other/a.bgl"));

  writeFile(dir_ / "root" / "abcd-airport" / "manifest.json", R"({"title": "Short"})");
  writeFile(dir_ / "root" / "fs24-abcd-airport" / "manifest.json", R"({"title": "Full"})");
  writeFile(dir_ / "root" / "sub" / "fs24-" / "manifest.json", R"({"title": "Prefix only"})");
  EXPECT_EQ(lf_findPackageManifest("x/fs24-abcd-airport", "root")->title, "Short");
  EXPECT_EQ(lf_findPackageManifest("x\\fs24-", "root")->title, "Prefix only");
  EXPECT_FALSE(lf_findPackageManifest("x/", "root"));
}

TEST_F(SceneryPackagesTest, PublisherDecision) {
  g_publisherGroups = {{"Alpha Scenery", "alphasc"}, {"Abc", "abc"}};
  g_rejectedManifestPublishers = {{"fsim", "FSIM"}};
  writeFile(dir_ / "p1" / "manifest.json", R"({"manufacturer": " FSIM ", "creator": "asobo studio"})");
  writeFile(dir_ / "p2" / "manifest.json", R"({"manufacturer": "xy", "creator": " abc "})");
  const struct { const char* path; const char* publisher; bool manifestRead; } cases[] = {
      {"MicroSoft-Airport-egll/a.bgl", "simaddon", false},
      {"community/AlphaSc-egll/a.bgl", "Alpha Scenery", false},
      {"p1/a.bgl", "simaddon", true},  // FSIM rejected, the creator decides
      {"p2/a.bgl", "Abc", true},
      {"p3/a.bgl", "", false}};
  for (const auto& c : cases) {
    ScenerySource source(c.path);
    EXPECT_EQ(lf_detectPublisher(source), *c.publisher != '\0') << c.path;
    EXPECT_EQ(source.publisher, c.publisher) << c.path;
    EXPECT_EQ(source.manifest.has_value(), c.manifestRead) << c.path;
  }
  ScenerySource cleared("p1/a.bgl");
  lf_detectPublisher(cleared);
  EXPECT_EQ(cleared.manifest->manufacturer, "");
  EXPECT_TRUE(messaged("manifest publisher value 'FSIM' rejected by archives data"));
  // Three letters decide a publisher but make no usable maker.
  EXPECT_FALSE(lf_manifestHasUsableMaker(ManifestInfo{"", "", "xy", "abc"}));
  EXPECT_TRUE(lf_manifestHasUsableMaker(ManifestInfo{"", "", "fsim", " Abcd "}));
}

TEST_F(SceneryPackagesTest, AirportCodes) {
  writeFile(dir_ / "titled" / "manifest.json", R"({"title": "Heathrow (EGLL) for MSFS"})");
  const struct { const char* path; const char* code; const char* message; } cases[] = {
      {"Community/FS24_EGLL_scenery/a.bgl", "EGLL", "airport has code 'EGLL' in BGL path"},
      {"Community/kjfk-airport/a.bgl", "KJFK", "airport has code 'KJFK' in BGL path"},
      {"Community/EGLL2/a.bgl", "", nullptr},
      {"Community/x/lszh.bgl", "LSZH", "airport has code 'LSZH' in stem"},  // weekly, not known
      {"titled/scenery/a.bgl", "EGLL", "airport has code 'EGLL' in title of manifest"}};
  for (const auto& c : cases) {
    g_airportScanMessages.clear();
    ScenerySource source(c.path);
    const auto code = lf_airportCodeOfSource(source, tests_);
    EXPECT_EQ(code ? std::string(code->text()) : "", c.code) << c.path;
    EXPECT_TRUE(!c.message || messaged(c.message)) << c.path;
  }
  EXPECT_FALSE(gf_findIcaoCodeInText("EGLL", AirportCodeTests{gf_isKnownAirport, {}}));
  EXPECT_EQ(gf_findIcaoCodeInText("x-egll-kjfk", AirportCodeTests{[](IcaoCode c) { return c.text() == "KJFK"; },
                                                                   gf_isRTWeeklyAirport}),
            IcaoCode("KJFK"));
}

}  // namespace
