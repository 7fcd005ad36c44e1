#include "refdata/library_init.h"

#include <curl/curl.h>
#include <fmt/format.h>
#include <sodium.h>

#include <mutex>
#include <stdexcept>

#include "core/log.h"

namespace {

std::once_flag g_librariesOnce;

}  // namespace

void gf_initDataLibraries() {
  std::call_once(g_librariesOnce, [] {
    // 0 on the first call, 1 when it already ran; -1 means no usable random source.
    if (sodium_init() < 0)
      throw std::runtime_error("libsodium could not be initialised: encrypted data files cannot be read");
    if (const CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT); code != CURLE_OK)
      gf_logWarning(fmt::format("libcurl could not be initialised: {}", curl_easy_strerror(code)));
  });
}
