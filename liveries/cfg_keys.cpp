#include "liveries/cfg_keys.h"

#include <algorithm>
#include <limits>

#include "core/text.h"

namespace {

// What \s is to a byte-wise regex in the classic locale.
constexpr bool lf_isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
constexpr char lf_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }
constexpr bool lf_isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t lf_skipBlanks(std::string_view text, std::size_t i) {
  while (i < text.size() && lf_isBlank(text[i])) ++i;
  return i;
}

bool lf_startsWithNoCase(std::string_view text, std::size_t at, std::string_view part) {
  return text.size() - at >= part.size() && lf_equalsNoCase(text.substr(at, part.size()), part);
}

// The cleaned value of a key: the text between its quotes when it has any.
bool lf_cleanValue(std::string_view line, std::string_view key, std::string& value) {
  const std::string_view raw = lf_regexValue(line, key);
  if (raw.empty()) return false;
  std::string cleaned = gf_textBetweenQuotes(raw);
  if (cleaned.empty()) return false;
  value = std::move(cleaned);
  return true;
}

}  // namespace

const std::unordered_map<std::string_view, std::string_view> g_baseContainerModels{
    {"Asobo_FlightDesignCT", "FDCT"},  {"Asobo_DA40_TDI", "DA40"},
    {"Asobo_Longitude", "C700"},       {"Asobo_DA40_NG", "DA40"},
    {"Asobo_VL3", "VL3"},              {"Asobo_Cap10C", "CP10"},
    {"Asobo_Savage_Cub", "SAVG"},      {"Asobo_CJ4", "C25C"},
    {"Asobo_Savage_ShockUltra", "SAVG"}, {"Asobo_C152", "C152"},
    {"Asobo_XCub", "CC19"},            {"Asobo_C152_Aerobat", "C152"},
    {"Asobo_Pitts", "PTS2"},           {"Asobo_C172sp_AS1000", "C172"},
    {"Asobo_SR22", "SR22"},            {"Asobo_C172sp_classic", "C172"},
    {"Asobo_Icon", "A5"},              {"Asobo_Bonanza_G36", "BE36"},
    {"Asobo_TBM930", "TBM9"},          {"Asobo_Baron_G58", "B58T"},
    {"Asobo_KingAir350", "B350"},      {"Asobo_B747_8i", "B748"},
    {"Asobo_E330", "E300"},            {"Asobo_B787_10", "B78X"},
    {"Asobo_DV20", "DV20"},            {"Asobo_208B_GRAND_CARAVAN_EX", "C208"},
    {"Asobo_DR400", "DR40"},           {"Asobo_A320_NEO", "A20N"},
    {"Asobo_DA62", "DA62"},            {"FlyByWire_A320_NEO", "A20N"},
};

bool lf_equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lf_lower(x) == lf_lower(y); });
}

bool lf_containsNoCase(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [](char x, char y) { return lf_lower(x) == lf_lower(y); }) != text.end();
}

std::string lf_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  return out;
}

std::string_view lf_regexValue(std::string_view line, std::string_view key) {
  std::size_t i = lf_skipBlanks(line, 0);
  if (!lf_startsWithNoCase(line, i, key)) return {};
  i = lf_skipBlanks(line, i + key.size());
  if (i == line.size() || line[i] != '=') return {};
  i = lf_skipBlanks(line, i + 1);
  std::size_t end = line.size();
  while (end > i && lf_isBlank(line[end - 1])) --end;
  const std::string_view value = line.substr(i, end - i);
  // Inside the value only "." may stand, and it never matches a line end.
  if (value.find_first_of("\r\n") != std::string_view::npos) return {};
  return value;
}

bool lf_readTitleKey(std::string_view line, std::string& value) { return lf_cleanValue(line, "title", value); }

bool lf_readTextureKey(std::string_view line, std::string& value) { return lf_cleanValue(line, "texture", value); }

bool lf_readAtcIdKey(std::string_view line, std::string& value) {
  std::string cleaned;
  if (!lf_cleanValue(line, "atc_id", cleaned) || cleaned.size() < 5) return false;
  value = std::move(cleaned);
  return true;
}

bool lf_readIcaoAirlineKey(std::string_view line, std::string& value) {
  const std::string_view raw = lf_regexValue(line, "icao_airline");
  if (raw.empty()) return false;
  const std::string cleaned = gf_textBetweenQuotes(raw);
  value = cleaned.empty() || cleaned == "ZZZZ" ? std::string("ZZZ") : lf_upper(cleaned);
  return true;
}

bool lf_readParkingTypesKey(std::string_view line, std::string& value) {
  return lf_cleanValue(line, "atc_parking_types", value);
}

std::string lf_readBaseContainerModel(std::string_view line) {
  std::string container;
  if (!lf_cleanValue(line, "base_container", container) || container.size() < 4) return {};
  // The value names the folder relative to the livery's, "..\" in front.
  const auto found = g_baseContainerModels.find(std::string_view(container).substr(3));
  return found == g_baseContainerModels.end() ? std::string() : lf_upper(found->second);
}

std::string lf_readIcaoTypeDesignator(std::string_view line) {
  std::string code;
  if (!lf_cleanValue(line, "icao_type_designator", code)) return {};
  if (code.size() > 4) code.resize(4);
  return lf_upper(code);
}

std::string lf_readFltsimHeader(std::string_view line) {
  if (line.empty() || line.front() == ';' || line.starts_with("//")) return {};
  constexpr std::string_view kOpen = "[fltsim.";
  if (!lf_containsNoCase(line, kOpen)) return {};
  // Anything but the header alone on its line (a comment behind it) counts as number 10000.
  const std::string notAlone = "10000";
  std::size_t i = lf_skipBlanks(line, 0);
  if (!lf_startsWithNoCase(line, i, kOpen)) return notAlone;
  i += kOpen.size();
  const std::size_t digits = i;
  while (i < line.size() && lf_isDigit(line[i])) ++i;
  if (i == digits || i == line.size() || line[i] != ']') return notAlone;
  if (lf_skipBlanks(line, i + 1) != line.size()) return notAlone;
  return std::string(line.substr(digits, i - digits));
}

std::optional<std::int32_t> lf_sectionNumber(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  std::int64_t value = 0;
  std::size_t i = 0;
  for (; i < text.size() && lf_isDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
  }
  if (i == 0) return std::nullopt;
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

bool lf_hasAtcIdKey(std::string_view line) { return lf_containsNoCase(line, "atc_id="); }
bool lf_hasIcaoAirlineKey(std::string_view line) { return lf_containsNoCase(line, "icao_airline"); }
bool lf_hasParkingTypesKey(std::string_view line) { return lf_containsNoCase(line, "atc_parking_types"); }
