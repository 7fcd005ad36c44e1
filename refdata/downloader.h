#pragma once
// Downloads from the maker's web server. The target is either the complete new file or left
// exactly as it was: the transfer goes into "<target>.download_tmp", which is moved onto the
// target only after the transfer and the file write have both succeeded.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

typedef void CURL;  // libcurl's easy handle (curl.h declares it the same way)

struct CurlEasyDeleter {
  void operator()(CURL* handle) const;
};
// One transfer handle per download, owned by the caller.
using CurlHandle = std::unique_ptr<CURL, CurlEasyDeleter>;

// A fresh easy handle; null when libcurl can't make one.
CurlHandle gf_newTransferHandle();

// Looks at a complete download before it may replace the target: empty when it may, else why not.
using DownloadCheck = std::function<std::string(const std::filesystem::path& downloaded)>;

// exact: binary ("wb") or text ("w") mode; both are the same here. True only when the target
// now holds the downloaded file. A server status outside 2xx, a stall, a connection not made in
// time, a stop request, a file larger than maxBytes (stopped there, logged) and a download the
// check refuses (logged) all fail the download.
bool gf_downloadFile(CURL* handle, const std::string& url, const std::filesystem::path& target, bool exact,
                     std::uint64_t maxBytes, const DownloadCheck& check = {});

// While it lives, downloads on this thread break off (within about a second, at libcurl's next
// progress call) once the flag is set: a fetch nobody waits for any more ends without its
// time-outs.
class ScopedDownloadCancel {
 public:
  explicit ScopedDownloadCancel(const std::atomic<bool>* cancelled);
  ~ScopedDownloadCancel();
  ScopedDownloadCancel(const ScopedDownloadCancel&) = delete;
  ScopedDownloadCancel& operator=(const ScopedDownloadCancel&) = delete;

 private:
  const std::atomic<bool>* m_previous;
};

// One data set from "<base>input/<fileName>" onto target, with its own handle; logs the outcome.
bool gf_downloadInputFile(const std::filesystem::path& fileName, const std::filesystem::path& target,
                          std::uint64_t maxBytes, const DownloadCheck& check = {});

// The base URL of the maker's downloads folder, a setting. Empty: nothing can be downloaded.
// A URL without a trailing '/' gets one.
void gf_setMakerBaseUrl(std::string url);
std::string gf_makerBaseUrl();

// Transfer limits in seconds; 0 switches a limit off. Tests shorten the stall time.
struct DownloadLimits {
  long connectTimeoutSeconds = 10;
  long lowSpeedBytesPerSecond = 1;
  long lowSpeedSeconds = 30;
};
void gf_setDownloadLimits(const DownloadLimits& limits);
DownloadLimits gf_downloadLimits();

// Back to the start: no base URL, the standard limits.
void gf_resetDownloaderState();
