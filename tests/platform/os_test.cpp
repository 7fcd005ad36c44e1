#include <gtest/gtest.h>

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

}  // namespace
