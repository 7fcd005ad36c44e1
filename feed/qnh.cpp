#include "feed/qnh.h"

#include <fmt/format.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>

std::atomic<std::int32_t> g_qnh{kStandardQnh};

namespace {

constexpr std::int64_t kLowestQnh = 900;
constexpr std::int64_t kHighestQnh = 1100;
constexpr double kHpaPerHundredthInch = 0.33865307;

bool lf_isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

QnhResult lf_invalidCode(std::string_view group) {
  return QnhError{QnhErrorKind::InvalidCode, fmt::format("invalid QNH code: {}", group)};
}

// A pressure group: Q or A, an optional '-', then digits.
QnhResult lf_qnhOfGroup(std::string_view group) {
  const char unit = group[0];
  std::string_view digits = group.substr(1);
  const bool negative = !digits.empty() && digits.front() == '-';
  if (negative) digits.remove_prefix(1);
  if (digits.empty()) return lf_invalidCode(group);
  std::int64_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return lf_invalidCode(group);
    number = number * 10 + (c - '0');
    if (number > INT32_MAX) return lf_invalidCode(group);
  }
  if (negative) number = -number;
  const std::int64_t hpa =
      unit == 'Q' ? number : static_cast<std::int64_t>(std::llround(static_cast<double>(number) * kHpaPerHundredthInch));
  if (hpa < kLowestQnh || hpa > kHighestQnh)
    return QnhError{QnhErrorKind::OutsideLimits, fmt::format("QNH outside limits: {} ({})", hpa, group)};
  return static_cast<std::uint32_t>(hpa);
}

}  // namespace

QnhResult gf_qnhFromMetar(const std::string& metar) {
  const std::string_view text = metar;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && lf_isSpace(text[at])) ++at;
    const std::size_t begin = at;
    while (at < text.size() && !lf_isSpace(text[at])) ++at;
    std::string_view group = text.substr(begin, at - begin);
    if (!group.empty() && group.back() == '=') group.remove_suffix(1);
    if (group.size() == 5 && (group[0] == 'Q' || group[0] == 'A')) return lf_qnhOfGroup(group);
  }
  return QnhError{QnhErrorKind::NothingFound, "no QNH code found in METAR"};
}

QnhResult gf_metarFromWeatherData(const nlohmann::json& data) {
  if (!data.is_object()) return QnhError{QnhErrorKind::InvalidData, "invalid weather data object"};
  const auto member = data.find("METAR");
  if (member == data.end() || member->is_null()) return QnhError{QnhErrorKind::NothingFound, "no METAR found in data"};
  if (member->is_string()) return gf_qnhFromMetar(member->get<std::string>());
  return QnhError{QnhErrorKind::InvalidData, "invalid METAR type"};
}
