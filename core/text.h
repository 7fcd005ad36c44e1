#pragma once
// Text is UTF-8 in std::string inside the program; "wide" text is UTF-16, as the Windows
// side of the file formats (and "Unicode" text files) has it.
#include <cstdint>
#include <filesystem>
#include <istream>
#include <list>
#include <string>
#include <string_view>
#include <vector>

// Both throw std::runtime_error on invalid input; empty input gives an empty result.
std::string wide_to_utf8(std::u16string_view text);
std::u16string utf8_to_wide(std::string_view text);
std::string gf_pathToUtf8(const std::filesystem::path& path);

std::string gf_trim(std::string_view text);  // blank, tab, LF, CR
// Pieces between delimiters, trimmed; empty pieces are dropped.
std::vector<std::string> gf_split(std::string_view text, char delimiter);
std::vector<std::string> gf_splitAtComma(std::string_view text);
void gf_trimCommaList(std::string& text);
// Trimmed pieces, empty ones kept, sorted by bytes and without duplicates.
std::list<std::string> gf_parseCommaList(std::string_view text);
std::string gf_textBetweenQuotes(std::string_view text);
std::string gf_removeDots(std::string_view text);
// ASCII letters compared without case; an empty needle is always contained.
bool gf_containsNoCase(std::string_view text, std::string_view needle);

// Appends the buffer's lines (UTF-8 BOM skipped, LF or CR LF endings).
void gf_splitLines(std::string_view text, std::vector<std::string>& lines);
void gf_readLines(std::istream& stream, std::vector<std::string>& lines);

std::string gf_pluralS(std::int64_t count);
std::string gf_floatText(float value);
std::string gf_bannerText(int width, int extra, bool leadingNewline, bool trailingNewline, std::string_view title);

// Text from outside (datagrams, web answers, files) as one safe piece of a log line: control
// bytes, invalid UTF-8 and characters that reorder or break lines become \xNN / \u{NNNN}; past
// about maxBytes the rest is cut and the full length noted.
inline constexpr std::size_t kOutsideTextLogBytes = 200;
std::string gf_escapedText(std::string_view text, std::size_t maxBytes = kOutsideTextLogBytes);
// Only what can be shown: the characters gf_escapedText would escape are dropped.
std::string gf_printableText(std::string_view text);
bool gf_isPrintableText(std::string_view text);
