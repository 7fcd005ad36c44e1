#pragma once
// The QNH (hPa) out of METAR reports, for the altitude correction of the feed and the main window.
#include <atomic>
#include <cstdint>
#include <string>
#include <variant>

#include <nlohmann/json_fwd.hpp>

enum class QnhErrorKind : std::uint8_t {
  NothingFound = 0,   // a plain log line: the report carries no QNH
  InvalidData = 1,    // a plain log line
  InvalidCode = 2,    // a warning: the report is faulty
  OutsideLimits = 3,  // a warning
};

struct QnhError {
  QnhErrorKind kind = QnhErrorKind::NothingFound;
  std::string text;
};

// Either a QNH in whole hectopascals or the reason why there is none.
class QnhResult {
 public:
  QnhResult(std::uint32_t hpa) : value_(hpa) {}
  QnhResult(QnhError error) : value_(std::move(error)) {}
  bool hasValue() const { return std::holds_alternative<std::uint32_t>(value_); }
  std::uint32_t value() const { return std::get<std::uint32_t>(value_); }
  const QnhError& error() const { return std::get<QnhError>(value_); }

 private:
  std::variant<std::uint32_t, QnhError> value_;
};

// The current QNH in hPa: 1013 until a weather reader publishes one. Read by every thread.
extern std::atomic<std::int32_t> g_qnh;
inline constexpr std::int32_t kStandardQnh = 1013;

// Neither throws for bad input.
QnhResult gf_qnhFromMetar(const std::string& metar);
// An RT App weather object: its "METAR" member.
QnhResult gf_metarFromWeatherData(const nlohmann::json& data);
