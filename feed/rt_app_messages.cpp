#include "feed/rt_app_messages.h"

#include <fmt/format.h>

#include <charconv>
#include <nlohmann/json.hpp>
#include <cmath>
#include <stdexcept>

#include "core/text.h"
#include "feed/traffic_store.h"

namespace {

// Takes the parser's verdict only: builds nothing.
class JsonSyntaxCheck final : public nlohmann::json_sax<nlohmann::json> {
 public:
  explicit JsonSyntaxCheck(std::size_t size) : size_(size) {}
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) override {
    // The parser counts the end of the input as one character read past the text.
    cutShort = position > size_;
    error = e.what();
    return false;
  }

  bool cutShort = false;
  std::string error;

 private:
  std::size_t size_;
};

// The version answer is small; past this the syntax is left to be checked once the value is whole,
// so that a client sending its bytes one by one costs no more than one that sends them at once.
constexpr std::size_t kEarlyCheckBytes = 256;

bool lf_isJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Field numbers of "RTTFC" / "RTBUF".
constexpr std::size_t kHexid = 1;
constexpr std::size_t kLat = 2;
constexpr std::size_t kLon = 3;
constexpr std::size_t kAltitude = 4;
constexpr std::size_t kVs = 5;
constexpr std::size_t kTrack = 7;
constexpr std::size_t kGs = 8;
constexpr std::size_t kCallsign = 9;
constexpr std::size_t kType = 10;
constexpr std::size_t kRegistration = 11;
constexpr std::size_t kOrigin = 12;
constexpr std::size_t kDestination = 13;
constexpr std::size_t kTimestamp = 14;
constexpr std::size_t kSourceType = 17;
constexpr std::size_t kTas = 20;
constexpr std::size_t kRoll = 23;
constexpr std::size_t kTrueHeading = 25;
constexpr std::size_t kEmitterCategory = 28;
// Our own layout writes the operator here; RealTraffic's app writes an authentication number
// (field 42 is its uncorrected baro altitude). The store takes only a designator as an airline.
constexpr std::size_t kAirlineCode = 43;

// Field numbers of "RTPARK".
constexpr std::size_t kParkHexid = 1;
constexpr std::size_t kParkLat = 2;
constexpr std::size_t kParkLon = 3;
constexpr std::size_t kParkCallsign = 4;
constexpr std::size_t kParkType = 5;
constexpr std::size_t kParkRegistration = 6;
constexpr std::size_t kParkStand = 7;
constexpr std::size_t kParkTimestamp = 8;

constexpr double kTwoTo63 = 9223372036854775808.0;

// The decoders are public; a short field list is refused rather than read past its end.
void lf_requireFields(std::span<const std::string_view> fields, std::size_t required) {
  if (fields.size() < required)
    throw std::runtime_error(fmt::format("{} fields received, {} required", fields.size(), required));
}

double lf_number(std::span<const std::string_view> fields, std::size_t index, std::string_view name) {
  double value = 0.0;
  if (!gf_parseFiniteDouble(fields[index], value)) throw std::runtime_error(fmt::format("{}:{}", name, fields[index]));
  return value;
}

}  // namespace

bool gf_parseFiniteDouble(std::string_view text, double& value) {
  if (text.empty()) return false;
  double parsed = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, parsed);
  if (ec != std::errc() || ptr != end || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

bool gf_parseDecimalU32(std::string_view text, std::uint32_t& value) {
  if (text.empty()) return false;
  std::uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
    if (number > UINT32_MAX) return false;
  }
  value = static_cast<std::uint32_t>(number);
  return true;
}

bool gf_parseHexU32(std::string_view text, std::uint32_t& value) {
  if (text.empty()) return false;
  std::uint64_t number = 0;
  for (char c : text) {
    int digit = 0;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    number = number * 16 + static_cast<std::uint64_t>(digit);
    if (number > UINT32_MAX) return false;
  }
  value = static_cast<std::uint32_t>(number);
  return true;
}

RTAppTag gf_rtAppTag(std::string_view tag) {
  if (tag.size() < 5) return RTAppTag::Unknown;
  if (tag == "RTTFC") return RTAppTag::Traffic;
  if (tag == "RTTFC_EOT") return RTAppTag::TrafficEnd;
  if (tag == "RTBUF_SEP") return RTAppTag::BufferSeparator;
  if (tag == "RTBUF_EOT") return RTAppTag::BufferEnd;
  if (tag.starts_with("RTBUF")) return RTAppTag::Buffer;
  if (tag == "RTPARK") return RTAppTag::Parked;
  if (tag == "RTPARK_EOT") return RTAppTag::ParkedEnd;
  return RTAppTag::Unknown;
}

std::size_t gf_rtAppRequiredFieldCount(RTAppTag tag) {
  switch (tag) {
    case RTAppTag::Traffic:
    case RTAppTag::Buffer: return kRTAppTrafficFieldCount;
    case RTAppTag::Parked: return kRTAppParkedFieldCount;
    default: return 0;
  }
}

