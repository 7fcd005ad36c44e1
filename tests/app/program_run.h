#pragma once
// The real jorv program in folders of its own: a program folder with docs/ and the sample
// data sets, a per-user folder, and a simulator installation that discovery finds.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "tools/livery_tree.h"

extern char** environ;

namespace testing_support {

inline const std::filesystem::path kSourceDataFolder = sourceDataFolder();

struct ProgramRun {
  TempDir root;
  std::filesystem::path program = root / "program";
  std::filesystem::path appdata = root / "appdata";
  std::filesystem::path runtime = root / "runtime";
  std::size_t liveries = 0;  // what the livery scan finds

  // An empty run has folders only: nothing for the worker to start from.
  explicit ProgramRun(bool furnished = true) {
    namespace fs = std::filesystem;
    fs::create_directories(program);
    fs::create_directories(runtime);
    if (!furnished) return;
    fs::create_directories(program / "docs");
    fs::create_directories(program / "input");
    for (const char* set : {"dbase.enc", "airports.enc", "wktraffic.enc", "AIG-regcodes.enc"})
      fs::copy_file(kSourceDataFolder / set, program / "input" / set);
    // A Steam-style MSFS 2024 installation, its Community folder holding AI livery packages.
    fs::create_directories(packages() / "Official2024");
    liveries = gf_writeLiveryTree({packages() / "Community", root / "expected", kSourceDataFolder}).titles.size();
    fs::copy(root / "expected" / "my_regcodes", program / "input" / "my_regcodes");
  }
  std::filesystem::path packages() const { return appdata / "Microsoft Flight Simulator 2024" / "Packages"; }

  // RT App mode on a free port, so that a run without a simulator waits without a license.
  void chooseRTApp() const {
    writeFile(appdata / "JORV" / "parameters.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n"
              "    <parameter name=\"RT_CHOISE\" value=\"RT App\" />\n"
              "    <parameter name=\"PORT_NUMBER\" value=\"" + std::to_string(freePort()) + "\" />\n"
              "  </parameters>\n</root>\n");
  }
  // A port the system has just handed out and taken back: the program refuses 0 itself.
  static unsigned freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
  }

  // Starts the program headless; it closes its own window after autoCloseSeconds.
  pid_t start(double autoCloseSeconds, bool production = false) const {
    std::vector<std::string> env;
    bool apiSet = false;
    for (char** e = environ; *e; ++e) {
      env.emplace_back(*e);
      apiSet = apiSet || env.back().starts_with("JORV_RTAPI_URL=");
    }
    // A test never reaches RealTraffic itself: unless it serves a stand-in, nobody answers.
    if (!apiSet) env.push_back("JORV_RTAPI_URL=http://127.0.0.1:9");
    env.push_back("JORV_APPDATA=" + appdata.string());
    env.push_back("JORV_LOCALAPPDATA=" + (root / "local").string());
    env.push_back("XDG_RUNTIME_DIR=" + runtime.string());
    env.push_back("JORV_UI=headless");
    env.push_back("JORV_AUTOCLOSE_SECONDS=" + std::to_string(autoCloseSeconds));
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = JORV_EXECUTABLE;
    std::string switchText = "--production";
    char* argv[] = {exe.data(), production ? switchText.data() : nullptr, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, program.c_str());
    const std::string errors = (root / "stderr.txt").string();
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(rc, 0);
    return pid;
  }

  static int wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
  }

  int run(double autoCloseSeconds, bool production = false) const { return wait(start(autoCloseSeconds, production)); }

  std::string log() const { return readFile(program / "Log.txt"); }
  std::string errors() const { return readFile(root / "stderr.txt"); }
};

}  // namespace testing_support
