#pragma once
// Kernel and shell services that the program would take from Windows.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace os {

// Single instance per user: returns a handle (>= 0) that is held until the process ends,
// or -1 when another process already holds the same name.
int createNamedMutex(std::string_view name);

// The process's command line, the program path first. Set once by main().
void setCommandLine(int argc, char** argv);
const std::vector<std::string>& commandLineArgs();

enum class KnownFolder { RoamingAppData, LocalAppData };
// Resolved on every call (never cached in a static), so tests can point the overrides elsewhere.
std::filesystem::path knownFolderPath(KnownFolder folder);

// Replaces target with source so that a crash leaves either the old or the new file whole:
// the source's data is synced before the rename, the folder after it. Returns false and sets
// error on failure: a failed sync of the source leaves both files as they were; a failed sync
// of the folder leaves the new file in place but unconfirmed.
bool durableReplace(const std::filesystem::path& source, const std::filesystem::path& target,
                    std::error_code& error);
// A new empty file that only its owner may read or write (any file of that name is replaced);
// false when it cannot be made.
bool createOwnerOnlyFile(const std::filesystem::path& path);
// Syncs a file's data, or a folder's entries, to the disk; false and error set on failure.
bool syncToDisk(const std::filesystem::path& path, std::error_code& error);
// Tests: stands in for fsync(2) (null: the real one).
using FsyncFunction = int (*)(int fd);
void setFsyncForTest(FsyncFunction function);

// A file from outside read whole only when it is a regular file of at most maxBytes: a named
// pipe or device is never waited on (opened without blocking, then examined), and a huge file
// is refused after maxBytes + 1 bytes, whatever its size said before.
enum class SmallFileOutcome { read, notFound, notRegular, tooLarge, failed };
struct SmallFile {
  SmallFileOutcome outcome = SmallFileOutcome::failed;
  std::string bytes;
  int error = 0;  // errno of a failed open or read
};
SmallFile readSmallRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

// Opens a folder or document with the desktop's handler; false when none could be started.
bool shellOpen(const std::filesystem::path& path);

// Timer resolution: the scheduler's is fine here.
inline void timeBeginPeriod(unsigned) {}
inline void timeEndPeriod(unsigned) {}

// The system's text for an errno value.
std::string errorText(int errnoValue);

// GetCurrentProcessId: part of the unique temporary names of files written by several callers.
std::uint32_t currentProcessId();

}  // namespace os
