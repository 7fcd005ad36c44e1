#include "parking/candidate_stands.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "parking/airport_file_read.h"
#include "parking/destination_readers.h"
#include "refdata/downloader.h"

namespace {

// One candidate's file: read by its thread, looked at by the worker.
struct CandidateFile {
  std::mutex mutex;
  bool done = false;                        // under mutex
  std::vector<NamedStandPosition> stands;   // under mutex; empty: none to judge by
  std::atomic<bool> cancelled{false};
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
  std::thread thread;

  ~CandidateFile() {
    cancelled = true;
    if (thread.joinable()) thread.join();
  }
};

std::mutex g_candidateFilesMutex;
std::map<IcaoCode, std::unique_ptr<CandidateFile>> g_candidateFiles;  // under g_candidateFilesMutex

void lf_startRead(CandidateFile& file, IcaoCode code) {
  file.thread = std::thread([&file, code] {
    std::vector<NamedStandPosition> stands;
    {
      const ScopedDownloadCancel cancel(&file.cancelled);
      auto read = gf_readApfStandPositions(code);
      if (auto* found = std::get_if<std::vector<NamedStandPosition>>(&read)) stands = std::move(*found);
    }
    std::lock_guard lock(file.mutex);
    file.stands = std::move(stands);
    file.done = true;
  });
}

// The caller holds g_candidateFilesMutex. A thread that has said done has only its end left.
void lf_joinFinishedReads() {
  for (auto& [code, file] : g_candidateFiles) {
    if (!file->thread.joinable()) continue;
    bool done = false;
    {
      std::lock_guard lock(file->mutex);
      done = file->done;
    }
    if (done) file->thread.join();
  }
}

}  // namespace

ClosestStand gf_candidateClosestStand(const Airport& airport, const Lalo& position) {
  const std::optional<std::filesystem::path> path = gf_findAirportFile(airport.code);
  if (!path) return {};
  if (path->begin() == path->end() || *path->begin() != "archive") {
    auto read = gf_readDestApfForClosestStand(airport.code, position, true);
    if (auto* stand = std::get_if<ClosestStand>(&read)) return std::move(*stand);
    return {};
  }
  std::lock_guard filesLock(g_candidateFilesMutex);
  lf_joinFinishedReads();
  std::unique_ptr<CandidateFile>& file = g_candidateFiles[airport.code];
  if (!file) {
    file = std::make_unique<CandidateFile>();
    lf_startRead(*file, airport.code);
  }
  {
    std::lock_guard lock(file->mutex);
    if (file->done) return gf_closestOfStands(file->stands, position);
  }
  if (std::chrono::steady_clock::now() - file->started > kCandidateFetchTimeout) return {};
  ClosestStand pending;
  pending.pending = true;
  return pending;
}

void gf_resetCandidateStands() {
  std::map<IcaoCode, std::unique_ptr<CandidateFile>> files;
  {
    std::lock_guard lock(g_candidateFilesMutex);
    files.swap(g_candidateFiles);
  }
  for (auto& [code, file] : files) file->cancelled = true;
  files.clear();  // each joined as it goes
}

std::size_t gf_candidateFetchThreadsHeld() {
  std::lock_guard lock(g_candidateFilesMutex);
  return static_cast<std::size_t>(std::count_if(g_candidateFiles.begin(), g_candidateFiles.end(),
                                                [](const auto& entry) { return entry.second->thread.joinable(); }));
}
