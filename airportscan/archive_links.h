#pragma once
// The maker's archived stand file of an add-on airport: "archive/simaddon/<ICAO>.enc" for an
// airport the simulator's makers ship, "archive/thirdparty/<publisher>/<file>.enc" for an add-on
// publisher's, the file chosen by the code and the installed package version. An airport
// without a usable archived file gets no link (and a scan message saying why).
#include <cstdint>
#include <optional>
#include <string>

#include "airportscan/scenery_packages.h"
#include "core/value_types.h"

struct ThirdPartyLookup {
  std::uint32_t status = 0;   // 0 nothing usable, 1 exact file, 2 exact and a higher version, 3 only higher
  std::string file;           // the archived stem, for status 1 and 2
  std::string higherVersion;  // the highest archived version above the installed one, for 2 and 3
};

// Major, minor, patch; with those equal a release candidate is below the release, and two
// candidates go by their number. Both must be valid.
int gf_comparePackageVersions(const PackageVersion& a, const PackageVersion& b);

// The publisher's archived file for the code: named code + version without dots (or the code
// alone without a version), or listed for the code with the same version.
ThirdPartyLookup gf_findThirdPartyArchive(IcaoCode code, const std::string& publisher, const std::string& version);

// "archive/simaddon/<ICAO>.enc" when the makers ship the airport for this edition.
std::optional<std::string> lf_simaddonArchiveLink(IcaoCode code);
// By the source's code, publisher and manifest version; warns (scan message and status line)
// when the archive holds a higher version than the installed one.
std::optional<std::string> lf_thirdPartyArchiveLink(const ScenerySource& source);
