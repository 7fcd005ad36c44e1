#include "airportscan/archive_links.h"

#include <fmt/format.h>

#include "airportscan/scan_state.h"
#include "appbase/gui.h"
#include "core/text.h"

namespace {

int lf_compareNumbers(std::uint32_t a, std::uint32_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

// Blanks are escaped the way the maker's server names the publisher folders.
std::string lf_publisherFolder(const std::string& publisher) {
  std::string folder;
  for (const char c : publisher) folder += c == ' ' ? std::string("%20") : std::string(1, c);
  return folder;
}

}  // namespace

int gf_comparePackageVersions(const PackageVersion& a, const PackageVersion& b) {
  if (int c = lf_compareNumbers(a.major, b.major)) return c;
  if (int c = lf_compareNumbers(a.minor, b.minor)) return c;
  if (int c = lf_compareNumbers(a.patch, b.patch)) return c;
  if (a.isReleaseCandidate != b.isReleaseCandidate) return a.isReleaseCandidate ? -1 : 1;
  return a.isReleaseCandidate ? lf_compareNumbers(a.rc, b.rc) : 0;
}

ThirdPartyLookup gf_findThirdPartyArchive(IcaoCode code, const std::string& publisher, const std::string& version) {
  const ThirdPartyPublisher* archive = nullptr;
  for (const ThirdPartyPublisher& candidate : g_thirdPartyArchives) {
    if (candidate.publisher == publisher) {
      archive = &candidate;
      break;
    }
  }
  if (!archive) return {};

  const std::string codeText(code.text());
  const std::string wanted = version.empty() ? codeText : fmt::format("{}{}", codeText, gf_removeDots(version));
  const PackageVersion installed = gf_parsePackageVersion(version);
  bool exact = false;
  std::string chosen;
  const ThirdPartyAirportFile* highest = nullptr;
  PackageVersion highestVersion;
  for (const ThirdPartyAirportFile& file : archive->files) {
    if (file.file == wanted) {
      exact = true;
      chosen = file.file;
    }
    if (code.empty() || file.file.size() < 4 || file.file.compare(0, 4, codeText) != 0 || file.version.empty() ||
        !installed.valid)
      continue;
    const PackageVersion listed = gf_parsePackageVersion(file.version);
    if (!listed.valid) continue;
    const int order = gf_comparePackageVersions(listed, installed);
    if (order == 0 && !exact) {
      exact = true;
      chosen = file.file;
    } else if (order > 0 && (!highest || gf_comparePackageVersions(listed, highestVersion) > 0)) {
      highest = &file;
      highestVersion = listed;
    }
  }
  const std::string higher = highest ? highest->version : std::string();
  if (exact) return {highest ? 2u : 1u, chosen, higher};
  if (highest) return {3, {}, higher};
  return {};
}

std::optional<std::string> lf_simaddonArchiveLink(IcaoCode code) {
  const std::string codeText(code.text());
  if (g_simaddonAirports.contains(codeText)) return fmt::format("archive/simaddon/{}.enc", codeText);
  gf_addAirportScanMessage(fmt::format("{} does not exist as simaddon", code));
  return std::nullopt;
}

std::optional<std::string> lf_thirdPartyArchiveLink(const ScenerySource& source) {
  const std::string version = source.manifest ? source.manifest->version : std::string();
  const ThirdPartyLookup lookup = gf_findThirdPartyArchive(source.code, source.publisher, version);
  auto warn = [](const std::string& text) {
    gf_addAirportScanMessage(text);
    Gui::showMessage(text, true);
  };
  if (lookup.status == 2)
    warn(fmt::format("Warning: {} {} version {} is used; higher version {} is present in the archive",
                     source.publisher, source.code, version, lookup.higherVersion));
  if (lookup.status == 1 || lookup.status == 2)
    return fmt::format("archive/thirdparty/{}/{}.enc", lf_publisherFolder(source.publisher), lookup.file);
  if (lookup.status == 3)
    warn(fmt::format("Warning: {} {} version {} is not in the archive; higher version {} is present. The airport is "
                     "sent to TBLO",
                     source.publisher, source.code, version, lookup.higherVersion));
  gf_addAirportScanMessage(fmt::format("thirdparty {} {}{} does not exist", source.publisher, source.code,
                                       version.empty() ? std::string() : fmt::format(" version {}", version)));
  return std::nullopt;
}
