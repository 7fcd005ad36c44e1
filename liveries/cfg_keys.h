#pragma once
// The grammar of aircraft.cfg as the livery scan reads it: one "key = value" per line, the key
// in any ASCII case, the value cleaned of its double quotes; and the [fltsim.N] section headers.
//
// Every pattern is matched by hand in one pass over the line, without backtracking or
// recursion: a line of any length costs time in proportion to it and nothing on the stack
// (a regex engine that recurses per character overflows on a title of some ten thousand
// characters).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

// The value of a line that is, as a whole, "key = value" with blanks allowed around the key,
// the '=' and the value (the pattern \s*(key)\s*=\s*(.*\S)\s*, key without regard to case):
// the value from its first to its last non-blank character; empty when the line is no such pair.
std::string_view lf_regexValue(std::string_view line, std::string_view key);

// Each sets the value only when the line holds one (cleaned, by the key's own rule, not empty).
bool lf_readTitleKey(std::string_view line, std::string& value);
bool lf_readTextureKey(std::string_view line, std::string& value);
bool lf_readAtcIdKey(std::string_view line, std::string& value);       // 5 characters or more
bool lf_readIcaoAirlineKey(std::string_view line, std::string& value);  // "" and "ZZZZ" give "ZZZ"; upper case
bool lf_readParkingTypesKey(std::string_view line, std::string& value);
// The model of a base container the table knows ("..\Asobo_A320_NEO" gives "A20N"); else empty.
std::string lf_readBaseContainerModel(std::string_view line);
// At most 4 characters, upper case; empty when the line has none.
std::string lf_readIcaoTypeDesignator(std::string_view line);

// The section number text of a [fltsim.N] header; "10000" for a line that holds "[fltsim." but
// is not a header alone (a comment behind it); empty for any other line, and for a line that
// starts with ';' or "//".
std::string lf_readFltsimHeader(std::string_view line);
// A header's number text as a signed 32-bit number: an optional '-', then digits up to the
// first other character. None without digits or beyond the range.
std::optional<std::int32_t> lf_sectionNumber(std::string_view text);

// Plain substring tests without regard to ASCII case, for a second occurrence of a key.
bool lf_hasAtcIdKey(std::string_view line);  // "atc_id=", no blank before '='
bool lf_hasIcaoAirlineKey(std::string_view line);
bool lf_hasParkingTypesKey(std::string_view line);

bool lf_containsNoCase(std::string_view text, std::string_view part);
bool lf_equalsNoCase(std::string_view a, std::string_view b);
std::string lf_upper(std::string_view text);

// Folder names of the simulator's base aircraft -> their ICAO model code.
extern const std::unordered_map<std::string_view, std::string_view> g_baseContainerModels;
