#include "feed/rt_api_transport.h"

#include <curl/curl.h>
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <limits>
#include <mutex>
#include <new>
#include <stdexcept>

#include "appbase/stop_request.h"
#include "core/log.h"

namespace {

constexpr const char* kInitFailed = "RTAPITransport curl_easy_init() failed";
// A buffer grown past this by one outsized answer is given back rather than kept for the run.
constexpr std::size_t kKeptResponseBytes = 1024 * 1024;

// RealTraffic's web API; JORV_RTAPI_URL points the program elsewhere (the tests' stand-in).
constexpr const char* kRealTrafficWebApi = "https://rtwa.flyrealtraffic.com";

std::mutex g_baseUrlMutex;
std::string g_baseUrl = kRealTrafficWebApi;

// curl_global_init is not thread-safe on older libcurl; do it once before the first handle.
CURL* lf_newHandle() {
  static const bool initialised = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  if (!initialised) return nullptr;
  return curl_easy_init();
}

}  // namespace

int RTAPITransport::progressWithProgram(void* data, std::int64_t, std::int64_t, std::int64_t, std::int64_t) {
  const auto* stop = static_cast<const ProgressStop*>(data);
  if (!stop) return 0;
  if (stop->flag && stop->flag->load()) return 1;
  return stop->program && !gf_isRunning() ? 1 : 0;
}

std::string_view gf_rtApiErrorKindText(RTAPIErrorKind kind) {
  static constexpr std::array<std::string_view, 3> kTexts{"transport", "http", "parse"};
  const auto index = static_cast<std::size_t>(kind);
  return index < kTexts.size() ? kTexts[index] : std::string_view("?");
}

RTAPITransport::RTAPITransport(std::size_t reserve) : handle_(lf_newHandle()), reserve_(reserve) {
  if (!handle_) throw std::runtime_error(kInitFailed);
  response_.reserve(reserve);
}

void RTAPITransport::emptyResponse() {
  if (response_.capacity() > std::max(kKeptResponseBytes, reserve_)) {
    std::string().swap(response_);
    response_.reserve(reserve_);
  }
  response_.clear();
}

RTAPITransport::~RTAPITransport() {
  if (handle_) curl_easy_cleanup(static_cast<CURL*>(handle_));
}

void RTAPITransport::reset() {
  CURL* fresh = lf_newHandle();
  if (handle_) curl_easy_cleanup(static_cast<CURL*>(handle_));
  handle_ = fresh;
  emptyResponse();
  if (!handle_) throw std::runtime_error(kInitFailed);
}

RTAPITransportError RTAPITransport::curlError(int code, std::string_view context) const {
  return RTAPITransportError{code, fmt::format("{}: {}", context, curl_easy_strerror(static_cast<CURLcode>(code)))};
}

