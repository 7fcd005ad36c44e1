#pragma once
// Text files written by other programs, read in whichever charset they were written.
// Every result is UTF-8. "ANSI" is Windows-1252 here.
#include <cstddef>
#include <filesystem>
#include <istream>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

enum class TextEncoding { ANSI, Unicode, Unicode_big_endian, UTF8_with_BOM, UTF8_without_BOM, none_found };

std::string gf_textEncodingName(TextEncoding encoding);
// From the first 4096 bytes of the file.
TextEncoding gf_detectTextEncoding(const std::filesystem::path& path);
// Clears lines and fills them; false after a failure that has been reported already.
bool gf_readTextFileLines(TextEncoding encoding, const std::filesystem::path& path, std::vector<std::string>& lines);
// A whole UTF-16 stream that starts with a byte-order mark; false when it has none or an odd size.
bool gf_readUtf16Lines(std::istream& stream, std::vector<std::string>& lines);
std::string gf_ansiToUtf8(std::string_view text);
// Written to a temporary name beside the file, then renamed over it.
bool gf_writeStringToFile(std::string_view text, const std::filesystem::path& path, bool appendNewline);
// The same for a secret (a licence): the file, and its temporary from the start, are readable
// by their owner only.
bool gf_writePrivateStringToFile(std::string_view text, const std::filesystem::path& path);
// Each line followed by "\n", into a temporary file that replaces the file durably; false, with
// the file as it was, when anything fails.
bool gf_writeLines(std::span<const std::string> lines, const std::filesystem::path& path);
// The same for a file only shown to the user and rewritten soon: renamed into place without
// waiting for the disk, so a busy disk never holds up the caller. After a power cut the file
// may be empty or old.
bool gf_writeLinesUnsynced(std::span<const std::string> lines, const std::filesystem::path& path);

// A plain UTF-8 file's lines.
struct TextFile {
  std::filesystem::path path;
  std::vector<std::string> lines;

  // The lines, or the failure text "open_failed".
  std::variant<std::span<const std::string>, std::string> readLines(std::size_t reserveCount);
};
