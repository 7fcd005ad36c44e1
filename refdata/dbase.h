#pragma once
// The dbase: the reference of ICAO aircraft models, categories, airlines, cargo, wingspans,
// corrections of wrong model codes and registrations. Read once per process from "dbase.enc"
// into the tables of refdata/model_ids.h and refdata/registration.h.
#include <pugixml.hpp>

#include <filesystem>
#include <optional>
#include <string_view>

#include "refdata/model_ids.h"

inline constexpr std::string_view kDbaseFileName = "dbase.enc";

// Reads "dbase.enc" in the given input folder. False (after a warning) when its XML does not
// parse or has no root; throws std::runtime_error for a missing or undecryptable file and
// jrv::UserRelatedException (code 61) for a missing required section.
bool gf_readDbase(const std::filesystem::path& inputFolder);

// Empties every dbase table, the registrations and the interned names (tests; the program
// reads the dbase once and keeps it for the process).
void gf_resetDbaseTables();

// The list sections: every entry's comma-separated list merged into one set. A missing
// section throws jrv::UserRelatedException 61 "Missing section: <name>".
void gf_readDbaseListSection(pugi::xml_node root, std::string_view section, CodeSet& set, std::string_view element,
                             std::string_view attribute);
void gf_readDbaseTypesSection(pugi::xml_node root, std::string_view section, CodeSet& set, std::string_view element);
void gf_readDbaseCodesSection(pugi::xml_node root, std::string_view section, CodeSet& set);

// Attribute readers: blanks around the value are ignored. A double may carry one leading "+"
// and must be finite; a bool is true/yes/on/1 or false/no/off/0 in any case. Otherwise none.
std::optional<double> gf_attributeAsDouble(pugi::xml_node node, const char* name);
std::optional<bool> gf_attributeAsBool(pugi::xml_node node, const char* name);
