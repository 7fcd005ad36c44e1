#pragma once
// Where airport stand files live and how one path leads to another: the file names of an airport
// code, the identity of an archived file (which the airport cache is keyed by) and the learned
// file that belongs to a stand file. Pure rules on paths; nothing here touches the disk.
//
//   archive/stock/, archive/simaddon/, archive/thirdparty/<publisher folder>/  (on the maker's server)
//   airports/my_thirdparty/, airports/my_simaddon/, airports/my_thirdparty2024/, airports/stock/
//   airports/learned/{stock, simaddon, my_simaddon, thirdparty/<publisher folder>}/
//
// An archived file is named <ICAO><version digits>.xml or .enc.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/value_types.h"

struct ArchiveIdentity {
  IcaoCode code;
  std::string publisher;  // "stock", "simaddon" or a thirdparty folder's decoded name
  std::string version;    // the file name's decimal digits, possibly empty
  friend bool operator==(const ArchiveIdentity&, const ArchiveIdentity&) = default;
};

// "<ICAO>.xml", ".enc", ".txt"; the bare extension for an empty code.
std::filesystem::path gf_icaoXmlName(IcaoCode code);
std::filesystem::path gf_icaoEncName(IcaoCode code);
std::filesystem::path gf_icaoTxtName(IcaoCode code);

// The identity of archive/{stock,simaddon}/<file> or archive/thirdparty/<folder>/<file>, folder
// names compared without regard to case; none for any other path (user folders never have one).
std::optional<ArchiveIdentity> lf_archiveIdentity(const std::filesystem::path& path);

// The learned file of a stand file (.enc becomes .xml), folder names compared exactly. The files
// of the user's thirdparty folders learn under the publisher's folder name. None when the path has
// no learned place or the publisher gives no usable folder name (a publisher that is no UTF-8 is
// logged).
std::optional<std::filesystem::path> lf_learnedPathFor(const std::filesystem::path& path, std::string_view publisher);

// Where a stand file of the publisher would lie, for a file read from outside the archive and
// airport folders: archive/stock/<file> for "stock", archive/simaddon/<file> for "simaddon"
// (exact text), airports/my_thirdparty/<file> for any other.
std::filesystem::path lf_learnedBasePath(std::string_view publisher, const std::filesystem::path& file);

// %XX escapes decoded; a '%' without two hex digits after it stays as it is.
std::string lf_percentDecode(std::string_view text);
// A publisher as a folder name: control bytes and < > : " / \ | ? * become blanks, the ends are
// trimmed, "." and ".." become empty. UTF-8 bytes stay.
std::string lf_safeFolderName(std::string_view publisher);
