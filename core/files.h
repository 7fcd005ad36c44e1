#pragma once
// File operations shared by the log, the scans and the data files. Problems are logged
// ("==> " lines) and reported by the result, not thrown, except where said.
#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/value_types.h"

// Removes its file when it goes out of scope, ignoring errors: a temporary file that a failed
// write leaves must not stay. An empty path removes nothing.
class TempFileRemover {
 public:
  explicit TempFileRemover(std::filesystem::path file) : path(std::move(file)) {}
  TempFileRemover(const TempFileRemover&) = delete;
  TempFileRemover& operator=(const TempFileRemover&) = delete;
  ~TempFileRemover();

  std::filesystem::path path;
};

bool gf_moveFile(const std::filesystem::path& source, const std::filesystem::path& target);
// Regular files directly in the folder; subfolders stay.
void gf_removeFilesFromDirectory(const std::filesystem::path& folder);
// The same, but the files named in kept stay (reports that their own step replaces once written).
void gf_removeFilesFromDirectoryExcept(const std::filesystem::path& folder, std::span<const std::string_view> kept);
void gf_removeXMLFilesFromDirectory(const std::filesystem::path& folder);
// Copies name.ext to name0.ext before the file is rewritten; true when nothing needed keeping.
// The copy replaces name0.ext only once it is whole. On false the logged line also goes to
// failure when given (the log itself may be what is being kept).
bool gf_save1GenerationOf(const std::filesystem::path& file, std::string* failure = nullptr);
// Throws std::filesystem::filesystem_error when the folder cannot be examined.
std::size_t gf_countFilesInDirectory(const std::filesystem::path& folder, std::string_view extension);

// Extension comparison without regard to ASCII case (".xml" matches ".XML").
bool gf_hasExtensionNoCase(const std::filesystem::path& file, std::string_view extension);

// Codes of the airport files directly in the folder: regular files "*.xml" (any case) whose
// stem has four characters, in directory order. A four-character stem that is no valid code
// throws std::invalid_argument; a missing folder gives none.
std::vector<IcaoCode> gf_icaoCodesOfXmlFiles(const std::filesystem::path& folder);
