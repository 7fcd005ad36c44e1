#pragma once
// The program update: the new installer from the maker's web server, checked against the
// published version, put with its release notes and a read-me into new_version beside the
// program, the folder shown to the user, and the "NEW VERSION" stop. The program never runs
// the installer itself.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/value_types.h"

inline constexpr std::int32_t kProgramUpdateErrorCode = 112;
inline constexpr std::string_view kProgramUpdateFailedText =
    "The downloading/unzipping of the new version failed? Try manually via the Tavorine website";

inline constexpr std::uint64_t kMaxInstallerBytes = 1073741824;  // 1 GiB

struct ProgramUpdateSetup {
  std::filesystem::path programFolder;  // the program's own folder; new_version goes inside it
  // Opens the desktop's file manager at a folder (File Explorer); default os::shellOpen.
  std::function<bool(const std::filesystem::path& folder)> openFolder;
  // A modal message box with the exclamation icon; none: the status line and the log suffice.
  std::function<void(std::string_view text, std::string_view title)> messageBox;
  // Folders where a program installation needs an administrator to change (Program Files);
  // empty: the platform's.
  std::vector<std::filesystem::path> programFilesFolders;
  // Whether this process runs with administrator rights; the platform never does.
  bool elevated = false;
};

// Entered from the update check with the published version: false once the installer waits in
// new_version and the "NEW VERSION" stop is requested. Throws jrv::UserRelatedException 112
// when the installer could not be fetched or checked.
bool gf_updateProgram(const VersionData& webVersion, const ProgramUpdateSetup& setup);

// The product version that an executable carries in itself: the fixed file information of its
// Windows version resource (VS_VERSION_INFO, signature 0xFEEF04BD): major = high word of the
// product version's most significant double word, minor = its low word, patch = high word of
// the least significant double word. Logs a warning and gives nothing when there is none.
std::optional<VersionData> gf_readExecutableProductVersion(const std::filesystem::path& file);

// The read-me's advice about administrator rights for a program in the given folder.
std::string gf_installerRightsMessage(const std::filesystem::path& folder,
                                      const std::vector<std::filesystem::path>& programFilesFolders,
                                      bool elevated);
