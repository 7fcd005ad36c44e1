#include "refdata/downloader.h"

#include <curl/curl.h>
#include <fmt/format.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string_view>

#include "appbase/stop_request.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "platform/os.h"

namespace fs = std::filesystem;

namespace {

// Downloader settings: read by whichever thread downloads, set by the start-up and by tests.
struct DownloaderGlobals {
  std::mutex mutex;
  std::string baseUrl;
  DownloadLimits limits;
};

DownloaderGlobals& lf_globals() {
  static DownloaderGlobals globals;
  return globals;
}

class FileCloser {
 public:
  explicit FileCloser(std::FILE*& file) : m_file(file) {}
  ~FileCloser() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
  }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

 private:
  std::FILE*& m_file;
};

struct DownloadSink {
  std::FILE* file = nullptr;
  std::uint64_t written = 0;
  std::uint64_t maxBytes = 0;
  bool tooLarge = false;
};

// A server that does not announce the size, or lies about it, is stopped here.
size_t lf_writeCallback(char* data, size_t size, size_t count, void* userData) {
  auto* sink = static_cast<DownloadSink*>(userData);
  const std::uint64_t bytes = static_cast<std::uint64_t>(size) * count;
  if (bytes > sink->maxBytes - sink->written) {
    sink->tooLarge = true;
    return 0;
  }
  const size_t done = std::fwrite(data, 1, bytes, sink->file);
  sink->written += done;
  return done;
}

thread_local const std::atomic<bool>* t_cancelled = nullptr;

int lf_progressCallback(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return gf_isRunning() && !(t_cancelled && t_cancelled->load()) ? 0 : 1;
}

// Only web addresses: libcurl would guess a scheme for anything else and look the text up
// as a host name, which an empty base URL would turn into a lookup of "versions.json".
bool lf_isWebAddress(std::string_view url) { return url.starts_with("https://") || url.starts_with("http://"); }

// The maker's files come over https; plain http only from this machine (the tests' stand-ins).
bool lf_isLoopbackHttp(std::string_view url) {
  if (!url.starts_with("http://")) return false;
  const std::string_view rest = url.substr(7);
  for (const std::string_view host : {"127.0.0.1", "localhost", "[::1]"})
    if (rest.starts_with(host) && (rest.size() == host.size() || rest[host.size()] == ':' || rest[host.size()] == '/'))
      return true;
  return false;
}

bool lf_configure(CURL* handle, const std::string& url, DownloadSink* sink, const DownloadLimits& limits) {
  return curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) == CURLE_OK &&
         curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, lf_isLoopbackHttp(url) ? "http" : "https") == CURLE_OK &&
         curl_easy_setopt(handle, CURLOPT_USERAGENT, "JORV") == CURLE_OK &&
         // No alarm signals for name look-ups: other threads run beside the download.
         curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
         curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, lf_writeCallback) == CURLE_OK &&
         curl_easy_setopt(handle, CURLOPT_WRITEDATA, sink) == CURLE_OK &&
         // An announced size beyond the limit ends the transfer before any of it is written.
         curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(sink->maxBytes)) == CURLE_OK &&
         curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
         curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSeconds) == CURLE_OK &&
         curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond) == CURLE_OK &&
         curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds) == CURLE_OK &&
         curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, lf_progressCallback) == CURLE_OK &&
         curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
}

// FAILONERROR lets a redirect or other non-error answer through with its own body; only 2xx
// carries the file.
bool lf_answeredWithFile(CURL* handle) {
  long status = 0;
  if (curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) return false;
  return status >= 200 && status < 300;
}

