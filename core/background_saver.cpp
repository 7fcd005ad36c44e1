#include "core/background_saver.h"

#include <fmt/format.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "platform/os.h"

namespace fs = std::filesystem;

namespace {

struct Job {
  BackgroundSave save;
  std::function<void()> task;  // set: run instead of writing save
  std::string key;  // the absolute path, or the task's key
  std::uint64_t ticket = 0;
};

// Unique among the saves of this process, and in the "<file>.<process>.<count>.tmp" form that
// the stand files' clean-up of killed saves knows.
std::atomic<std::uint64_t> g_saveCounter{0};

bool lf_write(const BackgroundSave& save, std::string& error) {
  std::error_code ec;
  if (save.makeFolder && save.path.has_parent_path()) {
    fs::create_directories(save.path.parent_path(), ec);
    if (ec) {
      error = fmt::format("could not create directory '{}': {}", gf_pathToUtf8(save.path.parent_path()), ec.message());
      return false;
    }
  }
  fs::path temporary = save.path;
  temporary += fmt::format(".{}.{}.tmp", os::currentProcessId(), g_saveCounter.fetch_add(1));
  const TempFileRemover remover(temporary);
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      error = fmt::format("could not open '{}'", gf_pathToUtf8(temporary));
      return false;
    }
    out.write(save.contents.data(), static_cast<std::streamsize>(save.contents.size()));
    out.close();  // a failed flush shows here
    if (!out) {
      error = fmt::format("could not write '{}'", gf_pathToUtf8(temporary));
      return false;
    }
  }
  if (save.durable) {
    if (os::durableReplace(temporary, save.path, ec)) return true;
  } else {
    fs::rename(temporary, save.path, ec);
    if (!ec) return true;
  }
  error = ec.message();
  return false;
}

void lf_finish(const BackgroundSave& save, bool ok, const std::string& error) {
  try {
    if (save.done)
      save.done(ok, error);
    else if (!ok)
      gf_logWarning(fmt::format("Could not write '{}': {}", gf_pathToUtf8(save.path), error));
  } catch (const std::exception& e) {
    gf_logNoexcept(fmt::format("background save of '{}': {}", gf_pathToUtf8(save.path), e.what()));
  } catch (...) {
    gf_logNoexcept("background save: unknown exception");
  }
}

fs::path lf_absolute(const fs::path& path) {
  std::error_code ignored;
  fs::path absolute = fs::absolute(path, ignored);
  return (absolute.empty() ? path : absolute).lexically_normal();
}

// A task's key never equals a path's: those are absolute.
std::string lf_taskKey(std::string_view key) { return std::string("\x01task ").append(key); }

void lf_runTask(const Job& job) {
  try {
    job.task();
  } catch (const std::exception& e) {
    gf_logNoexcept(fmt::format("background task '{}': {}", job.key.substr(6), e.what()));
  } catch (...) {
    gf_logNoexcept("background task: unknown exception");
  }
}

class Saver {
 public:
  ~Saver() {
    {
      std::lock_guard lock(m_mutex);
      m_stopping = true;
    }
    m_work.notify_all();
    // The queue is written out first: a save handed over before the end is not lost.
    if (m_thread.joinable()) m_thread.join();
  }

  void queue(BackgroundSave save) {
    // Where the caller meant it, whatever the current folder is when the saver gets to it.
    save.path = lf_absolute(save.path);
    std::string key = save.path.string();
    queue(Job{std::move(save), {}, std::move(key), 0});
  }

  void queue(Job job) {
    std::lock_guard lock(m_mutex);
    job.ticket = m_nextTicket++;
    m_live.insert(job.ticket);
    for (Job& queued : m_queue) {
      if (queued.key != job.key) continue;
      // In the older one's place: the key's order among the others does not matter, its last
      // contents do.
      m_live.erase(queued.ticket);
      queued = std::move(job);
      return;
    }
    m_queue.push_back(std::move(job));
    if (!m_thread.joinable()) m_thread = std::thread([this] { run(); });
    m_work.notify_one();
  }

  void await(const fs::path& path) {
    const std::string key = lf_absolute(path).string();
    std::unique_lock lock(m_mutex);
    m_progress.wait(lock, [&] {
      if (m_writing == key) return false;
      for (const Job& job : m_queue)
        if (job.key == key) return false;
      return true;
    });
  }

  void drain() {
    std::unique_lock lock(m_mutex);
    const std::uint64_t before = m_nextTicket;
    m_progress.wait(lock, [&] { return m_live.empty() || *m_live.begin() >= before; });
  }

  std::size_t pending() {
    std::lock_guard lock(m_mutex);
    return m_live.size();
  }

 private:
  void run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
      m_work.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
      if (m_queue.empty()) return;
      Job job = std::move(m_queue.front());
      m_queue.pop_front();
      m_writing = job.key;
      lock.unlock();
      std::string error;
      bool ok = false;
      if (job.task) {
        lf_runTask(job);
      } else {
        try {
          ok = lf_write(job.save, error);
        } catch (const std::exception& e) {
          error = e.what();
        }
        lf_finish(job.save, ok, error);
      }
      lock.lock();
      m_writing.reset();
      m_live.erase(job.ticket);
      m_progress.notify_all();
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_work;
  std::condition_variable m_progress;
  std::deque<Job> m_queue;
  std::optional<std::string> m_writing;
  std::set<std::uint64_t> m_live;  // tickets of the saves queued or being written
  std::uint64_t m_nextTicket = 0;
  bool m_stopping = false;
  std::thread m_thread;  // last: it starts after the members it uses
};

Saver& lf_saver() {
  static Saver saver;
  return saver;
}

}  // namespace

void gf_queueSave(BackgroundSave save) { lf_saver().queue(std::move(save)); }

void gf_queueTask(std::string key, std::function<void()> task) {
  lf_saver().queue(Job{{}, std::move(task), lf_taskKey(key), 0});
}

void gf_awaitSave(const fs::path& path) { lf_saver().await(path); }

void gf_drainSaves() { lf_saver().drain(); }

std::size_t gf_pendingSaves() { return lf_saver().pending(); }
