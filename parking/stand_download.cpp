#include "parking/stand_download.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "appbase/gui.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/files.h"
#include "platform/os.h"
#include "parking/airport_file_read.h"
#include "parking/candidate_stands.h"
#include "refdata/downloader.h"
#include "refdata/enc_file.h"
#include "refdata/update_check.h"

namespace fs = std::filesystem;

namespace {

// Program-wide, with the process id: concurrent fetches (the park airport, the destination's
// readers) never write the same file.
std::atomic<std::uint64_t> g_standFileCounter{0};

// One fetch of the park airport's file: the thread that runs it and the worker share it.
struct ParkFetch {
  std::filesystem::path relativePath;
  std::mutex mutex;
  DownloadedAirportFile result;  // under mutex
  bool done = false;             // under mutex
  bool dropped = false;          // under mutex: nobody takes the copy, the thread removes it
  std::atomic<bool> cancelled{false};  // the download breaks off
};
std::shared_ptr<ParkFetch> g_parkFetch;  // the worker's

// Every fetch's thread until it is joined, the dropped ones too: the worker's.
struct FetchThread {
  FetchThread(std::shared_ptr<ParkFetch> f, std::thread t) : fetch(std::move(f)), thread(std::move(t)) {}
  FetchThread(FetchThread&&) = default;
  FetchThread& operator=(FetchThread&& other) noexcept {
    if (this == &other) return *this;
    finish();
    fetch = std::move(other.fetch);
    thread = std::move(other.thread);
    return *this;
  }
  // Never a running thread left behind, not even by a test that ends without the program's end.
  ~FetchThread() { finish(); }
  void finish() noexcept {
    if (!thread.joinable()) return;
    fetch->cancelled = true;
    thread.join();
  }
  std::shared_ptr<ParkFetch> fetch;
  std::thread thread;
};
std::vector<FetchThread> g_fetchThreads;

bool lf_isDone(ParkFetch& fetch) {
  std::lock_guard lock(fetch.mutex);
  return fetch.done;
}

// Threads whose fetch is in have only their return left: joined without a wait worth the name.
void lf_joinFinished() {
  std::erase_if(g_fetchThreads, [](const FetchThread& entry) { return lf_isDone(*entry.fetch); });
}

void lf_dropFetch(const std::shared_ptr<ParkFetch>& fetch) {
  if (!fetch) return;
  fetch->cancelled = true;
  std::lock_guard lock(fetch->mutex);
  fetch->dropped = true;
  if (fetch->done && fetch->result.fetched) {
    std::error_code ignored;
    fs::remove(fetch->result.localPath, ignored);
  }
}

std::string lf_serverFolder() { return gf_makerBaseUrl() + (gf_isMsfs2020() ? "MSFS/" : "MSFS2024/"); }

// The request path: folders separated by '/', also where a path was written with '\'.
std::string lf_requestPath(const fs::path& relativePath) {
  std::string request = relativePath.generic_string();
  std::replace(request.begin(), request.end(), '\\', '/');
  return request;
}

}  // namespace

DownloadedAirportFile gf_downloadAirportFile(const fs::path& relativePath, bool parkAirport) {
  DownloadedAirportFile result;
  if (g_serverMaintenance.load()) {
    result.error = "Web server temporarily unavailable due to maintenance.";
    return result;
  }
  const fs::path request = lf_requestPath(relativePath);
  if (request.begin() == request.end() || *request.begin() != "archive") return result;
  const bool encrypted = gf_hasExtensionNoCase(relativePath, ".enc");
  const fs::path local =
      g_airportsFolder / fmt::format("{}.{}.{}{}", parkAirport ? "park_airport" : "airport", os::currentProcessId(),
                                     g_standFileCounter.fetch_add(1), encrypted ? ".enc" : ".xml");
  std::error_code ignored;  // a missing folder fails the download below, which says so
  fs::create_directories(g_airportsFolder, ignored);
  result.error = lf_downloadStandFile(relativePath, local, encrypted);
  if (!result.error.empty()) return result;
  result.localPath = local;
  result.fetched = true;
  result.encrypted = encrypted;
  return result;
}

std::string lf_downloadStandFile(const fs::path& relativePath, const fs::path& localPath, bool encrypted) {
  const std::string url = lf_serverFolder() + lf_requestPath(relativePath);
  CurlHandle handle = gf_newTransferHandle();
  if (handle && gf_downloadFile(handle.get(), url, localPath, encrypted, gf_encFileBytesFor(kApfPlainLimit))) return {};
  std::error_code ignored;
  fs::remove(localPath, ignored);
  std::string message = fmt::format("failed to download: '{}'", url);
  Gui::showMessage(message, true);
  return message;
}

ParkFileFetch gf_fetchParkAirportFile(const fs::path& relativePath) {
  if (g_parkFetch && g_parkFetch->relativePath != relativePath) {
    lf_dropFetch(g_parkFetch);
    g_parkFetch.reset();
  }
  if (!g_parkFetch) {
    auto fetch = std::make_shared<ParkFetch>();
    fetch->relativePath = relativePath;
    g_parkFetch = fetch;
    lf_joinFinished();
    // A server that never answers holds only this thread; a drop or the end breaks its
    // download off.
    std::thread thread([fetch] {
      DownloadedAirportFile result;
      {
        const ScopedDownloadCancel cancel(&fetch->cancelled);
        result = gf_downloadAirportFile(fetch->relativePath, true);
      }
      std::lock_guard lock(fetch->mutex);
      fetch->result = std::move(result);
      fetch->done = true;
      if (fetch->dropped && fetch->result.fetched) {
        std::error_code ignored;
        fs::remove(fetch->result.localPath, ignored);
      }
    });
    g_fetchThreads.emplace_back(fetch, std::move(thread));
    return ParkFileFetch::running;
  }
  std::lock_guard lock(g_parkFetch->mutex);
  return g_parkFetch->done ? ParkFileFetch::ready : ParkFileFetch::running;
}

DownloadedAirportFile gf_takeParkAirportFile(const fs::path& relativePath) {
  DownloadedAirportFile result;
  if (!g_parkFetch || g_parkFetch->relativePath != relativePath) return result;
  {
    std::lock_guard lock(g_parkFetch->mutex);
    if (!g_parkFetch->done) return result;
    result = std::move(g_parkFetch->result);
  }
  g_parkFetch.reset();
  return result;
}

void gf_dropParkAirportFetch() {
  lf_dropFetch(g_parkFetch);
  g_parkFetch.reset();
  lf_joinFinished();
}

void gf_joinParkAirportFetches() {
  gf_dropParkAirportFetch();
  for (FetchThread& entry : g_fetchThreads) lf_dropFetch(entry.fetch);
  g_fetchThreads.clear();  // each joined as it goes
  gf_resetCandidateStands();
}

std::size_t gf_parkAirportFetchThreads() { return g_fetchThreads.size(); }
