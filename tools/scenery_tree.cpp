#include "tools/scenery_tree.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <random>
#include <stdexcept>

#include "tools/bgl_generator.h"

namespace fs = std::filesystem;

namespace {

std::string lf_lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

void lf_write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

void lf_writeBytes(const fs::path& file, const bglgen::Bytes& bytes) {
  lf_write(file, std::string(bytes.begin(), bytes.end()));
}

// A scenery file of one airport section holding the airport record between two other records,
// and a section of another type before it.
bglgen::Bytes lf_airportBgl(const std::string& code, std::mt19937& random) {
  bglgen::AirportRecord airport{code, 400000 + static_cast<std::uint32_t>(random() % 100000), {}};
  std::uniform_real_distribution<double> offset(-0.01, 0.01);
  const double lat = 47.0 + offset(random);
  const double lon = 8.0 + offset(random);
  if (random() % 2) airport.subrecords.push_back(bglgen::Helipad{lat + 0.002, lon, 20.0f});
  bglgen::ParkingList parking;
  const auto stands = static_cast<std::uint32_t>(2 + random() % 7);
  for (std::uint32_t i = 1; i <= stands; ++i)
    parking.entries.push_back(bglgen::Parking{12, 10, i, 18.0f + static_cast<float>(random() % 20), 90.0f,
                                              lat + 0.0003 * i, lon, static_cast<std::uint32_t>(random() % 3)});
  airport.subrecords.push_back(bglgen::OtherSubrecord{0x19, 12});
  airport.subrecords.push_back(parking);
  bglgen::Section other{0x21, false, {}, {}};
  bglgen::Section section{3, random() % 2 == 0, {}, {}};
  section.blocks.push_back(bglgen::Block{{bglgen::plainRecordBytes(0x22, 16), bglgen::airportRecordBytes(airport),
                                          bglgen::plainRecordBytes(0x24, 8)},
                                         {}});
  return bglgen::build({other, section}).bytes;
}

std::string lf_manifest(const std::string& title, std::uint32_t version) {
  return fmt::format(R"({{"title": "{}", "package_version": "1.0.{}", "creator": "Generated Scenery Works",)"
                     R"( "manufacturer": "Generated Scenery Works", "content_type": "SCENERY"}})",
                     title, version);
}

void lf_writeExpected(const fs::path& file, std::vector<std::string>& lines) {
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  lf_write(file, text);
}

}  // namespace

void gf_writeAddonAirportPackage(const fs::path& folder, const std::string& code, std::uint32_t seed) {
  std::mt19937 random(seed);
  const fs::path package = folder / ("genworks-airport-" + lf_lower(code));
  lf_write(package / "manifest.json", lf_manifest(code + " Generated International", seed % 100));
  lf_writeBytes(package / "scenery" / "global" / (lf_lower(code) + "-genworks.bgl"), lf_airportBgl(code, random));
}

SceneryTreeSummary gf_writeSceneryTree(const SceneryTreeOptions& options) {
  SceneryTreeSummary summary;
  summary.msfs2020 = options.folder / "MSFS2020";
  summary.msfs2024 = options.folder / "MSFS2024";
  for (const char* root : {"Official", "Community"}) fs::create_directories(summary.msfs2020 / root);
  for (const char* root : {"Community", "StreamedPackages", "Official2024", "Community2024"})
    fs::create_directories(summary.msfs2024 / root);
  std::mt19937 random(options.seed);

  std::vector<std::string> addons = options.facilityCodes;
  addons.insert(addons.end(), options.bglCodes.begin(), options.bglCodes.end());
  for (const std::string& code : addons) {
    const std::uint32_t seed = static_cast<std::uint32_t>(random());
    for (const fs::path& install : {summary.msfs2020, summary.msfs2024})
      gf_writeAddonAirportPackage(install / "Community", code, seed);
    summary.packages += 2;
    summary.bglFiles += 2;
    summary.expected2020.push_back(fmt::format("my_thirdparty/{}.xml", code));
  }
  for (const std::string& code : options.facilityCodes) {
    const std::string lower = lf_lower(code);
    const fs::path official = summary.msfs2020 / "Official" / "OneStore" / ("asobo-airport-" + lower);
    lf_write(official / "manifest.json", lf_manifest(code + " by the makers", 1));
    lf_writeBytes(official / "scenery" / "world" / "airport.bgl", lf_airportBgl(code, random));
    fs::create_directories(summary.msfs2024 / "StreamedPackages" / fmt::format("asobo-airport-{}-makers", lower));
    summary.packages += 2;
    summary.bglFiles += 1;
    const bool linked = std::find(options.simaddonLinked.begin(), options.simaddonLinked.end(), code) !=
                        options.simaddonLinked.end();
    summary.expected2020.push_back(fmt::format("my_simaddon/{}.{}", code, linked ? "txt" : "xml"));
  }
  summary.expected2024 = summary.expected2020;

  if (!options.decoyCode.empty()) {
    const std::string lower = lf_lower(options.decoyCode);
    for (const fs::path& install : {summary.msfs2020, summary.msfs2024}) {
      lf_writeBytes(install / "Community" / "fs-base-genworks" / "scenery" / (lower + ".bgl"),
                    lf_airportBgl(options.decoyCode, random));
      lf_writeBytes(install / "Community" / "genworks-decoys" / "scenery" / "statics" / (options.decoyCode + ".bgl"),
                    lf_airportBgl(options.decoyCode, random));
      summary.packages += 2;
      summary.bglFiles += 2;
      if (!addons.empty()) {
        // A link back up to its own package: walked once, the second visit refused.
        const fs::path package = install / "Community" / ("genworks-airport-" + lf_lower(addons.front()));
        fs::create_directory_symlink("..", package / "scenery" / "loop");
      }
    }
    const fs::path streamed = summary.msfs2024 / "StreamedPackages";
    fs::create_directories(streamed / ("fs20-asobo-airport-" + lower + "-makers"));
    fs::create_directories(streamed / ("asobo-airport-" + lower + "-jetways"));
    // Below a package: a flat walk never sees it, a recursive one would read the file.
    lf_writeBytes(streamed / "genworks-streamed" / ("asobo-airport-" + lower + "-makers") / "scenery" / (lower + ".bgl"),
                  lf_airportBgl(options.decoyCode, random));
    summary.packages += 3;
    summary.bglFiles += 1;
  }
  lf_writeExpected(options.folder / "expected-2020.txt", summary.expected2020);
  lf_writeExpected(options.folder / "expected-2024.txt", summary.expected2024);
  return summary;
}