bool lf_downloadFile(CURL* handle, const std::string& url, const fs::path& target, bool exact, std::uint64_t maxBytes,
                     const DownloadCheck& check) {
  if (!handle) return false;
  if (!lf_isWebAddress(url)) {
    gf_logWarning(fmt::format("Download address is not a web address: '{}'", url));
    return false;
  }
  if (!url.starts_with("https://") && !lf_isLoopbackHttp(url)) {
    gf_logWarning(fmt::format("Download address is not a secure web address: '{}'", url));
    return false;
  }
  fs::path temp = target;
  temp += ".download_tmp";
  std::error_code ec;
  fs::remove(temp, ec);
  if (ec) {
    gf_logWarning(
        fmt::format("Could not remove stale temporary download '{}': {}", gf_pathToUtf8(temp), ec.message()));
    return false;
  }
  std::FILE* file = std::fopen(temp.c_str(), exact ? "wb" : "w");
  if (!file) {
    gf_log(fmt::format("Could not open temporary download file: {}", gf_pathToUtf8(temp)));
    return false;
  }
  TempFileRemover removeTemp(temp);
  FileCloser closeFile(file);

  DownloadSink sink{file, 0, maxBytes, false};
  if (!lf_configure(handle, url, &sink, gf_downloadLimits())) {
    gf_logWarning(fmt::format("Could not configure download for '{}'", url));
    return false;
  }
  const CURLcode performed = curl_easy_perform(handle);
  if (sink.tooLarge || performed == CURLE_FILESIZE_EXCEEDED) {
    gf_logWarning(fmt::format("Download of '{}' stopped: larger than {} bytes", url, maxBytes));
    return false;
  }
  if (performed != CURLE_OK || !lf_answeredWithFile(handle)) return false;
  if (std::fflush(file) != 0) {
    gf_logWarning(fmt::format("Could not flush temporary download file '{}'", gf_pathToUtf8(temp)));
    return false;
  }
  std::FILE* closing = file;
  file = nullptr;
  if (std::fclose(closing) != 0) {
    gf_logWarning(fmt::format("Could not close temporary download file '{}'", gf_pathToUtf8(temp)));
    return false;
  }
  // A proxy or cache may answer 200 with a page of its own: such a body must not replace a
  // working file.
  if (check) {
    if (const std::string problem = check(temp); !problem.empty()) {
      gf_logWarning(fmt::format("Download of '{}' discarded: {}", url, problem));
      return false;
    }
  }
  if (!os::durableReplace(temp, target, ec)) {
    gf_logWarning(fmt::format("Could not replace downloaded file '{}': {}", gf_pathToUtf8(target), ec.message()));
    return false;
  }
  return true;
}

}  // namespace

ScopedDownloadCancel::ScopedDownloadCancel(const std::atomic<bool>* cancelled) : m_previous(t_cancelled) {
  t_cancelled = cancelled;
}

ScopedDownloadCancel::~ScopedDownloadCancel() { t_cancelled = m_previous; }

void CurlEasyDeleter::operator()(CURL* handle) const { curl_easy_cleanup(handle); }

CurlHandle gf_newTransferHandle() {
  // curl_global_init is not safe to race with other threads' first use.
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  return CurlHandle(curl_easy_init());
}

bool gf_downloadFile(CURL* handle, const std::string& url, const fs::path& target, bool exact, std::uint64_t maxBytes,
                     const DownloadCheck& check) {
  try {
    return lf_downloadFile(handle, url, target, exact, maxBytes, check);
  } catch (const std::exception& e) {
    gf_log(fmt::format("Downloader exception: '{}', {} => {}", e.what(), url, gf_pathToUtf8(target)));
    return false;
  }
}

bool gf_downloadInputFile(const fs::path& fileName, const fs::path& target, std::uint64_t maxBytes,
                          const DownloadCheck& check) {
  const std::string url = fmt::format("{}input/{}", gf_makerBaseUrl(), gf_pathToUtf8(fileName));
  CurlHandle handle = gf_newTransferHandle();
  if (gf_downloadFile(handle.get(), url, target, true, maxBytes, check)) {
    gf_log(fmt::format("Downloaded '{}' to '{}'", url, gf_pathToUtf8(target)));
    return true;
  }
  gf_logWarning(fmt::format("Downloading '{}' failed!", url));
  return false;
}

void gf_setMakerBaseUrl(std::string url) {
  if (!url.empty() && url.back() != '/') url += '/';
  auto& globals = lf_globals();
  std::lock_guard lock(globals.mutex);
  globals.baseUrl = std::move(url);
}

std::string gf_makerBaseUrl() {
  auto& globals = lf_globals();
  std::lock_guard lock(globals.mutex);
  return globals.baseUrl;
}

void gf_setDownloadLimits(const DownloadLimits& limits) {
  auto& globals = lf_globals();
  std::lock_guard lock(globals.mutex);
  globals.limits = limits;
}

DownloadLimits gf_downloadLimits() {
  auto& globals = lf_globals();
  std::lock_guard lock(globals.mutex);
  return globals.limits;
}

void gf_resetDownloaderState() {
  auto& globals = lf_globals();
  std::lock_guard lock(globals.mutex);
  globals.baseUrl.clear();
  globals.limits = DownloadLimits{};
}