RTAPIResult<RTAPIHttpReply, RTAPITransportError> RTAPITransport::request(std::string_view url,
                                                                         const std::string& body,
                                                                         RTAPIRequestOptions options,
                                                                         const std::atomic<bool>* stop) {
  if (!handle_) throw std::runtime_error(kInitFailed);
  CURL* curl = static_cast<CURL*>(handle_);
  emptyResponse();
  curl_easy_reset(curl);
  const std::string urlText(url);

  auto failed = [](CURLcode code, std::string_view name) {
    return RTAPITransportError{static_cast<std::int32_t>(code),
                               fmt::format("failed to set {}: {}", name, curl_easy_strerror(code))};
  };
#define JORV_SET(option, value)                                      \
  do {                                                               \
    const CURLcode setCode = curl_easy_setopt(curl, option, value);  \
    if (setCode != CURLE_OK) return failed(setCode, #option);        \
  } while (false)

  JORV_SET(CURLOPT_URL, urlText.c_str());
  JORV_SET(CURLOPT_ACCEPT_ENCODING, "deflate,gzip");
  JORV_SET(CURLOPT_POSTFIELDS, body.data());
  JORV_SET(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  JORV_SET(CURLOPT_WRITEFUNCTION, &gf_curlWriteCallback);
  JORV_SET(CURLOPT_WRITEDATA, static_cast<void*>(&response_));
  if (options.connectTimeoutS > 0) JORV_SET(CURLOPT_CONNECTTIMEOUT, static_cast<long>(options.connectTimeoutS));
  if (options.totalTimeoutS > 0) JORV_SET(CURLOPT_TIMEOUT, static_cast<long>(options.totalTimeoutS));
  if (stop && !options.abortWhenStopping) {
    JORV_SET(CURLOPT_XFERINFOFUNCTION, &gf_curlProgressCallback);
    JORV_SET(CURLOPT_XFERINFODATA, const_cast<void*>(static_cast<const void*>(stop)));
    JORV_SET(CURLOPT_NOPROGRESS, 0L);
  } else if (options.abortWhenStopping) {
    progressStop_ = ProgressStop{stop, true};
    JORV_SET(CURLOPT_XFERINFOFUNCTION, &progressWithProgram);
    JORV_SET(CURLOPT_XFERINFODATA, static_cast<void*>(&progressStop_));
    JORV_SET(CURLOPT_NOPROGRESS, 0L);
  }
  if (options.freshConnection) {
    JORV_SET(CURLOPT_FORBID_REUSE, 1L);
    JORV_SET(CURLOPT_FRESH_CONNECT, 1L);
  }
#undef JORV_SET

  const CURLcode performed = curl_easy_perform(curl);
  // The write callback refuses a piece (at most CURL_MAX_WRITE_SIZE) that would pass the bound.
  if (performed == CURLE_WRITE_ERROR && response_.size() + CURL_MAX_WRITE_SIZE > kRTAPIMaxAnswerBytes)
    return RTAPITransportError{static_cast<std::int32_t>(performed),
                               fmt::format("curl_easy_perform: answer larger than {} bytes", kRTAPIMaxAnswerBytes)};
  if (performed != CURLE_OK) return curlError(performed, "curl_easy_perform");
  long status = 0;
  const CURLcode info = curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  if (info != CURLE_OK) return curlError(info, "curl_easy_getinfo(CURLINFO_RESPONSE_CODE)");
  return RTAPIHttpReply{static_cast<std::int32_t>(status), std::string_view(response_)};
}

std::size_t gf_curlWriteCallback(char* data, std::size_t size, std::size_t count, void* response) {
  if (!response) return 0;
  if (count != 0 && size > std::numeric_limits<std::size_t>::max() / count) return 0;
  const std::size_t bytes = size * count;
  auto* text = static_cast<std::string*>(response);
  if (bytes > kRTAPIMaxAnswerBytes - std::min(text->size(), kRTAPIMaxAnswerBytes)) return 0;
  try {
    text->append(data, bytes);
  } catch (...) {
    return 0;  // libcurl ends the transfer as a write error
  }
  return bytes;
}

int gf_curlProgressCallback(void* stop, std::int64_t, std::int64_t, std::int64_t, std::int64_t) {
  const auto* flag = static_cast<const std::atomic<bool>*>(stop);
  return flag && flag->load() ? 1 : 0;
}

bool gf_jsonInt32(const nlohmann::json& object, std::string_view key, std::int32_t& value) {
  const auto it = object.find(key);
  if (it == object.end()) return false;
  if (it->is_number_unsigned()) {
    const auto v = it->get<std::uint64_t>();
    if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return false;
    value = static_cast<std::int32_t>(v);
    return true;
  }
  if (it->is_number_integer()) {
    const auto v = it->get<std::int64_t>();
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) return false;
    value = static_cast<std::int32_t>(v);
    return true;
  }
  return false;
}

std::string_view gf_bodyHead(std::string_view body) { return body.substr(0, 256); }

RTAPIResult<RTAPIResponse, RTAPICheckError> gf_checkRTAPIResponse(std::string_view body, std::string_view label,
                                                                  const RTAPIWaitSpec& wait) {
  if (body.empty()) return RTAPICheckError{std::string(label), "empty response"};
  nlohmann::json document = nlohmann::json::parse(body, nullptr, false);
  if (document.is_discarded() || !document.is_object())
    return RTAPICheckError{std::string(label), fmt::format("invalid JSON: {}", gf_bodyHead(body))};

  RTAPIResponse response;
  std::int32_t status = 100;
  response.apiStatus = gf_jsonInt32(document, "status", status) ? status : 100;

  response.waitMs = 2000;
  if (response.apiStatus == 200 && !wait.key.empty()) {
    std::int64_t waitMs = wait.defaultMs;
    const auto it = document.find(wait.key);
    if (it != document.end() && it->is_number_unsigned()) {
      const auto v = it->get<std::uint64_t>();
      waitMs = v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? std::numeric_limits<std::int64_t>::max()
                   : static_cast<std::int64_t>(v);
    } else if (it != document.end() && it->is_number_integer()) {
      waitMs = it->get<std::int64_t>();
    } else {
      gf_logWarning(fmt::format("{}: invalid or missing {}, using default", label, wait.key));
    }
    const std::int64_t bounded = std::clamp<std::int64_t>(waitMs, wait.minMs, wait.maxMs);
    if (bounded != waitMs)
      gf_logWarning(fmt::format("{}: {} {} ms outside limits, using {} ms", label, wait.key, waitMs, bounded));
    response.waitMs = static_cast<std::int32_t>(bounded);
  }

  if (const auto it = document.find("message"); it != document.end() && it->is_string())
    response.message = it->get<std::string>();
  if (const auto it = document.find("data"); it != document.end()) response.data = std::move(*it);
  response.httpStatus = 0;
  return response;
}

RTAPIResult<RTAPIResponse, RTAPIError> gf_checkRTAPIHttp(const RTAPIHttpReply& reply, std::string_view label,
                                                         const RTAPIWaitSpec& wait) {
  auto checked = gf_checkRTAPIResponse(reply.body, label, wait);
  if (checked) {
    checked.value().httpStatus = reply.httpStatus;
    return std::move(checked.value());
  }
  const bool httpFailure = (reply.httpStatus >= 1 && reply.httpStatus <= 199) || reply.httpStatus >= 300;
  if (httpFailure)
    return RTAPIError{RTAPIErrorKind::http, reply.httpStatus, std::string(label),
                      fmt::format("HTTP {} response: {}", reply.httpStatus, checked.error().message)};
  return RTAPIError{RTAPIErrorKind::parse, reply.httpStatus, std::string(label), std::move(checked.error().message)};
}

RTAPIResult<RTAPIResponse, RTAPIError> gf_RTAPIRequest(RTAPITransport& transport, std::string_view url,
                                                       const std::string& body, RTAPIRequestOptions options,
                                                       const RTAPIWaitSpec& wait, std::string_view label,
                                                       const std::atomic<bool>* stop) {
  auto reply = transport.request(url, body, options, stop);
  if (!reply) return RTAPIError{RTAPIErrorKind::transport, 0, std::string(label), std::move(reply.error().message)};
  return gf_checkRTAPIHttp(reply.value(), label, wait);
}

bool gf_isRTAPITrouble(const RTAPIResult<RTAPIResponse, RTAPIError>& answer) {
  if (!answer) return true;
  const RTAPIResponse& response = answer.value();
  const auto serverError = [](std::int32_t status) { return status >= 500 && status <= 599; };
  return serverError(response.httpStatus) || serverError(response.apiStatus);
}

std::string gf_formValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
                       byte == '-' || byte == '.' || byte == '_' || byte == '~';
    if (plain) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0x0F]);
    }
  }
  return out;
}

void gf_setRTAPIBaseUrl(std::string url) {
  while (!url.empty() && url.back() == '/') url.pop_back();
  if (url.empty()) url = kRealTrafficWebApi;
  std::lock_guard lock(g_baseUrlMutex);
  g_baseUrl = std::move(url);
}

std::string gf_rtApiBaseUrl() {
  std::lock_guard lock(g_baseUrlMutex);
  return g_baseUrl;
}

std::string gf_rtApiUrl(std::string_view path) { return gf_rtApiBaseUrl() + std::string(path); }
