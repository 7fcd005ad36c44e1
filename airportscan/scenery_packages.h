#pragma once
// Where an add-on airport comes from: the package manifest that describes it, the publisher it
// belongs to ("simaddon" for the simulator's own makers, else a canonical name from the
// archives data) and its ICAO code when the scenery data does not give one. Every finding is
// also a line of the scan message list.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/text.h"
#include "core/value_types.h"

inline constexpr std::uintmax_t kManifestSizeLimit = 0x400000;

// From a package's manifest.json; an absent or non-string member is an empty field.
struct ManifestInfo {
  std::string title;
  std::string version;  // "package_version", else "version"
  std::string manufacturer;
  std::string creator;
};

// One airport source under examination (a .bgl file or a package folder) and what the
// publisher decision and the code search find out about it; the scan copies it into the
// airport's stand-file record when it writes one.
struct ScenerySource {
  explicit ScenerySource(std::filesystem::path sourcePath)
      : path(std::move(sourcePath)), pathText(gf_pathToUtf8(path)) {}

  std::filesystem::path path;
  std::string pathText;  // UTF-8
  IcaoCode code;          // empty until known
  std::string publisher;  // "" until decided
  // Loaded by the first step that needs it; a rejected or too short maker value is cleared here.
  std::optional<ManifestInfo> manifest;
};

// The two tests a code found in a text must pass: the airports list, then this week's
// RealTraffic list. A test that is missing accepts nothing.
struct AirportCodeTests {
  std::function<bool(IcaoCode)> known;
  std::function<bool(IcaoCode)> weekly;
};

// None for a file that is too large (with a scan message), unreadable, empty or no JSON object.
std::optional<ManifestInfo> lf_readManifest(const std::filesystem::path& manifestPath);
// The nearest manifest.json in the file's folder or up to 11 folders above it. Never throws.
std::optional<ManifestInfo> gf_searchManifest(const std::filesystem::path& path);
// The manifest of a package known by its folder name ("fs24-" names tried without the prefix
// first), in the root folder or in one of its sub-folders.
std::optional<ManifestInfo> lf_findPackageManifest(const std::filesystem::path& packagePath,
                                                   const std::filesystem::path& root);

// The manufacturer, else the creator, has at least 4 characters and is not a rejected value.
bool lf_manifestHasUsableMaker(const ManifestInfo& manifest);

// Decides source.publisher from the path, the publisher groups or the manifest's maker values.
// True when decided. Never throws.
bool lf_detectPublisher(ScenerySource& source);
void lf_setPublisher(ScenerySource& source, const std::string& name);
// value is the manifest field itself: trimmed in place, and cleared when it is too short or
// rejected.
bool lf_publisherFromManifestValue(ScenerySource& source, std::string& value);

// The first 4-letter-or-digit token of the text (upper-cased, "FS24" skipped) that both tests
// accept.
std::optional<IcaoCode> gf_findIcaoCodeInText(const std::string& text, const AirportCodeTests& tests);
// The code from the source's path, its file stem or its manifest title. Never throws.
std::optional<IcaoCode> lf_airportCodeOfSource(ScenerySource& source, const AirportCodeTests& tests);
