#include "refdata/program_update.h"

#include <fmt/format.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "appbase/stop_request.h"
#include "core/log.h"
#include "core/program.h"
#include "core/text.h"
#include "core/text_file.h"
#include "core/user_exception.h"
#include "core/user_message.h"
#include "platform/os.h"
#include "refdata/downloader.h"
#include "refdata/zip_archive.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNewVersionFolder = "new_version";
constexpr std::string_view kArchiveName = "latest_version.zip";
constexpr std::string_view kInstallerName = "install_new_version.exe";
constexpr std::string_view kReleaseNotesName = "ReleaseNotes.pdf";
// Far above what the installer and its notes weigh; a server sending more is not ours.
constexpr std::uint64_t kMaxArchiveBytes = 512ull << 20;
constexpr std::uint64_t kMaxReleaseNotesBytes = 64ull << 20;
// Prefix of the archive's name in the server's release folder; the name is JORV_latest_version.zip.
constexpr std::string_view kReleaseBase = "";
constexpr std::size_t kUnzipChunkBytes = 524288;

// Windows' fixed file information block: 13 double words, signature first.
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::size_t kFixedFileInfoBytes = 52;
// VS_VERSIONINFO: wLength, wValueLength, wType, then the key "VS_VERSION_INFO" in UTF-16 with its
// terminating zero (32 bytes), padded to a double word: the fixed block starts 40 bytes in.
constexpr std::size_t kVersionInfoKeyOffset = 6;
constexpr std::size_t kFixedInfoOffset = 40;
constexpr std::size_t kVersionInfoNeed = kFixedInfoOffset + kFixedFileInfoBytes;

std::string lf_versionInfoKey() {
  std::string key;
  for (char c : std::string_view("VS_VERSION_INFO")) {
    key.push_back(c);
    key.push_back('\0');
  }
  key.append(2, '\0');
  return key;
}

std::uint32_t lf_le16(const char* p) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(p[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(p[1])) << 8;
}
std::uint32_t lf_le32(const char* p) { return lf_le16(p) | lf_le16(p + 2) << 16; }

// The version resource's block starting at block, when it is one: value length and signature.
std::optional<VersionData> lf_fixedFileInfoVersion(const char* block) {
  if (lf_le16(block + 2) < kFixedFileInfoBytes) return std::nullopt;
  const char* fixed = block + kFixedInfoOffset;
  if (lf_le32(fixed) != kFixedFileInfoSignature) return std::nullopt;
  const std::uint32_t productMs = lf_le32(fixed + 16);
  const std::uint32_t productLs = lf_le32(fixed + 20);
  return VersionData(productMs >> 16, productMs & 0xFFFF, productLs >> 16);
}

std::optional<VersionData> lf_readInstallerProductVersion(const fs::path& installer) {
  return gf_readExecutableProductVersion(installer);
}

bool lf_prepareNewVersionFolder(const fs::path& newVersion) {
  std::error_code ec;
  fs::remove_all(newVersion, ec);
  if (ec) {
    gf_logWarning(fmt::format("Could not empty new-version folder: {}", ec.message()));
    return false;
  }
  fs::create_directory(newVersion, ec);
  if (ec) {
    gf_logWarning(fmt::format("Could not create new-version folder: {}", ec.message()));
    return false;
  }
  return true;
}

// The archive's one file written to installer; a failed or short write leaves no installer.
bool lf_extractInstaller(const fs::path& zip, const fs::path& installer) {
  ZipArchive archive;
  if (!archive.openRead(zip)) {
    gf_logWarning(fmt::format("Could not open {}", gf_pathToUtf8(zip)));
    return false;
  }
  std::vector<ZipEntry> files;
  for (auto& entry : archive.getEntries()) {
    if (!entry.isFolder()) files.push_back(std::move(entry));
  }
  if (files.size() != 1) {
    gf_logWarning(fmt::format("Update archive contains {} files instead of exactly one", files.size()));
    return false;
  }
  const ZipEntry& entry = files.front();
  if (entry.size < 1 || entry.size > kMaxInstallerBytes) {
    gf_logWarning(fmt::format("Invalid installer size in update archive: {} bytes", entry.size));
    return false;
  }
  std::ofstream out(installer, std::ios::binary | std::ios::trunc);
  if (!out) {
    gf_logWarning(fmt::format("Could not create output file {}", gf_pathToUtf8(installer)));
    return false;
  }
  const int result = archive.readContent(entry, out, kUnzipChunkBytes);
  out.flush();
  const bool good = out.good();
  out.close();
  std::error_code ec;
  const std::uintmax_t written = fs::file_size(installer, ec);
  const std::uintmax_t actual = ec ? 0 : written;
  if (result == 0 && good && !ec && actual == entry.size) {
    gf_log(fmt::format("{} unzipped to {}", entry.name, gf_pathToUtf8(installer)));
    return true;
  }
  gf_logWarning(fmt::format("Unzipping failed or produced an incomplete installer (result {}, expected {}, actual {})",
                            result, entry.size, actual));
  fs::remove(installer, ec);
  return false;
}

