#pragma once
// RT Direct: one HTTPS POST to the RealTraffic web API per call, its outcome either an accepted
// JSON answer or a classified error. Failures are values, not exceptions; only a missing curl
// handle and exhausted memory throw.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include <nlohmann/json.hpp>

// A value or an error, for the request paths that must not throw.
template <typename T, typename E>
class RTAPIResult {
 public:
  RTAPIResult(T value) : value_(std::in_place_index<0>, std::move(value)) {}
  RTAPIResult(E error) : value_(std::in_place_index<1>, std::move(error)) {}
  bool hasValue() const { return value_.index() == 0; }
  explicit operator bool() const { return hasValue(); }
  T& value() { return std::get<0>(value_); }
  const T& value() const { return std::get<0>(value_); }
  E& error() { return std::get<1>(value_); }
  const E& error() const { return std::get<1>(value_); }

 private:
  std::variant<T, E> value_;
};

struct RTAPIRequestOptions {
  std::int32_t connectTimeoutS = 0;  // applied only when > 0
  std::int32_t totalTimeoutS = 0;    // applied only when > 0
  bool freshConnection = false;      // a new connection, closed after the request
  bool abortWhenStopping = false;    // also abort once the program is stopping (gf_isRunning)
};

struct RTAPIHttpReply {
  std::int32_t httpStatus = 0;
  std::string_view body;  // into the transport's buffer; valid until its next request or reset
};

struct RTAPITransportError {
  std::int32_t curlCode = 0;
  std::string message;
};

// Where the answer carries the server's wait time before the next request. An empty key
// means the answer's wait is not used.
struct RTAPIWaitSpec {
  std::string_view key;
  std::int32_t defaultMs = 2000;
  std::int32_t minMs = 250;
  std::int32_t maxMs = 60000;
};

inline constexpr RTAPIWaitSpec kRTAPITrafficWait{"rrl", 2000, 250, 60000};
inline constexpr RTAPIWaitSpec kRTAPIMetarWait{"", 2000, 250, 60000};

struct RTAPIResponse {
  std::int32_t apiStatus = 100;  // the answer's "status"; 100 when unusable
  std::int32_t httpStatus = 0;
  std::int32_t waitMs = 2000;
  std::string message;
  nlohmann::json data;  // the answer's "data"; null when absent
};

enum class RTAPIErrorKind : std::uint8_t { transport = 0, http = 1, parse = 2 };
std::string_view gf_rtApiErrorKindText(RTAPIErrorKind kind);  // "transport", "http", "parse"

struct RTAPIError {
  RTAPIErrorKind kind = RTAPIErrorKind::transport;
  std::int32_t httpStatus = 0;  // 0 for a transport error
  std::string label;            // the caller's name of the request
  std::string message;
};

// A failed frame check: the label and what was wrong.
struct RTAPICheckError {
  std::string label;
  std::string message;
};

// The largest answer taken, far above any real one: a bigger answer is a broken server or proxy
// streaming without end, and fails the transfer.
inline constexpr std::size_t kRTAPIMaxAnswerBytes = 4 * 1024 * 1024;

class RTAPITransport {
 public:
  // Throws std::runtime_error "RTAPITransport curl_easy_init() failed".
  explicit RTAPITransport(std::size_t reserve);
  ~RTAPITransport();
  RTAPITransport(const RTAPITransport&) = delete;
  RTAPITransport& operator=(const RTAPITransport&) = delete;

  // A new handle (and so a new connection); the old one is released first-come.
  void reset();

  // body must stay alive for the call. stop may be null; when set, the transfer is aborted.
  RTAPIResult<RTAPIHttpReply, RTAPITransportError> request(std::string_view url, const std::string& body,
                                                           RTAPIRequestOptions options,
                                                           const std::atomic<bool>* stop);

  RTAPITransportError curlError(int code, std::string_view context) const;
  std::size_t bufferCapacity() const { return response_.capacity(); }

 private:
  static int progressWithProgram(void* data, std::int64_t, std::int64_t, std::int64_t, std::int64_t);
  struct ProgressStop {
    const std::atomic<bool>* flag = nullptr;
    bool program = false;
  };
  // Empties the buffer; one that an outsized answer grew past what polls need is given back.
  void emptyResponse();

  void* handle_ = nullptr;  // CURL*
  std::size_t reserve_ = 0;
  std::string response_;
  ProgressStop progressStop_;
};

// libcurl's callbacks. Neither lets an exception out.
std::size_t gf_curlWriteCallback(char* data, std::size_t size, std::size_t count, void* response);
int gf_curlProgressCallback(void* stop, std::int64_t, std::int64_t, std::int64_t, std::int64_t);

RTAPIResult<RTAPIResponse, RTAPIError> gf_RTAPIRequest(RTAPITransport& transport, std::string_view url,
                                                       const std::string& body, RTAPIRequestOptions options,
                                                       const RTAPIWaitSpec& wait, std::string_view label,
                                                       const std::atomic<bool>* stop);
// Passing trouble of the network or the service rather than a refusal: a failed transfer, an
// HTTP error, a body that is no answer, an HTTP 5xx or the service's own 5xx status. The
// readers back off and try again.
bool gf_isRTAPITrouble(const RTAPIResult<RTAPIResponse, RTAPIError>& answer);

RTAPIResult<RTAPIResponse, RTAPIError> gf_checkRTAPIHttp(const RTAPIHttpReply& reply, std::string_view label,
                                                         const RTAPIWaitSpec& wait);
RTAPIResult<RTAPIResponse, RTAPICheckError> gf_checkRTAPIResponse(std::string_view body, std::string_view label,
                                                                  const RTAPIWaitSpec& wait);

// "status" (or any member) as a signed 32-bit integer, when it is a JSON integer that fits.
bool gf_jsonInt32(const nlohmann::json& object, std::string_view key, std::int32_t& value);
// The first 256 bytes of a body, for the log.
std::string_view gf_bodyHead(std::string_view body);

// A form value, percent-encoded: everything but letters, digits and "-._~".
std::string gf_formValue(std::string_view value);

// The web API's base URL (scheme and host, no trailing slash): RealTraffic's own unless set;
// an empty text sets it back. Tests point it at loopback.
void gf_setRTAPIBaseUrl(std::string url);
std::string gf_rtApiBaseUrl();
// The base URL joined with a path such as "/v6/auth".
std::string gf_rtApiUrl(std::string_view path);
