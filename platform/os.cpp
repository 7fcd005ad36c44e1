#include "platform/os.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <mutex>

extern char** environ;

namespace os {
namespace fs = std::filesystem;

namespace {

std::mutex g_argsMutex;
std::vector<std::string>& lf_args() {
  static std::vector<std::string> args;
  return args;
}

// "Local\$JORV$" -> "JORV": the file name keeps only letters, digits, '-' and '_'.
std::string lf_lockFileStem(std::string_view name) {
  if (auto slash = name.find('\\'); slash != std::string_view::npos) name.remove_prefix(slash + 1);
  std::string stem;
  for (char c : name)
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') stem += c;
  return stem.empty() ? std::string("lock") : stem;
}

fs::path lf_envPath(const char* var) {
  const char* value = std::getenv(var);
  return value && *value ? fs::path(value) : fs::path();
}

std::atomic<FsyncFunction> g_fsync{nullptr};

// Syncs a file's data or a folder's entries to the disk; false with the error when that failed.
// A file system that has nothing to sync (EINVAL, ENOTSUP) is no failure.
bool lf_fsyncPath(const fs::path& path, bool directory, std::error_code& error) {
  const int fd = ::open(path.c_str(), (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) {
    error.assign(errno, std::generic_category());
    return false;
  }
  const FsyncFunction fake = g_fsync.load();
  const int result = fake ? fake(fd) : ::fsync(fd);
  const int code = errno;
  ::close(fd);
  if (result == 0 || code == EINVAL || code == ENOTSUP) return true;
  error.assign(code, std::generic_category());
  return false;
}

}  // namespace

int createNamedMutex(std::string_view name) {
  std::string stem = lf_lockFileStem(name);
  fs::path runtime = lf_envPath("XDG_RUNTIME_DIR");
  fs::path lockPath = runtime.empty() ? fs::path("/tmp") / (stem + "-" + std::to_string(::getuid()) + ".lock")
                                      : runtime / (stem + ".lock");
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;  // held until the process ends, like the mutex handle
}

void setCommandLine(int argc, char** argv) {
  std::lock_guard lock(g_argsMutex);
  auto& args = lf_args();
  args.assign(argv, argv + argc);
}

const std::vector<std::string>& commandLineArgs() {
  std::lock_guard lock(g_argsMutex);
  return lf_args();
}

fs::path knownFolderPath(KnownFolder folder) {
  const bool roaming = folder == KnownFolder::RoamingAppData;
  if (fs::path override = lf_envPath(roaming ? "JORV_APPDATA" : "JORV_LOCALAPPDATA"); !override.empty())
    return override;
  if (fs::path xdg = lf_envPath(roaming ? "XDG_CONFIG_HOME" : "XDG_DATA_HOME"); !xdg.empty()) return xdg;
  fs::path home = lf_envPath("HOME");
  if (home.empty()) home = "/tmp";
  return roaming ? home / ".config" : home / ".local" / "share";
}

bool durableReplace(const fs::path& source, const fs::path& target, std::error_code& error) {
  error.clear();
  // Renaming data that may not be on the disk could leave an empty file in the target's place.
  if (!lf_fsyncPath(source, false, error)) return false;
  if (::rename(source.c_str(), target.c_str()) != 0) {
    if (errno != EXDEV) {
      error.assign(errno, std::generic_category());
      return false;
    }
    // Another file system: copy beside the target first, so the final step is still a rename.
    fs::path beside = target;
    beside += ".replace_tmp";
    std::error_code ignored;
    if (!fs::copy_file(source, beside, fs::copy_options::overwrite_existing, error) ||
        !lf_fsyncPath(beside, false, error)) {
      fs::remove(beside, ignored);
      return false;
    }
    if (::rename(beside.c_str(), target.c_str()) != 0) {
      error.assign(errno, std::generic_category());
      fs::remove(beside, ignored);
      return false;
    }
    fs::remove(source, ignored);
  }
  // The rename itself lasts only once the folder's entry is on the disk.
  const fs::path folder = target.parent_path();
  return lf_fsyncPath(folder.empty() ? fs::path(".") : folder, true, error);
}

bool syncToDisk(const fs::path& path, std::error_code& error) {
  error.clear();
  std::error_code ignored;
  const bool folder = fs::is_directory(path, ignored);
  return lf_fsyncPath(path, folder, error);
}

void setFsyncForTest(FsyncFunction function) { g_fsync.store(function); }

SmallFile readSmallRegularFile(const fs::path& path, std::size_t maxBytes) {
  SmallFile file;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    file.error = errno;
    file.outcome = file.error == ENOENT ? SmallFileOutcome::notFound : SmallFileOutcome::failed;
    return file;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    file.outcome = SmallFileOutcome::notRegular;
    return file;
  }
  file.bytes.resize(maxBytes + 1);
  std::size_t got = 0;
  while (got < file.bytes.size()) {
    const ssize_t n = ::read(fd, file.bytes.data() + got, file.bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      file.error = errno;
      ::close(fd);
      file.bytes.clear();
      return file;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  file.bytes.resize(got);
  file.outcome = got > maxBytes ? SmallFileOutcome::tooLarge : SmallFileOutcome::read;
  if (got > maxBytes) file.bytes.clear();
  return file;
}

bool shellOpen(const fs::path& path) {
  std::string file = path.string();
  char prog[] = "xdg-open";
  char* argv[] = {prog, file.data(), nullptr};
  pid_t pid = 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  int rc = posix_spawnp(&pid, prog, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  if (::waitpid(pid, &status, 0) < 0) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string errorText(int errnoValue) {
  return std::generic_category().message(errnoValue);
}

bool createOwnerOnlyFile(const std::filesystem::path& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  // Owner-only from its first moment: no other user can open it before its text is in.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::uint32_t currentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

}  // namespace os
