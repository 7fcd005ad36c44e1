#include "core/files.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cctype>
#include <exception>

#include "core/log.h"
#include "platform/os.h"

namespace fs = std::filesystem;

TempFileRemover::~TempFileRemover() {
  if (path.empty()) return;
  std::error_code ignored;
  fs::remove(path, ignored);
}

namespace {

template <typename Keep>
void lf_removeFiles(const fs::path& folder, const char* functionName, Keep keep) {
  try {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return;
    for (const auto& entry : fs::directory_iterator(folder)) {
      std::error_code typeError;
      if (!entry.is_regular_file(typeError) || !keep(entry.path())) continue;
      std::error_code removeError;
      if (!fs::remove(entry.path(), removeError) && removeError)
        gf_logWarning(fmt::format("Failed to remove {} ({})", entry.path().string(), removeError.message()));
    }
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("{} exception: {}", functionName, e.what()));
  }
}

}  // namespace

bool gf_hasExtensionNoCase(const fs::path& file, std::string_view extension) {
  const std::string ext = file.extension().string();
  return std::equal(ext.begin(), ext.end(), extension.begin(), extension.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

bool gf_moveFile(const fs::path& source, const fs::path& target) {
  std::error_code ec;
  fs::rename(source, target, ec);
  if (!ec) return true;
  if (!fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec)) {
    gf_logWarning(fmt::format("could not move {} => {}: {}", source.string(), target.string(), ec.message()));
    return false;
  }
  if (!fs::remove(source, ec)) {
    gf_logWarning(fmt::format("could not remove {} after copy: {}", source.string(),
                              ec ? ec.message() : std::string("not found")));
    return false;
  }
  return true;
}

void gf_removeFilesFromDirectory(const fs::path& folder) {
  lf_removeFiles(folder, "gf_removeFilesFromDirectory", [](const fs::path&) { return true; });
}

void gf_removeFilesFromDirectoryExcept(const fs::path& folder, std::span<const std::string_view> kept) {
  lf_removeFiles(folder, "gf_removeFilesFromDirectory", [kept](const fs::path& file) {
    const std::string name = file.filename().string();
    return std::find(kept.begin(), kept.end(), name) == kept.end();
  });
}

void gf_removeXMLFilesFromDirectory(const fs::path& folder) {
  lf_removeFiles(folder, "gf_removeXMLFilesFromDirectory",
                 [](const fs::path& file) { return gf_hasExtensionNoCase(file, ".xml"); });
}

namespace {

// The copy goes to a temporary beside the generation and is renamed over it only once whole: a
// full disk half-way leaves the older generation as it was. Empty when done, else why not.
std::string lf_copyWhole(const fs::path& file, const fs::path& generation) {
  fs::path temporary = generation;
  temporary += ".tmp";
  TempFileRemover remover(temporary);
  // A named pipe would hold the open until someone writes to it.
  std::error_code typeError;
  if (!fs::is_regular_file(file, typeError)) return "not a regular file";
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (!in) return os::errorText(errno);
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (!out) {
    const int code = errno;
    std::fclose(in);
    return os::errorText(code);
  }
  int code = 0;
  std::array<char, 1 << 16> buffer{};
  for (std::size_t got; code == 0 && (got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;)
    if (std::fwrite(buffer.data(), 1, got, out) != got) code = errno ? errno : EIO;
  if (code == 0 && std::ferror(in)) code = errno ? errno : EIO;
  if (std::fflush(out) != 0 && code == 0) code = errno;
  if (std::fclose(out) != 0 && code == 0) code = errno;
  std::fclose(in);
  if (code != 0) return os::errorText(code);
  std::error_code ec;
  fs::rename(temporary, generation, ec);
  if (ec) return ec.message();
  remover.path.clear();
  return {};
}

}  // namespace

bool gf_save1GenerationOf(const fs::path& file, std::string* failure) {
  auto fail = [failure](std::string text) {
    gf_logWarning(text);
    if (failure) *failure = std::move(text);
    return false;
  };
  if (!file.has_extension()) return fail(fmt::format("gf_save1GenerationOf: no extension in filename: {}", file.string()));
  fs::path generation = file.parent_path() / (file.stem().string() + "0" + file.extension().string());
  std::error_code ec;
  bool exists = fs::exists(file, ec);
  if (ec) return fail(fmt::format("exists({}): {}", file.string(), ec.message()));
  if (!exists) return true;
  errno = 0;
  if (std::string why = lf_copyWhole(file, generation); !why.empty())
    return fail(fmt::format("copy {} -> {} failed: {}", file.string(), generation.string(), why));
  return true;
}

std::size_t gf_countFilesInDirectory(const fs::path& folder, std::string_view extension) {
  if (!fs::exists(folder)) return 0;
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file() && (extension.empty() || entry.path().extension() == extension)) ++count;
  return count;
}

std::vector<IcaoCode> gf_icaoCodesOfXmlFiles(const fs::path& folder) {
  std::vector<IcaoCode> codes;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return codes;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::error_code typeError;
    if (!entry.is_regular_file(typeError) || !gf_hasExtensionNoCase(entry.path(), ".xml")) continue;
    const std::string stem = entry.path().stem().string();
    if (stem.size() == 4) codes.emplace_back(stem);
  }
  return codes;
}