// Into new_version through a ".part" name, so the folder never shows half an installer.
bool lf_moveInstaller(const fs::path& installer, const fs::path& newVersion) {
  const fs::path final = newVersion / installer.filename();
  fs::path part = final;
  part += ".part";
  std::error_code ec;
  fs::remove(part, ec);
  fs::remove(final, ec);

  const std::uintmax_t size = fs::file_size(installer, ec);
  if (ec) {
    gf_log(fmt::format("file_size({}) failed: {}", gf_pathToUtf8(installer), ec.message()));
    return false;
  }
  fs::rename(installer, part, ec);
  if (ec) {
    gf_log(fmt::format("could not rename {} => {}: {}", gf_pathToUtf8(installer), gf_pathToUtf8(part), ec.message()));
    return false;
  }
  auto dropPart = [&part] {
    std::error_code ignored;
    fs::remove(part, ignored);
  };
  const std::uintmax_t partSize = fs::file_size(part, ec);
  if (ec) {
    gf_log(fmt::format("file_size({}) failed: {}", gf_pathToUtf8(part), ec.message()));
    dropPart();
    return false;
  }
  if (partSize != size) {
    gf_log(fmt::format("rename {} => {} suspicious: size {} != {}", gf_pathToUtf8(installer), gf_pathToUtf8(part),
                       partSize, size));
    dropPart();
    return false;
  }
  fs::rename(part, final, ec);
  if (ec) {
    gf_log(
        fmt::format("could not finalize rename {} => {}: {}", gf_pathToUtf8(part), gf_pathToUtf8(final), ec.message()));
    dropPart();
    return false;
  }
  if (fs::exists(installer, ec)) {
    fs::remove(installer, ec);
    if (ec) gf_logWarning(fmt::format("Warning: could not remove extracted: {}", ec.message()));
  }
  return true;
}

bool lf_downloadInstaller(const VersionData& w, const fs::path& programFolder) {
  const fs::path newVersion = programFolder / kNewVersionFolder;
  const fs::path installer = programFolder / kInstallerName;
  const fs::path zip = programFolder / kArchiveName;

  if (!lf_prepareNewVersionFolder(newVersion)) return false;
  std::error_code ec;
  fs::remove(installer, ec);
  if (ec) {
    gf_logWarning(fmt::format("Could not remove stale installer '{}': {}", gf_pathToUtf8(installer), ec.message()));
    return false;
  }

  const std::string url = fmt::format("{}release/{}{}_{}", gf_makerBaseUrl(), kReleaseBase, g_programName, kArchiveName);
  bool extracted = false;
  CurlHandle handle = gf_newTransferHandle();
  if (!gf_downloadFile(handle.get(), url, zip, true, kMaxArchiveBytes)) {
    gf_showUserMessage(fmt::format("Downloading program installer file version {} failed", w), true);
  } else {
    gf_log(fmt::format("Downloaded {} => {}", url, gf_pathToUtf8(zip)));
    extracted = lf_extractInstaller(zip, installer);
  }
  fs::remove(zip, ec);
  if (ec) gf_logWarning(fmt::format("Warning: could not remove downloaded zip: {}", ec.message()));

  if (!extracted || !fs::is_regular_file(installer, ec)) {
    gf_logWarning(fmt::format("{} does not exists?", gf_pathToUtf8(installer)));
    return false;
  }

  const std::optional<VersionData> v = lf_readInstallerProductVersion(installer);
  if (!v || *v != w) {
    if (!v) {
      gf_logWarning("Downloaded installer has no readable ProductVersion");
    } else {
      gf_logWarning(fmt::format("Downloaded installer ProductVersion {} does not match web version {}", *v, w));
    }
    fs::remove(installer, ec);
    return false;
  }
  gf_log(fmt::format("Downloaded installer ProductVersion {} verified", *v));
  return lf_moveInstaller(installer, newVersion);
}

// Like the shell's "open" of a file: shows the folder that holds it, when the file is there.
bool lf_shellOpenFolderOf(const fs::path& file, const ProgramUpdateSetup& setup) {
  std::error_code ec;
  if (!fs::exists(file, ec)) return false;
  const fs::path folder = file.parent_path();
  return setup.openFolder ? setup.openFolder(folder) : os::shellOpen(folder);
}

// Where system-wide programs live here, standing in for Program Files and Program Files (x86).
std::vector<fs::path> lf_platformProgramFilesFolders() { return {"/opt", "/usr"}; }

// A whole-component prefix: "/opt" holds "/opt/jorv" but not "/optional".
bool lf_isInside(const fs::path& folderPath, const fs::path& parentPath) {
  const fs::path folder = folderPath.lexically_normal();
  const fs::path parent = parentPath.lexically_normal();
  auto f = folder.begin();
  for (const auto& part : parent) {
    if (part.empty()) continue;  // the trailing "" of "/opt/"
    if (f == folder.end() || *f != part) return false;
    ++f;
  }
  return true;
}

