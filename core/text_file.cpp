#include "core/text_file.h"

#include <fmt/format.h>

#include <array>
#include <fstream>
#include <stdexcept>

#include "core/text.h"
#include "core/user_message.h"
#include "platform/os.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSampleSize = 4096;

// Windows-1252 0x80..0x9F; the five holes map to the C1 controls as Windows does without the strict flag.
constexpr std::array<char16_t, 32> kCp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// UTF-8 validity of a sample. A sequence cut off by the sample's end is accepted when the file
// goes on past the sample: the rest of it lies beyond what was read.
bool lf_isUtf8(std::string_view bytes, bool sampleIsWholeFile) {
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    std::size_t need = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
    } else {
      return false;
    }
    for (std::size_t k = 1; k <= need; ++k) {
      if (i + k >= n) return !sampleIsWholeFile;
      const auto c = static_cast<unsigned char>(bytes[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      // ED A0..BF would be a UTF-16 surrogate, which UTF-8 never carries: such a file is no UTF-8.
      if (k == 1 && ((b == 0xE0 && c < 0xA0) || (b == 0xED && c > 0x9F) || (b == 0xF0 && c < 0x90) ||
                     (b == 0xF4 && c > 0x8F)))
        return false;
    }
    i += need + 1;
  }
  return true;
}

}  // namespace

std::string gf_textEncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::ANSI: return "ANSI";
    case TextEncoding::Unicode: return "Unicode";
    case TextEncoding::Unicode_big_endian: return "Unicode_big_endian";
    case TextEncoding::UTF8_with_BOM: return "UTF8_with_BOM";
    case TextEncoding::UTF8_without_BOM: return "UTF8_without_BOM";
    case TextEncoding::none_found: return "none_found";
  }
  return {};
}

TextEncoding gf_detectTextEncoding(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return TextEncoding::none_found;
  std::string sample(kSampleSize + 1, '\0');
  in.read(sample.data(), static_cast<std::streamsize>(sample.size()));
  const bool wholeFile = static_cast<std::size_t>(in.gcount()) <= kSampleSize;
  sample.resize(std::min(static_cast<std::size_t>(in.gcount()), kSampleSize));
  const std::size_t n = sample.size();
  auto at = [&](std::size_t i) { return static_cast<unsigned char>(sample[i]); };

  if (n >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) return TextEncoding::UTF8_with_BOM;
  if (n >= 2) {
    if (at(0) == 0xFF && at(1) == 0xFE) return TextEncoding::Unicode;
    if (at(0) == 0xFE && at(1) == 0xFF) return TextEncoding::Unicode_big_endian;
    if ((at(1) == 0 && n < 4) || (n >= 4 && at(3) == 0)) return TextEncoding::Unicode;
    if ((at(0) == 0 && n < 4) || (n >= 4 && at(2) == 0)) return TextEncoding::Unicode_big_endian;
  }
  if (n == 0) return TextEncoding::UTF8_without_BOM;
  return lf_isUtf8(sample, wholeFile) ? TextEncoding::UTF8_without_BOM : TextEncoding::ANSI;
}

bool gf_readUtf16Lines(std::istream& stream, std::vector<std::string>& lines) {
  if (!stream.good()) return false;
  stream.seekg(0, std::ios::end);
  const auto size = static_cast<std::streamoff>(stream.tellg());
  if (size <= 1) {
    stream.clear();
    stream.seekg(0, std::ios::beg);
    return size == 0;
  }
  std::string bytes(static_cast<std::size_t>(size), '\0');
  stream.seekg(0, std::ios::beg);
  stream.read(bytes.data(), size);
  if (stream.gcount() != size || size % 2 != 0) return false;
  const bool little = static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE;
  const bool big = static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF;
  if (!little && !big) return false;
  std::u16string units((bytes.size() - 2) / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    const auto lo = static_cast<unsigned char>(bytes[2 + 2 * i + (little ? 0 : 1)]);
    const auto hi = static_cast<unsigned char>(bytes[2 + 2 * i + (little ? 1 : 0)]);
    units[i] = static_cast<char16_t>(lo | (hi << 8));
  }
  gf_splitLines(wide_to_utf8(units), lines);
  return true;
}

