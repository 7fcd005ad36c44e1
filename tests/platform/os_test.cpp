#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/os.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { old_ ? (void)::setenv(name_, old_->c_str(), 1) : (void)::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(SingleInstance, ASecondHolderIsRefusedUntilTheFirstEnds) {
  TempDir runtime;
  ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().string());
  int first = os::createNamedMutex("Local\\$JORV$");
  ASSERT_GE(first, 0);
  EXPECT_TRUE(fs::exists(runtime / "JORV.lock"));
  // Another process (a fork) is refused while we hold it.
  pid_t child = ::fork();
  if (child == 0) _exit(os::createNamedMutex("Local\\$JORV$") < 0 ? 0 : 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ::close(first);
  int again = os::createNamedMutex("Local\\$JORV$");
  EXPECT_GE(again, 0);
  ::close(again);
}

TEST(KnownFolders, OverridesWinAndAreReadOnEveryCall) {
  {
    ScopedEnv appdata("JORV_APPDATA", "/tmp/roaming-here");
    ScopedEnv local("JORV_LOCALAPPDATA", "/tmp/local-here");
    EXPECT_EQ(os::knownFolderPath(os::KnownFolder::RoamingAppData), "/tmp/roaming-here");
    EXPECT_EQ(os::knownFolderPath(os::KnownFolder::LocalAppData), "/tmp/local-here");
  }
  ScopedEnv appdata("JORV_APPDATA", "");
  ScopedEnv xdg("XDG_CONFIG_HOME", "/tmp/xdg-config");
  EXPECT_EQ(os::knownFolderPath(os::KnownFolder::RoamingAppData), "/tmp/xdg-config");
}

TEST(DurableReplace, ReplacesTheTargetWhole) {
  TempDir dir;
  writeFile(dir / "parameters.xml", "old");
  writeFile(dir / "parameters.xml.tmp", "new");
  std::error_code ec;
  EXPECT_TRUE(os::durableReplace(dir / "parameters.xml.tmp", dir / "parameters.xml", ec)) << ec.message();
  EXPECT_EQ(readFile(dir / "parameters.xml"), "new");
  EXPECT_FALSE(fs::exists(dir / "parameters.xml.tmp"));
  EXPECT_FALSE(os::durableReplace(dir / "missing", dir / "parameters.xml", ec));
  EXPECT_TRUE(ec);
  EXPECT_EQ(readFile(dir / "parameters.xml"), "new");
}

// Every fsync of a replace, with what the target held then; the one numbered failOn fails.
struct SyncSpy {
  static inline fs::path target;
  static inline std::vector<std::string> calls;
  static inline int failOn = -1;
  static int fsync(int fd) {
    struct stat info {};
    ::fstat(fd, &info);
    calls.push_back(std::string(S_ISDIR(info.st_mode) ? "folder" : "file") + " with target " + readFile(target));
    if (static_cast<int>(calls.size()) - 1 != failOn) return 0;
    errno = EIO;
    return -1;
  }
};

TEST(DurableReplace, SyncsTheFileBeforeAndTheFolderAfterTheRenameAndFailsWithEither) {
  struct Case {
    int failOn;
    bool replaced;  // the rename happened
    std::vector<std::string> calls;
  } cases[] = {
      {-1, true, {"file with target old", "folder with target new"}},
      {0, false, {"file with target old"}},  // the data may not be on disk: no rename
      {1, true, {"file with target old", "folder with target new"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failOn);
    TempDir dir;
    writeFile(dir / "RealTraffic.lic", "old");
    writeFile(dir / "RealTraffic.lic.tmp", "new");
    SyncSpy::target = dir / "RealTraffic.lic";
    SyncSpy::calls.clear();
    SyncSpy::failOn = c.failOn;
    os::setFsyncForTest(&SyncSpy::fsync);
    std::error_code ec;
    const bool ok = os::durableReplace(dir / "RealTraffic.lic.tmp", dir / "RealTraffic.lic", ec);
    os::setFsyncForTest(nullptr);
    EXPECT_EQ(ok, c.failOn < 0);
    EXPECT_EQ(ec, c.failOn < 0 ? std::error_code() : std::make_error_code(std::errc::io_error));
    EXPECT_EQ(SyncSpy::calls, c.calls);
    EXPECT_EQ(readFile(dir / "RealTraffic.lic"), c.replaced ? "new" : "old");
    EXPECT_EQ(fs::exists(dir / "RealTraffic.lic.tmp"), !c.replaced);
  }
}

}  // namespace
