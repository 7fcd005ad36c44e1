#pragma once
// Where the chosen simulator keeps its packages (the folder holding Community and Official or
// Official2024), found from the per-user folders. The simulator's files lie outside the
// program: tests point JORV_APPDATA and JORV_LOCALAPPDATA at a fake installation tree.
// Discovery never throws; nothing found is an empty path.
#include <array>
#include <filesystem>
#include <optional>
#include <string_view>

std::filesystem::path gf_simPackageFamilyName();
std::filesystem::path gf_simAppDataFolderName();
std::array<std::filesystem::path, 4> gf_userCfgCandidates();
// The first candidate that exists in any form, else empty.
std::filesystem::path gf_findUserCfg();
// The InstalledPackagesPath of UserCfg.opt when it names an existing directory, else empty.
std::filesystem::path gf_readInstalledPackagesPath();
// A directory holding the directories Community and the chosen simulator's official folder.
bool gf_isPackagesFolder(const std::filesystem::path& folder);
std::filesystem::path gf_findPackagesFolder();
// The install-path option of the chosen simulator joined with the name, when that is a directory.
std::optional<std::filesystem::path> gf_simInstallSubfolder(std::string_view name);
