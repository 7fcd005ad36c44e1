#include "core/value_types.h"

#include <fmt/format.h>

#include <charconv>
#include <exception>
#include <limits>
#include <nlohmann/json.hpp>
#include <regex>
#include <stdexcept>

#include "core/log.h"
#include "core/program.h"
#include "core/text.h"

namespace {

// The whole piece as a decimal u32: no sign, no blanks, no overflow.
bool lf_toU32(std::string_view piece, std::uint32_t& value) {
  if (piece.empty()) return false;
  const char* end = piece.data() + piece.size();
  auto [ptr, ec] = std::from_chars(piece.data(), end, value);
  return ec == std::errc() && ptr == end;
}

std::uint32_t lf_versionNumber(const std::string& text) {
  std::uint32_t value = 0;
  if (!lf_toU32(text, value)) throw std::runtime_error("parse error in version string");
  return value;
}

std::uint32_t lf_jsonVersionMember(const nlohmann::json& object, const char* name) {
  auto it = object.find(name);
  if (it == object.end()) return 0;
  if (!it->is_number_unsigned() || it->get<std::uint64_t>() > std::numeric_limits<std::uint32_t>::max())
    throw std::runtime_error("invalid version format");
  return static_cast<std::uint32_t>(it->get<std::uint64_t>());
}

bool lf_equalsNoCase(char a, char upper) { return a == upper || a == static_cast<char>(upper - 'A' + 'a'); }

}  // namespace

void value_types_detail::throwInvalidCode(std::string_view typeName, std::string_view text) {
  throw std::invalid_argument(fmt::format("'{}' {}: invalid string", text, typeName));
}

std::optional<IcaoCode> gf_optionalIcaoCode(std::string_view text) {
  IcaoCode code;
  if (!value_types_detail::packCode(text, code.m_text, code.m_key)) return std::nullopt;
  return code;
}

std::string gf_airportCodesText(const IcaoCode& icao, const IataCode& iata) {
  std::string text = icao.empty() ? std::string("?") : std::string(icao.text());
  if (!iata.empty()) text += fmt::format(" ({})", iata);
  return text;
}

VersionData::VersionData(const std::string& text) {
  try {
    static const std::regex dotted(R"((\d+)\.(\d+)(?:\.(\d+))?)");
    std::smatch match;
    if (std::regex_match(text, match, dotted)) {
      const std::uint32_t parsedMajor = lf_versionNumber(match[1].str());
      const std::uint32_t parsedMinor = lf_versionNumber(match[2].str());
      const std::uint32_t parsedPatch = match[3].matched ? lf_versionNumber(match[3].str()) : 0;
      major = parsedMajor;
      minor = parsedMinor;
      patch = parsedPatch;
      return;
    }
    const std::string trimmed = gf_trim(text);
    if (!trimmed.empty() && trimmed.front() == '{') {
      const nlohmann::json json = nlohmann::json::parse(trimmed, nullptr, false);
      if (json.is_object()) {
        const std::uint32_t parsedMajor = lf_jsonVersionMember(json, "major");
        const std::uint32_t parsedMinor = lf_jsonVersionMember(json, "minor");
        const std::uint32_t parsedPatch = lf_jsonVersionMember(json, "patch");
        major = parsedMajor;
        minor = parsedMinor;
        patch = parsedPatch;
        return;
      }
    }
    throw std::runtime_error("invalid version format");
  } catch (const std::exception& e) {
    major = minor = patch = 0;
    gf_log(fmt::format("{} exception: {}", "VersionData", e.what()));
  }
}

namespace {
// The program's own version text is ours and well-formed; parsed at compile time so that the
// global exists before any other is built.
constexpr VersionData lf_constVersion(std::string_view text) {
  std::uint32_t numbers[3] = {0, 0, 0};
  std::size_t index = 0;
  for (char c : text) {
    if (c == '.') {
      ++index;
    } else if (index < 3) {
      numbers[index] = numbers[index] * 10 + static_cast<std::uint32_t>(c - '0');
    }
  }
  return VersionData(numbers[0], numbers[1], numbers[2]);
}
}  // namespace

constinit const VersionData g_programVersion = lf_constVersion(g_programVersionText);

DottedNumbers gf_parseDottedNumbers(std::string_view text) noexcept {
  DottedNumbers result;
  std::size_t pos = 0;
  for (int count = 0; count < 3; ++count) {
    const std::size_t dot = text.find('.', pos);
    const std::string_view piece = text.substr(pos, dot == std::string_view::npos ? std::string_view::npos : dot - pos);
    std::uint32_t value = 0;
    if (!lf_toU32(piece, value)) return DottedNumbers{};
    result.numbers[count] = value;
    if (dot == std::string_view::npos) {
      if (count < 1) return DottedNumbers{};
      result.ok = true;
      return result;
    }
    pos = dot + 1;
  }
  return DottedNumbers{};  // a dot after the third number: a fourth number or a trailing dot
}

PackageVersion gf_parsePackageVersion(std::string_view text) noexcept {
  PackageVersion version;
  DottedNumbers numbers = gf_parseDottedNumbers(text);
  if (!numbers.ok) {
    const std::size_t split = text.find_first_not_of("0123456789.");
    if (split == std::string_view::npos) return version;
    numbers = gf_parseDottedNumbers(text.substr(0, split));
    if (!numbers.ok) return version;
    std::string_view suffix = text.substr(split);
    if (!suffix.empty() && suffix.front() == '-') suffix.remove_prefix(1);
    if (suffix.size() < 2 || !lf_equalsNoCase(suffix[0], 'R') || !lf_equalsNoCase(suffix[1], 'C')) return version;
    suffix.remove_prefix(2);
    std::uint32_t rc = 0;
    if (!suffix.empty() && !lf_toU32(suffix, rc)) return version;
    version.rc = rc;
    version.isReleaseCandidate = true;
  }
  version.major = numbers.numbers[0];
  version.minor = numbers.numbers[1];
  version.patch = numbers.numbers[2];
  version.valid = true;
  return version;
}
