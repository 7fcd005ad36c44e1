#pragma once
// The texts of the RealTraffic desktop app. Its datagrams: comma-separated fields, field 0 the
// tag; decoding turns the fields into TrafficFields / ParkedFields and keeps no state. Its JSON
// (weather datagrams, the version answer) is checked here without exceptions, and its answer on
// the TCP link gathered read by read.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "feed/traffic_records.h"

enum class RTAppTag : std::uint8_t {
  Unknown,          // ignored without a message
  Traffic,          // "RTTFC"
  TrafficEnd,       // "RTTFC_EOT"
  BufferSeparator,  // "RTBUF_SEP"
  BufferEnd,        // "RTBUF_EOT"
  Buffer,           // "RTBUF" and any longer tag beginning with it but the two above
  Parked,           // "RTPARK"
  ParkedEnd,        // "RTPARK_EOT"
};

inline constexpr std::size_t kRTAppTrafficFieldCount = 44;
inline constexpr std::size_t kRTAppParkedFieldCount = 9;

RTAppTag gf_rtAppTag(std::string_view tag);
// 0 for the markers, which need no fields.
std::size_t gf_rtAppRequiredFieldCount(RTAppTag tag);

// Splits at every ',' (empty fields kept, a trailing comma gives an empty last field). The views
// point into line.
void gf_splitRTAppLine(std::string_view line, std::vector<std::string_view>& fields);

// "Ignoring incomplete RT App message: {} fields received, {} required: {}"
std::string gf_incompleteRTAppMessageText(std::size_t count, std::size_t required, std::string_view line);

// The first step of a live message: "timestamp", "lat" and "lon". Throws std::runtime_error
// "{}:{}" (field name, field text) for a field that is no finite number.
void gf_decodeRTAppPosition(std::span<const std::string_view> fields, TrafficFields& out);
// The rest of a live message (hexid, altitude, vs, track, gs, trueheading, roll, TAS and the
// texts). Throws like gf_decodeRTAppPosition.
void gf_decodeRTAppTraffic(std::span<const std::string_view> fields, TrafficFields& out);
// A parked aircraft. Throws "hexid incorrect" + field text, "{}:{}", or
// "timestamp outside range:{:.3f}".
ParkedFields gf_decodeRTAppParked(std::span<const std::string_view> fields);

// Strict number readers: the whole text, nothing around it.
bool gf_parseFiniteDouble(std::string_view text, double& value);
bool gf_parseDecimalU32(std::string_view text, std::uint32_t& value);
bool gf_parseHexU32(std::string_view text, std::uint32_t& value);

// A JSON text checked without throwing: one whole value (white space around it allowed), a text
// cut short that more bytes could still make whole, or no JSON (the parser's message in error).
struct JsonCheck {
  enum class Status { whole, cutShort, invalid };
  Status status = Status::invalid;
  std::string error;
};
JsonCheck gf_checkJson(std::string_view text);

// A client's answer to the version request, gathered read by read until its first JSON value is
// whole. Only an object can be the app's answer: anything else, or text that can no longer become
// JSON, is refused as soon as it shows. What follows the first value is not judged.
class RTAppAnswerGatherer {
 public:
  enum class State { gathering, whole, refused };
  State add(std::string_view bytes);
  State state() const { return state_; }
  // Everything read so far.
  const std::string& text() const { return text_; }
  // The first value, once whole.
  std::string_view value() const;

 private:
  std::string text_;
  std::size_t scanned_ = 0;
  std::size_t start_ = std::string::npos;  // of the first value
  std::size_t end_ = 0;
  std::size_t depth_ = 0;
  bool inString_ = false;
  bool escaped_ = false;
  State state_ = State::gathering;
};
