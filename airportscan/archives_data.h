#pragma once
// The archives data set ("archives.enc" in the input folder): the publisher groups, the
// manifest maker values that never name a publisher, the airports the simulator's makers ship
// and the add-on publishers' archived airport files. Loaded into the tables of scan_state.h at
// the start of each airport scan and asked on the scan's thread only.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "refdata/enc_file.h"  // kArchivesPlainLimit

// Loads all four tables for the chosen edition. False, after a warning, for text that is no
// XML or has no "root"; throws std::runtime_error for a missing or undecryptable file and
// jrv::UserRelatedException 61 for a missing "simaddons20"/"simaddons24" section.
bool gf_readArchivesData(bool msfs2020);

// The value, trimmed and lower-cased, is a rejected maker value; never for an empty value.
bool gf_isRejectedManifestPublisher(std::string_view value);

struct PublisherMatch {
  std::uint8_t status = 1;  // 0 found, 1 no group matches, 2 empty text
  std::string publisher;    // the group's canonical name when found
};
// The first group, in stored order, one of whose names the text contains (letters compared
// without case).
PublisherMatch gf_findPublisherInText(const std::string& text);

// The path's UTF-8 text contains the needle, every byte compared after tolower.
bool gf_pathContainsNoCase(const std::filesystem::path& path, std::string_view needle);
