#pragma once
// Registration codes of installed liveries: the registrations written in the liveries
// themselves, then the AIG registration-code file and the user's my_regcodes files merged over
// them (user codes win), and the special liveries that belong to their registrations alone.
// Built during gf_processScannedLiveries; read-only afterwards. Worker thread only.
//
// The same files name liveries not to be used at all (entries without codes); the scan reads
// those through the two don't-use readers below.
#include <filesystem>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "liveries/livery.h"
#include "refdata/aig_regcodes.h"

// Registration -> title view (one title per registration).
extern std::unordered_map<std::string, std::string_view, Fnv1aHash, std::equal_to<>> g_regcodeTitles;
// Title -> registration, from the in-line registrations only.
extern std::unordered_map<std::string, std::string, Fnv1aHash, std::equal_to<>> g_titleRegcodes;
// Liveries bound to their registrations: the random choice leaves them out.
extern TitleViewSet g_specialTitles;
// Registrations of special entries with exactly one code.
extern std::set<std::string, std::less<>> g_uniqueRegcodes;
// Lines of output/info/OfflineRegcodes.txt.
extern std::vector<std::string> g_regcodeReport;
// Titles the scan drops.
extern TextSet g_dontUseTitles;

// Registrations of g_scannedLiveries; clashes go to output/errors/InlineRegcodes.txt.
void lf_processInlineRegcodes();
// The AIG file, then the my_regcodes folder; never throws.
void lf_processOfflineRegcodes();
void lf_processAigRegcodeFile(const std::filesystem::path& path);
void lf_processRegcodeFolder();
void lf_mergeRegcode(std::span<const RegcodeEntry> entries);

// Entries without codes into g_dontUseTitles: of the AIG file, and of the my_regcodes folder.
void gf_readDontUseTitles(const std::filesystem::path& path);
void gf_readDontUseTitlesFolder();
