#pragma once
// Archived airport stand files come from the maker's web server when an airport needs one: the
// server keeps one folder per simulator ("MSFS/", "MSFS2024/" under the downloads folder), and
// the file lands under a name of its own in the airports folder, for the caller to read and
// delete.
#include <filesystem>
#include <string>

struct DownloadedAirportFile {
  std::string error;                // not empty: nothing was fetched, and why
  std::filesystem::path localPath;  // the fetched copy
  bool fetched = false;             // the path lay under "archive" and was fetched
  bool encrypted = false;
};

// A path that does not begin with "archive" is no archive file: nothing is fetched and nothing
// is wrong (the caller reads its own copy). Nothing is asked of a server in maintenance. The park
// airport's copy and the others' have names of their own ("park_airport.*", "airport.*").
DownloadedAirportFile gf_downloadAirportFile(const std::filesystem::path& relativePath, bool parkAirport);

// Fetches one file onto localPath; the error text, shown and logged, or empty on success. A failed
// transfer leaves no file.
std::string lf_downloadStandFile(const std::filesystem::path& relativePath, const std::filesystem::path& localPath,
                                 bool encrypted);