std::string gf_ansiToUtf8(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    wide += b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
  }
  return wide_to_utf8(wide);
}

bool gf_readTextFileLines(TextEncoding encoding, const fs::path& path, std::vector<std::string>& lines) {
  lines.clear();
  try {
    switch (encoding) {
      case TextEncoding::Unicode:
      case TextEncoding::Unicode_big_endian: {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        if (!gf_readUtf16Lines(in, lines))
          throw std::runtime_error("UTF-16 text without a byte-order mark or of odd size");
        return true;
      }
      case TextEncoding::UTF8_with_BOM:
      case TextEncoding::UTF8_without_BOM: {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        gf_readLines(in, lines);
        if (encoding == TextEncoding::UTF8_with_BOM && !lines.empty() && lines.front().starts_with("\xEF\xBB\xBF"))
          lines.front().erase(0, 3);
        return true;
      }
      case TextEncoding::ANSI: {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        std::vector<std::string> raw;
        raw.reserve(2048);
        gf_readLines(in, raw);
        lines.reserve(raw.size());
        for (const auto& line : raw) lines.push_back(gf_ansiToUtf8(line));
        return true;
      }
      default:
        throw std::runtime_error(
            fmt::format("file {} has unknown charset: {}", gf_pathToUtf8(path), gf_textEncodingName(encoding)));
    }
  } catch (const std::exception& e) {
    lines.clear();
    gf_showUserMessage(fmt::format("Read failed for '{}': {}", gf_pathToUtf8(path), e.what()), true);
    return false;
  }
}

namespace {

// The whole text under path + ".tmp", then durable or plain rename over path; the temporary
// file goes on failure.
bool lf_writeAndReplace(std::string_view text, bool appendNewline, const fs::path& path, bool durable,
                        bool ownerOnly = false) {
  fs::path temporary = path;
  temporary += ".tmp";
  if (ownerOnly && !os::createOwnerOnlyFile(temporary)) return false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (appendNewline) out.put('\n');
    out.close();  // a failed flush shows here
    if (!out) {
      std::error_code ec;
      fs::remove(temporary, ec);
      return false;
    }
  }
  std::error_code ec;
  bool replaced = false;
  if (durable) {
    replaced = os::durableReplace(temporary, path, ec);
  } else {
    fs::rename(temporary, path, ec);
    replaced = !ec;
  }
  if (!replaced) fs::remove(temporary, ec);
  return replaced;
}

std::string lf_joinLines(std::span<const std::string> lines) {
  std::size_t size = 0;
  for (const auto& line : lines) size += line.size() + 1;
  std::string text;
  text.reserve(size);
  for (const auto& line : lines) text.append(line).push_back('\n');
  return text;
}

}  // namespace

bool gf_writeStringToFile(std::string_view text, const fs::path& path, bool appendNewline) {
  return lf_writeAndReplace(text, appendNewline, path, true);
}

bool gf_writePrivateStringToFile(std::string_view text, const fs::path& path) {
  return lf_writeAndReplace(text, false, path, true, true);
}

bool gf_writeLines(std::span<const std::string> lines, const fs::path& path) {
  return gf_writeStringToFile(lf_joinLines(lines), path, false);
}

bool gf_writeLinesUnsynced(std::span<const std::string> lines, const fs::path& path) {
  return lf_writeAndReplace(lf_joinLines(lines), false, path, false);
}

std::variant<std::span<const std::string>, std::string> TextFile::readLines(std::size_t reserveCount) {
  lines.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string("open_failed");
  if (reserveCount > lines.capacity()) lines.reserve(reserveCount);
  gf_readLines(in, lines);
  return std::span<const std::string>(lines);
}
