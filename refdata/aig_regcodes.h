#pragma once
// Registration codes of livery titles: which aircraft registrations a livery depicts. The AIG
// package's list arrives as an encrypted data set ("AIG-regcodes.enc"); the user's own lists
// are in refdata/my_regcodes.h. Readers collect problems as texts; they never throw for content.
#include <pugixml.hpp>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kAigRegcodesFileName = "AIG-regcodes.enc";

struct RegcodeEntry {
  std::string title;               // exactly as in the livery's aircraft.cfg
  std::vector<std::string> codes;  // valid codes, ascending, no duplicates
  bool special = false;
};

struct RegcodeReadResult {
  std::vector<RegcodeEntry> entries;  // in file order
  std::vector<std::string> errors;    // in the order found
};

// 3 to 12 characters, each "A"-"Z", a digit, "+", "-" or ".".
bool gf_isValidRegcode(std::string_view code);

RegcodeReadResult gf_readAigRegcodesFile(const std::filesystem::path& path);
RegcodeReadResult gf_parseAigRegcodes(const pugi::xml_document& document);
// True when the code is invalid, after the error text has been added to the result.
bool gf_checkAigRegcode(std::string_view code, std::string_view title, RegcodeReadResult& result);
