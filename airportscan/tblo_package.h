#pragma once
// The off-line learning package: after the scan, the generated stand files of the airports
// RealTraffic covers are gathered in the tblo folder and packed into tblo.zip beside
// "email address.txt", for the user to mail to the maker, who learns them off line.
//
// Runs on lf_main at the end of the scan body, while the scan folders hold only the scan's files.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

class ZipArchive;

// The .xml files of my_simaddon (all but VHHX) and my_thirdparty of this week's airports into
// tblo; a simaddon airport copied loses its link file.
void lf_copySimaddonFilesToTblo();
void lf_copyThirdpartyFilesToTblo();
// Packs what tblo holds; only a complete package sets tblo mode and shows the mail hint.
void lf_makeTbloPackage();

// Every regular file below the tblo folder into the archive at target, by its bare name. True
// only when every file went in and the archive was closed whole.
bool gf_zipFolder(const std::filesystem::path& target);
// Closes the archive and logs what it holds; true when it closed, has files and is not empty.
bool lf_closeZipAndReport(ZipArchive& archive, const std::filesystem::path& target, std::uint64_t count);
std::optional<std::vector<char>> lf_readWholeFile(const std::filesystem::path& path);
