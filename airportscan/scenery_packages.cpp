#include "airportscan/scenery_packages.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cctype>
#include <regex>
#include <span>
#include <variant>
#include <vector>

#include "airportscan/archives_data.h"
#include "airportscan/scan_state.h"
#include "core/text_file.h"

namespace fs = std::filesystem;

namespace {

constexpr int kManifestSearchLevels = 12;

std::string lf_stringMember(const nlohmann::json& object, const char* name) {
  const auto member = object.find(name);
  return member != object.end() && member->is_string() ? member->get<std::string>() : std::string();
}

bool lf_namesSimulatorMaker(std::string_view text) {
  return gf_containsNoCase(text, "Microsoft") || gf_containsNoCase(text, "Asobo");
}

// The maker value is usable: long enough and not rejected by the archives data.
bool lf_usableMakerValue(const std::string& value) {
  const std::string trimmed = gf_trim(value);
  return trimmed.size() >= 4 && !gf_isRejectedManifestPublisher(trimmed);
}

// Loaded once the source needs it; stays absent when no manifest governs the path.
const std::optional<ManifestInfo>& lf_manifestOf(ScenerySource& source) {
  if (!source.manifest) source.manifest = gf_searchManifest(source.path);
  return source.manifest;
}

bool lf_isCodeText(std::string_view text) {
  if (text.size() != 4) return false;
  for (const char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

}  // namespace

std::optional<ManifestInfo> lf_readManifest(const fs::path& manifestPath) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(manifestPath, error);
  if (!error && size > kManifestSizeLimit) {
    gf_addAirportScanMessage(
        fmt::format("Ignoring manifest larger than {} bytes: '{}'", kManifestSizeLimit, gf_pathToUtf8(manifestPath)));
    return std::nullopt;
  }
  TextFile file{manifestPath, {}};
  const auto read = file.readLines(4096);
  const auto* lines = std::get_if<std::span<const std::string>>(&read);
  if (!lines || lines->empty()) return std::nullopt;
  std::string text;
  text.reserve(16384);
  for (const std::string& line : *lines) text += line;
  const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (!json.is_object()) return std::nullopt;
  ManifestInfo manifest;
  manifest.version = lf_stringMember(json, "package_version");
  if (manifest.version.empty()) manifest.version = lf_stringMember(json, "version");
  manifest.title = lf_stringMember(json, "title");
  manifest.manufacturer = lf_stringMember(json, "manufacturer");
  manifest.creator = lf_stringMember(json, "creator");
  return manifest;
}

std::optional<ManifestInfo> gf_searchManifest(const fs::path& path) {
  try {
    fs::path folder = path.parent_path();
    for (int level = 0; level < kManifestSearchLevels && !folder.empty(); ++level) {
      const fs::path manifest = folder / "manifest.json";
      if (fs::is_regular_file(manifest)) return lf_readManifest(manifest);
      fs::path parent = folder.parent_path();
      if (parent == folder) break;
      folder = std::move(parent);
    }
  } catch (const std::exception& e) {
    gf_addAirportScanMessage(fmt::format("Exception in gf_searchManifest for '{}': {}", gf_pathToUtf8(path), e.what()));
  }
  return std::nullopt;
}

std::optional<ManifestInfo> lf_findPackageManifest(const fs::path& packagePath, const fs::path& root) {
  const std::string full = gf_pathToUtf8(packagePath);
  const std::size_t slash = full.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
  if (name.empty() || root.empty()) return std::nullopt;
  std::vector<std::string> candidates;
  if (name.starts_with("fs24-") && name.size() > 5) candidates.push_back(name.substr(5));
  candidates.push_back(name);

  auto manifestIn = [&candidates](const fs::path& folder) -> std::optional<fs::path> {
    for (const std::string& candidate : candidates) {
      std::error_code error;
      fs::path manifest = folder / candidate / "manifest.json";
      if (fs::is_regular_file(manifest, error)) return manifest;
    }
    return std::nullopt;
  };
  if (const auto manifest = manifestIn(root)) return lf_readManifest(*manifest);
  std::error_code error;
  for (fs::directory_iterator entry(root, fs::directory_options::skip_permission_denied, error), end;
       !error && entry != end; entry.increment(error)) {
    std::error_code typeError;
    if (!entry->is_directory(typeError)) continue;
    if (const auto manifest = manifestIn(entry->path())) return lf_readManifest(*manifest);
  }
  return std::nullopt;
}

bool lf_manifestHasUsableMaker(const ManifestInfo& manifest) {
  return lf_usableMakerValue(manifest.manufacturer) || lf_usableMakerValue(manifest.creator);
}

void lf_setPublisher(ScenerySource& source, const std::string& name) {
  source.publisher = lf_namesSimulatorMaker(name) ? std::string("simaddon") : name;
  gf_addAirportScanMessage(fmt::format("publisher '{}'", source.publisher));
}

bool lf_publisherFromManifestValue(ScenerySource& source, std::string& value) {
  value = gf_trim(value);
  if (value.size() <= 2) {
    value.clear();
    return false;
  }
  if (gf_isRejectedManifestPublisher(value)) {
    gf_addAirportScanMessage(fmt::format("manifest publisher value '{}' rejected by archives data", value));
    value.clear();
    return false;
  }
  if (lf_namesSimulatorMaker(value)) {
    lf_setPublisher(source, value);
    return true;
  }
  const PublisherMatch match = gf_findPublisherInText(value);
  if (match.status != 0) return false;
  lf_setPublisher(source, match.publisher);
  return true;
}

bool lf_detectPublisher(ScenerySource& source) {
  try {
    source.publisher.clear();
    if (gf_containsNoCase(source.pathText, "microsoft-airport") || gf_containsNoCase(source.pathText, "asobo-airport")) {
      source.publisher = "simaddon";
      gf_addAirportScanMessage(fmt::format("publisher: {}", source.publisher));
      return true;
    }
    const PublisherMatch match = gf_findPublisherInText(source.pathText);
    if (match.status == 0) {
      lf_setPublisher(source, match.publisher);
      return true;
    }
    if (!lf_manifestOf(source)) return false;
    if (lf_publisherFromManifestValue(source, source.manifest->manufacturer)) return true;
    return lf_publisherFromManifestValue(source, source.manifest->creator);
  } catch (const std::exception& e) {
    gf_addAirportScanMessage(fmt::format("Publisher detection failed: {}", e.what()));
    return false;
  }
}

std::optional<IcaoCode> gf_findIcaoCodeInText(const std::string& text, const AirportCodeTests& tests) {
  static const std::regex token("(?:^|[^A-Z0-9])([A-Z0-9]{4})(?=$|[^A-Z0-9])", std::regex::ECMAScript);
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (std::sregex_iterator match(upper.begin(), upper.end(), token), end; match != end; ++match) {
    const std::string candidate = (*match)[1].str();
    if (candidate == "FS24") continue;
    const std::optional<IcaoCode> code = gf_optionalIcaoCode(candidate);
    if (code && tests.known && tests.weekly && tests.known(*code) && tests.weekly(*code)) return code;
  }
  return std::nullopt;
}

std::optional<IcaoCode> lf_airportCodeOfSource(ScenerySource& source, const AirportCodeTests& tests) {
  try {
    if (const auto code = gf_findIcaoCodeInText(source.pathText, tests)) {
      gf_addAirportScanMessage(fmt::format("airport has code '{}' in BGL path", *code));
      return code;
    }
    const std::string stem = gf_pathToUtf8(source.path.stem());
    if (lf_isCodeText(stem)) {
      // The stem needs only this week's list: a file named by its code is trusted further.
      const IcaoCode code(stem);
      if (tests.weekly && tests.weekly(code)) {
        gf_addAirportScanMessage(fmt::format("airport has code '{}' in stem", code));
        return code;
      }
    }
    if (!lf_manifestOf(source)) return std::nullopt;
    if (const auto code = gf_findIcaoCodeInText(source.manifest->title, tests)) {
      gf_addAirportScanMessage(fmt::format("airport has code '{}' in title of manifest", *code));
      return code;
    }
  } catch (const std::exception& e) {
    gf_addAirportScanMessage(fmt::format("Exception {}", e.what()));
  }
  return std::nullopt;
}
