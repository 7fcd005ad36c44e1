#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/program_entry.h"
#include "platform/os.h"
#include "tests/support/test_support.h"

extern char** environ;

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;

TEST(CommandLine, ProductionSwitchInAnyCaseButNeverAsTheProgramPath) {
  struct Case {
    std::vector<std::string> args;
    bool production;
  } cases[] = {
      {{"jorv"}, false},
      {{"jorv", "--production"}, true},
      {{"jorv", "--PRODUCTION"}, true},
      {{"jorv", "other", "--Production"}, true},
      {{"--production"}, false},
      {{"jorv", "-production", "production"}, false},
  };
  for (const auto& c : cases) {
    std::vector<char*> argv;
    for (const auto& a : c.args) argv.push_back(const_cast<char*>(a.c_str()));
    os::setCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(gf_hasProductionSwitch(), c.production) << c.args.back();
  }
}

// Runs the program in its own folders and returns the child's pid.
struct ProgramRun {
  TempDir root;
  fs::path program = root / "program";
  fs::path appdata = root / "appdata";
  fs::path runtime = root / "runtime";

  ProgramRun() {
    fs::create_directories(program);
    fs::create_directories(runtime);
  }

  pid_t start(double autoCloseSeconds) const {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.push_back("JORV_APPDATA=" + appdata.string());
    env.push_back("JORV_LOCALAPPDATA=" + (root / "local").string());
    env.push_back("XDG_RUNTIME_DIR=" + runtime.string());
    env.push_back("JORV_AUTOCLOSE_SECONDS=" + std::to_string(autoCloseSeconds));
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = JORV_EXECUTABLE;
    char* argv[] = {exe.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, program.c_str());
    pid_t pid = 0;
    int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(rc, 0);
    return pid;
  }

  static int wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
  }
};

TEST(Program, RunsAsOneInstanceOpensItsLogAndEndsInOrderWhenTheWindowCloses) {
  ProgramRun run;
  pid_t first = run.start(3.0);
  // Wait until the first instance has opened its log, so it certainly holds the lock.
  for (int i = 0; i < 200 && !fs::exists(run.program / "Log.txt"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  ASSERT_TRUE(fs::exists(run.program / "Log.txt"));

  TempDir secondRoot;
  ProgramRun second;
  fs::remove_all(second.runtime);
  fs::create_symlink(run.runtime, second.runtime);  // same user session, other folders
  EXPECT_EQ(ProgramRun::wait(second.start(3.0)), 255);
  EXPECT_FALSE(fs::exists(second.appdata));
  EXPECT_TRUE(fs::is_empty(second.program));

  EXPECT_EQ(ProgramRun::wait(first), 0);
  EXPECT_TRUE(fs::is_directory(run.appdata / "JORV"));
  const std::string log = readFile(run.program / "Log.txt");
  EXPECT_NE(log.find(" JORV version 16.8.2 for MSFS 2020/2024\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" Exiting: USER CLOSED SIM\n"), std::string::npos) << log;
}

}  // namespace
