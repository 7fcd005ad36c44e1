#pragma once
// Archived airport stand files come from the maker's web server when an airport needs one: the
// server keeps one folder per simulator ("MSFS/", "MSFS2024/" under the downloads folder), and
// the file lands under a name of its own in the airports folder, for the caller to read and
// delete.
#include <cstddef>
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

// The park airport's archived stand file, fetched on a thread of its own so that the worker's
// tick never waits on the maker's server. Worker only.
enum class ParkFileFetch { running, ready };
// Starts the fetch of relativePath unless one for it runs or waits (one for another path is
// dropped); ready once its result is in.
ParkFileFetch gf_fetchParkAirportFile(const std::filesystem::path& relativePath);
// The result of the fetch of relativePath once ready; the fetch is forgotten.
DownloadedAirportFile gf_takeParkAirportFile(const std::filesystem::path& relativePath);
// A fetch in flight or waiting is forgotten and its download broken off; its copy is removed
// once it ends. Its thread is joined later, never waited for here.
void gf_dropParkAirportFetch();
// The end of a run: every fetch broken off and its thread joined, the closest-airport check's too. The wait is at most about a
// second, whatever the server does.
void gf_joinParkAirportFetches();
// Fetch threads not joined yet (tests).
std::size_t gf_parkAirportFetchThreads();
