#include "core/text.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

namespace {

constexpr std::string_view kBlanks = " \t\n\r";

}  // namespace

std::string wide_to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
        throw std::runtime_error("wide_to_utf8: invalid UTF-16");
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      throw std::runtime_error("wide_to_utf8: invalid UTF-16");
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::u16string utf8_to_wide(std::string_view text) {
  auto fail = [] { throw std::runtime_error("utf8_to_wide: invalid UTF-8"); };
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    std::uint32_t cp = 0;
    std::size_t len = 0;
    if (b0 < 0x80) {
      cp = b0, len = 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      cp = b0 & 0x1Fu, len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      cp = b0 & 0x0Fu, len = 3;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      cp = b0 & 0x07u, len = 4;
    } else {
      fail();
    }
    if (i + len > text.size()) fail();
    for (std::size_t k = 1; k < len; ++k) {
      const auto b = static_cast<unsigned char>(text[i + k]);
      if ((b & 0xC0) != 0x80) fail();
      cp = (cp << 6) | (b & 0x3Fu);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are invalid.
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      fail();
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
  return out;
}

std::string gf_pathToUtf8(const std::filesystem::path& path) { return path.string(); }

std::string gf_trim(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> gf_split(std::string_view text, char delimiter) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(delimiter, start);
    if (end == std::string_view::npos) end = text.size();
    if (std::string piece = gf_trim(text.substr(start, end - start)); !piece.empty()) pieces.push_back(std::move(piece));
    start = end + 1;
  }
  return pieces;
}

std::vector<std::string> gf_splitAtComma(std::string_view text) { return gf_split(text, ','); }

void gf_trimCommaList(std::string& text) {
  if (text.find_first_of(kBlanks) == std::string::npos) return;
  text = fmt::format("{}", fmt::join(gf_split(text, ','), ","));
}

std::list<std::string> gf_parseCommaList(std::string_view text) {
  std::list<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find(',', start);
    pieces.push_back(gf_trim(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  pieces.sort();
  pieces.unique();
  return pieces;
}

std::string gf_textBetweenQuotes(std::string_view text) {
  const auto first = text.find('"');
  if (first == std::string_view::npos) return std::string(text);
  const auto second = text.find('"', first + 1);
  if (second == std::string_view::npos) return {};
  return std::string(text.substr(first + 1, second - first - 1));
}

std::string gf_removeDots(std::string_view text) {
  std::string out;
  std::copy_if(text.begin(), text.end(), std::back_inserter(out), [](char c) { return c != '.'; });
  return out;
}

bool gf_containsNoCase(std::string_view text, std::string_view needle) {
  if (needle.empty()) return true;
  auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
  return std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                     [&lower](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

void gf_splitLines(std::string_view text, std::vector<std::string>& lines) {
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const bool last = end == std::string_view::npos;
    if (last) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (last) break;
    start = end + 1;
  }
}

void gf_readLines(std::istream& stream, std::vector<std::string>& lines) {
  if (!stream.good()) return;
  stream.seekg(0, std::ios::end);
  const auto size = stream.tellg();
  if (size > 0) {
    std::string buffer(static_cast<std::size_t>(size), '\0');
    stream.seekg(0, std::ios::beg);
    stream.read(buffer.data(), size);
    buffer.resize(static_cast<std::size_t>(stream.gcount()));
    gf_splitLines(buffer, lines);
  } else {
    stream.clear();
    stream.seekg(0, std::ios::beg);
  }
}

std::string gf_pluralS(std::int64_t count) { return count == 1 ? "" : "s"; }

std::string gf_floatText(float value) {
  return std::fmod(value, 1.0f) == 0.0f ? fmt::format("{:.0f}", value) : fmt::format("{:.1f}", value);
}

std::string gf_bannerText(int width, int extra, bool leadingNewline, bool trailingNewline, std::string_view title) {
  int n = width + extra;
  if (n % 2 != 0) ++n;
  n = std::max(n, 0);
  std::string out;
  if (leadingNewline) out += '\n';
  if (title.empty()) {
    out.append(static_cast<std::size_t>(n), '*');
  } else if (static_cast<int>(title.size()) >= n - 2) {
    out += title;
  } else {
    const auto k = static_cast<std::size_t>(n / 2 - 1);
    out.append(k, '*');
    out += ' ';
    out += title;
    out += ' ';
    out.append(k, '*');
  }
  if (trailingNewline) out += '\n';
  return out;
}

namespace {

// Length of the UTF-8 sequence at text[at] and its code point; 0 when it is no valid sequence.
std::size_t lf_utf8Sequence(std::string_view text, std::size_t at, std::uint32_t& codePoint) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  std::uint32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1Fu;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0Fu;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07u;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0u) != 0x80u) return 0;
    codePoint = (codePoint << 6) | (byte(i) & 0x3Fu);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
  return length;
}

// C1 controls, the direction overrides and isolates, line and paragraph separators, BOM.
bool lf_isHiddenControl(std::uint32_t codePoint) {
  return (codePoint >= 0x80 && codePoint <= 0x9F) || codePoint == 0x200E || codePoint == 0x200F ||
         (codePoint >= 0x2028 && codePoint <= 0x202E) || (codePoint >= 0x2066 && codePoint <= 0x2069) ||
         codePoint == 0xFEFF;
}

// Calls piece(bytes, escaped) for each character of text: a shown one or its escape.
template <typename Piece>
void lf_forEachCharacter(std::string_view text, Piece piece) {
  std::size_t at = 0;
  while (at < text.size()) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead >= 0x20 && lead < 0x7F) {
      if (!piece(text.substr(at, 1), std::string_view{})) return;
      ++at;
      continue;
    }
    std::uint32_t codePoint = 0;
    const std::size_t length = lead < 0x80 ? 0 : lf_utf8Sequence(text, at, codePoint);
    if (length == 0) {
      if (!piece(text.substr(at, 1), fmt::format("\\x{:02X}", lead))) return;
      ++at;
    } else if (lf_isHiddenControl(codePoint)) {
      if (!piece(text.substr(at, length), fmt::format("\\u{{{:04X}}}", codePoint))) return;
      at += length;
    } else {
      if (!piece(text.substr(at, length), std::string_view{})) return;
      at += length;
    }
  }
}

}  // namespace

std::string gf_escapedText(std::string_view text, std::size_t maxBytes) {
  std::string out;
  out.reserve(std::min(text.size(), maxBytes) + 16);
  bool cut = false;
  lf_forEachCharacter(text, [&](std::string_view bytes, std::string_view escape) {
    const std::string_view shown = escape.empty() ? bytes : escape;
    if (out.size() + shown.size() > maxBytes) {
      cut = true;
      return false;
    }
    out += shown;
    return true;
  });
  if (cut) out += fmt::format("... ({} bytes)", text.size());
  return out;
}

std::string gf_printableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  lf_forEachCharacter(text, [&](std::string_view bytes, std::string_view escape) {
    if (escape.empty()) out += bytes;
    return true;
  });
  return out;
}

bool gf_isPrintableText(std::string_view text) {
  bool printable = true;
  lf_forEachCharacter(text, [&](std::string_view, std::string_view escape) {
    printable = escape.empty();
    return printable;
  });
  return printable;
}