bool lf_folderIsWritable(const fs::path& folder) {
  const fs::path probe = folder / ".write_test.tmp";
  std::FILE* file = std::fopen(probe.c_str(), "wb");
  if (!file) return false;
  const bool wrote = std::fputc('x', file) != EOF && std::fflush(file) == 0;
  std::fclose(file);
  std::error_code ec;
  fs::remove(probe, ec);
  return wrote;
}

}  // namespace

std::optional<VersionData> gf_readExecutableProductVersion(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    gf_logWarning(fmt::format("Could not read ProductVersion size from '{}': error {}", gf_pathToUtf8(file), errno));
    return std::nullopt;
  }
  // Scanned in pieces: an installer can be large, and its resources sit anywhere in it.
  const std::string key = lf_versionInfoKey();
  constexpr std::size_t kPiece = 1 << 20;
  const std::size_t keep = kVersionInfoNeed + 8;  // a block cut at a piece's end is seen whole next time
  std::string window;
  std::vector<char> piece(kPiece);
  bool atEnd = false;
  while (!atEnd) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    if (in.bad()) {
      gf_logWarning(fmt::format("Could not read ProductVersion from '{}': error {}", gf_pathToUtf8(file), errno));
      return std::nullopt;
    }
    atEnd = in.eof() || got == 0;
    window.append(piece.data(), got);
    std::size_t searchFrom = 0;
    for (;;) {
      const std::size_t at = window.find(key, searchFrom);
      if (at == std::string::npos) break;
      searchFrom = at + 1;
      if (at < kVersionInfoKeyOffset) continue;  // no room for the block's head: not a resource
      const std::size_t block = at - kVersionInfoKeyOffset;
      if (window.size() - block < kVersionInfoNeed) break;  // finish it with the next piece
      if (auto version = lf_fixedFileInfoVersion(window.data() + block)) return version;
    }
    if (window.size() > keep) window.erase(0, window.size() - keep);
  }
  gf_logWarning(fmt::format("Invalid ProductVersion data in '{}'", gf_pathToUtf8(file)));
  return std::nullopt;
}

std::string gf_installerRightsMessage(const fs::path& folder, const std::vector<fs::path>& programFilesFolders,
                                      bool elevated) {
  const std::vector<fs::path> roots = programFilesFolders.empty() ? lf_platformProgramFilesFolders() : programFilesFolders;
  bool inProgramFiles = false;
  for (const auto& root : roots) {
    inProgramFiles = inProgramFiles || lf_isInside(folder, root);
  }
  if (inProgramFiles && !lf_folderIsWritable(folder) && !elevated) {
    return "A new version is available. Run the installer as Administrator";
  }
  return "A new version is available.\nThe installer can be executed normally (no Administrator rights required).";
}

bool gf_updateProgram(const VersionData& w, const ProgramUpdateSetup& setup) {
  std::error_code ec;
  const fs::path programFolder = setup.programFolder.empty() ? fs::current_path(ec) : setup.programFolder;
  if (ec || !lf_downloadInstaller(w, programFolder)) {
    throw jrv::UserRelatedException(kProgramUpdateErrorCode, kProgramUpdateFailedText);
  }
  const fs::path newVersion = programFolder / kNewVersionFolder;

  const std::string notesUrl = fmt::format("{}docs/{}", gf_makerBaseUrl(), kReleaseNotesName);
  const fs::path notes = newVersion / kReleaseNotesName;
  CurlHandle handle = gf_newTransferHandle();
  if (!gf_downloadFile(handle.get(), notesUrl, notes, true, kMaxReleaseNotesBytes)) {
    gf_logWarning(fmt::format("could not download {} to {}", notesUrl, gf_pathToUtf8(notes)));
  }

  const fs::path absoluteFolder = fs::absolute(programFolder, ec);
  const std::string rights = gf_installerRightsMessage(ec ? programFolder : absoluteFolder,
                                                       setup.programFilesFolders, setup.elevated);
  const std::string readMe = fmt::format("Deze installer installeert {} {}.\n\n{}", g_programName, w, rights);
  gf_log(readMe);
  if (!gf_writeStringToFile(readMe, newVersion / "README.txt", true)) {
    gf_logWarning(fmt::format("Could not write {}", gf_pathToUtf8(newVersion / "README.txt")));
  }

  bool opened = false;
  if (ec) {
    gf_logWarning(fmt::format("Could not determine current folder: {}", ec.message()));
  } else if (lf_shellOpenFolderOf(absoluteFolder / kNewVersionFolder / kInstallerName, setup)) {
    opened = true;
  } else if (setup.messageBox) {
    setup.messageBox("Could not open File Explorer at new version", g_programName);
  }
  if (!opened) {
    gf_showUserMessage("Opening file explorer at the new version failed? Try manually via the Tavorine website.",
                       true);
  }
  gf_requestStop(StopReason::NewVersion, 0);
  return false;
}
