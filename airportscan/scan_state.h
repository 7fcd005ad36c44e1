#pragma once
// The airport scan's program-wide tables, kept together with their one reset: the archives data
// (loaded at the start of each scan) and the scan message list (written to the scan log at its
// end). Only the thread that runs the scan touches them, so nothing here takes a lock.
#include <array>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

// An airport file stem as the archive lists it (a code, possibly followed by a version
// without dots) and its version; empty when the archive gives none.
struct ThirdPartyAirportFile {
  std::string file;
  std::string version;
  friend bool operator==(const ThirdPartyAirportFile&, const ThirdPartyAirportFile&) = default;
};

// One add-on publisher of the archive and its airport files, in listed order.
struct ThirdPartyPublisher {
  std::string publisher;
  std::vector<ThirdPartyAirportFile> files;
};

// Publisher groups in the byte order of the texts they came from; the first name of a group
// is the publisher's canonical name.
extern std::vector<std::vector<std::string>> g_publisherGroups;
// Manifest maker values that never decide a publisher: trimmed lower-case key -> first spelling.
extern std::map<std::string, std::string> g_rejectedManifestPublishers;
// The airports that the simulator's makers ship for the chosen edition.
extern std::set<std::string> g_simaddonAirports;
extern std::vector<ThirdPartyPublisher> g_thirdPartyArchives;

// One line per finding of the scan; the whole list goes into the scan log.
extern std::vector<std::string> g_airportScanMessages;
void gf_addAirportScanMessage(const std::string& line);

// output/info/AirportsScanLog.txt
const std::filesystem::path& gf_airportsScanLogPath();
// The message list into the scan log (its folder made when missing); false when it failed.
bool gf_writeAirportScanLog();
// The same during a walk, where it follows every failed read: only the lines the log lacks are
// appended, so that a walk of many failures does not rewrite an ever longer file each time.
bool gf_updateAirportScanLog();

// The names of the files the running scan has put into my_simaddon and my_thirdparty.
extern std::array<std::set<std::string>, 2> g_scanFolderFiles;

class AirportScanTransaction;
// The transaction of the scan that runs, while it runs: an airport whose read failed gets its
// previous file back from it. Null outside a scan.
extern AirportScanTransaction* g_airportScanTransaction;

// Restart and tests: every table above emptied.
void gf_resetAirportScanState();