void gf_splitRTAppLine(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  for (;;) {
    const auto comma = line.find(',');
    if (comma == std::string_view::npos) {
      fields.push_back(line);
      return;
    }
    fields.push_back(line.substr(0, comma));
    line.remove_prefix(comma + 1);
  }
}

std::string gf_incompleteRTAppMessageText(std::size_t count, std::size_t required, std::string_view line) {
  return fmt::format("Ignoring incomplete RT App message: {} fields received, {} required: {}", count, required,
                     gf_escapedText(line));
}

void gf_decodeRTAppPosition(std::span<const std::string_view> fields, TrafficFields& out) {
  lf_requireFields(fields, kRTAppTrafficFieldCount);
  out.timestamp = lf_number(fields, kTimestamp, "timestamp");
  out.lat = lf_number(fields, kLat, "lat");
  out.lon = lf_number(fields, kLon, "lon");
}

void gf_decodeRTAppTraffic(std::span<const std::string_view> fields, TrafficFields& out) {
  lf_requireFields(fields, kRTAppTrafficFieldCount);
  if (!gf_parseDecimalU32(fields[kHexid], out.hexid))
    throw std::runtime_error(fmt::format("{}:{}", "hexid", fields[kHexid]));
  out.altitude = lf_number(fields, kAltitude, "altitude");
  out.vs = lf_number(fields, kVs, "vs");
  out.track = fields[kTrack].empty() ? 0.0 : lf_number(fields, kTrack, "track");
  out.gs = lf_number(fields, kGs, "gs");
  out.sourceType = fields[kSourceType];
  out.trueheading = gf_isAdsbIcaoSource(out.sourceType) ? lf_number(fields, kTrueHeading, "trueheading") : 0.0;
  out.roll = lf_number(fields, kRoll, "roll");
  out.TAS = lf_number(fields, kTas, "TAS");
  out.callsign = fields[kCallsign];
  out.typeDesignator = fields[kType];
  out.registration = fields[kRegistration];
  out.origin = fields[kOrigin];
  out.destination = fields[kDestination];
  out.emitterCategory = fields[kEmitterCategory];
  out.airlineCode = fields[kAirlineCode];
  out.codeText = {};
}

ParkedFields gf_decodeRTAppParked(std::span<const std::string_view> fields) {
  lf_requireFields(fields, kRTAppParkedFieldCount);
  ParkedFields out;
  if (!gf_parseHexU32(fields[kParkHexid], out.hexid))
    throw std::runtime_error(fmt::format("hexid incorrect{}", fields[kParkHexid]));
  const double timestamp = lf_number(fields, kParkTimestamp, "timestamp");
  if (!(timestamp > 0.0 && timestamp < kTwoTo63))
    throw std::runtime_error(fmt::format("timestamp outside range:{:.3f}", timestamp));
  out.timestamp = static_cast<std::int64_t>(timestamp);
  out.lat = lf_number(fields, kParkLat, "lat");
  out.lon = lf_number(fields, kParkLon, "lon");
  out.callsign = fields[kParkCallsign];
  out.typeDesignator = fields[kParkType];
  out.registration = fields[kParkRegistration];
  out.standName = fields[kParkStand];
  return out;
}

JsonCheck gf_checkJson(std::string_view text) {
  JsonSyntaxCheck check(text.size());
  if (nlohmann::json::sax_parse(text, &check)) return {JsonCheck::Status::whole, {}};
  return {check.cutShort ? JsonCheck::Status::cutShort : JsonCheck::Status::invalid, std::move(check.error)};
}

RTAppAnswerGatherer::State RTAppAnswerGatherer::add(std::string_view bytes) {
  if (state_ != State::gathering) return state_;
  text_.append(bytes);
  for (; scanned_ < text_.size() && state_ == State::gathering; ++scanned_) {
    const char c = text_[scanned_];
    if (start_ == std::string::npos) {
      if (lf_isJsonSpace(c)) continue;
      if (c != '{') return state_ = State::refused;
      start_ = scanned_;
      depth_ = 1;
      continue;
    }
    if (inString_) {
      if (escaped_)
        escaped_ = false;
      else if (c == '\\')
        escaped_ = true;
      else if (c == '"')
        inString_ = false;
      continue;
    }
    if (c == '"') {
      inString_ = true;
    } else if (c == '{' || c == '[') {
      ++depth_;
    } else if ((c == '}' || c == ']') && --depth_ == 0) {
      end_ = scanned_ + 1;
      state_ = State::whole;
    }
  }
  if (start_ == std::string::npos) return state_;
  if (state_ == State::whole) {
    if (gf_checkJson(value()).status != JsonCheck::Status::whole) state_ = State::refused;
  } else if (text_.size() <= kEarlyCheckBytes) {
    if (gf_checkJson(std::string_view(text_).substr(start_)).status == JsonCheck::Status::invalid)
      state_ = State::refused;
  }
  return state_;
}

std::string_view RTAppAnswerGatherer::value() const {
  if (state_ != State::whole) return {};
  return std::string_view(text_).substr(start_, end_ - start_);
}
