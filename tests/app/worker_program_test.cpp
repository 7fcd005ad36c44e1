// The real program in production mode: only the data set-up runs, then the exit code tells
// whether every data step succeeded.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "tests/app/program_run.h"

namespace {
namespace fs = std::filesystem;
using ProductionRun = testing_support::ProgramRun;

TEST(ProductionJob, RunsTheDataSetUpOnlyAndExitsZero) {
  ProductionRun run;
  EXPECT_EQ(run.run(60, true), 0) << run.log() << run.errors();
  const std::string log = run.log();
  EXPECT_NE(log.find("dbase records read"), std::string::npos) << log;
  EXPECT_NE(log.find("Command line job:\nproduction\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" Exiting: NOT YET SET\nShutdown cleanup completed; posting MSG_EXIT\n"), std::string::npos)
      << log;
  EXPECT_EQ(log.find("Shutdown cleanup: "), std::string::npos) << "production mode cleans nothing up";
  EXPECT_EQ(log.find("Waiting for"), std::string::npos) << "no simulator, no feed";
}

TEST(ProductionJob, AFailedDataStepExitsOneAndSaysSoOnStderr) {
  struct Case {
    const char* name;
    void (*spoil)(const ProductionRun&);
  } cases[] = {
      {"no dbase", [](const ProductionRun& r) { fs::remove(r.program / "input" / "dbase.enc"); }},
      {"no install path to be found", [](const ProductionRun& r) { fs::remove_all(r.packages()); }},
      {"not run from the program folder", [](const ProductionRun& r) { fs::remove_all(r.program / "docs"); }},
  };
  for (const Case& c : cases) {
    ProductionRun run;
    c.spoil(run);
    EXPECT_EQ(run.run(60, true), 1) << c.name << "\n" << run.log();
    EXPECT_EQ(run.log().find("Command line job:"), std::string::npos) << c.name;
    EXPECT_NE(run.errors().find("JORV: "), std::string::npos) << c.name;
  }
}

TEST(ProgramRun, WaitsForTheSimulatorUntilTheWindowClosesThenEndsInOrder) {
  ProductionRun run;
  run.chooseRTApp();
  EXPECT_EQ(run.run(2.0), 0) << run.log();
  const std::string log = run.log();
  std::size_t from = 0;
  EXPECT_EQ(log.find("Command line job:"), std::string::npos) << "not a production run";
  EXPECT_NE(log.find("\n++++++++++++++++++++++++ liveries scan automatic starts"), std::string::npos) << log;
  EXPECT_NE(log.find(fmt::format("{:5} liveries read from output/LiveriesScanned_MSFS2024.xml", run.liveries)),
            std::string::npos)
      << log;
  for (const char* line : {" Exiting: USER CLOSED SIM\n", "Shutdown cleanup: waiting for SimClient\n",
                           "Shutdown cleanup: SimClient stopped\n", "Shutdown cleanup: stopping readers\n",
                           "Shutdown cleanup: closing RT App server\n", "Shutdown cleanup: RT App server closed\n",
                           "Shutdown cleanup completed; posting MSG_EXIT\n"}) {
    const auto found = log.find(line, from);
    ASSERT_NE(found, std::string::npos) << line << "\n" << log;
    from = found;
  }
}

// Three starts: defaults written; a setting changed by hand; the file broken. The broken text
// goes aside and the kept generation brings the setting back; nothing saves defaults over it.
TEST(ProgramRun, ABrokenParametersFileCostsNoSettings) {
  ProductionRun run;
  const fs::path parameters = run.appdata / "JORV" / "parameters.xml";
  const fs::path backup = fs::path(parameters).concat(".bak");
  // RT Direct without a licence: each run ends on that error.
  EXPECT_EQ(run.run(1.0), 1) << run.log();
  std::string text = testing_support::readFile(parameters);
  const std::string portDefault = "name=\"PORT_NUMBER\" value=\"";
  const auto at = text.find(portDefault);
  ASSERT_NE(at, std::string::npos) << text;
  const auto valueAt = at + portDefault.size();
  text.replace(valueAt, text.find('"', valueAt) - valueAt, "10811");
  testing_support::writeFile(parameters, text);
  const std::string port = "name=\"PORT_NUMBER\" value=\"10811\"";

  EXPECT_EQ(run.run(1.0), 1) << run.log();
  ASSERT_NE(testing_support::readFile(backup).find(port), std::string::npos);

  testing_support::writeFile(parameters, "<root><broken");
  EXPECT_EQ(run.run(1.0), 1) << run.log();
  EXPECT_NE(testing_support::readFile(parameters).find(port), std::string::npos) << run.log();
  EXPECT_NE(testing_support::readFile(backup).find(port), std::string::npos);
  EXPECT_EQ(testing_support::readFile(fs::path(parameters).concat(".corrupt")), "<root><broken");
  EXPECT_FALSE(fs::exists(run.appdata / "JORV" / "parameters0.xml"));
  EXPECT_NE(run.log().find("could not be loaded: "), std::string::npos) << run.log();
  EXPECT_NE(run.log().find(", restoring from "), std::string::npos);
}

// What a failure leaves behind, met by the next run: the temporaries of a save killed half-way
// go, a report is replaced only by a written one, a Log.txt that cannot be written is said on
// stderr and the close still ends the run, and a huge parameters file is refused unread.
TEST(ProgramRun, WhatAFailureLeftBehindIsCleanedUpOrKept) {
  struct Case {
    const char* name;
    std::function<void(const ProductionRun&)> arrange;
    int exitCode;
    std::function<void(const ProductionRun&)> check;
    // Closed once this line is in the log instead of after a second: a busy machine had not
    // written the report by then, and the close cancelled the scan before it.
    const char* closeAfter = nullptr;
  };
  const Case cases[] = {
      {"interrupted saves",
       [](const ProductionRun& run) {
         for (const char* name : {"airports/EDDF.xml.999999.0.tmp", "airports/learned/LFPG.xml.999998.7.tmp"})
           testing_support::writeFile(run.program / name, "<root");
       },
       0,
       [](const ProductionRun& run) {
         EXPECT_FALSE(fs::exists(run.program / "airports" / "EDDF.xml.999999.0.tmp")) << run.log();
         EXPECT_FALSE(fs::exists(run.program / "airports" / "learned" / "LFPG.xml.999998.7.tmp"));
       }},
      {"a report that cannot be written",
       [](const ProductionRun& run) {
         testing_support::writeFile(run.program / "output" / "info" / "OfflineRegcodes.txt", "last report\n");
         fs::create_directories(run.program / "output" / "info" / "OfflineRegcodes.txt.tmp");  // blocks the write
       },
       0,
       [](const ProductionRun& run) {
         EXPECT_NE(run.log().find("Could not write '"), std::string::npos) << run.log();
         EXPECT_EQ(testing_support::readFile(run.program / "output" / "info" / "OfflineRegcodes.txt"), "last report\n");
       },
       "Could not write '"},
      {"Log.txt cannot be written",
       [](const ProductionRun& run) { fs::create_directories(run.program / "Log.txt"); },
       1,
       [](const ProductionRun& run) {
         EXPECT_NE(run.errors().find("JORV: Start failed before main thread start: Failed to write file Log.txt: Is a directory"),
                   std::string::npos)
             << run.errors();
       }},
      {"Log.txt a link to /dev/full",
       [](const ProductionRun& run) { fs::create_symlink("/dev/full", run.program / "Log.txt"); },
       0,
       [](const ProductionRun& run) {
         const std::string said = "JORV: the log Log.txt cannot be written: No space left on device\n";
         EXPECT_EQ(run.errors().find(said), run.errors().rfind(said)) << "once: " << run.errors();
         EXPECT_NE(run.errors().find(said), std::string::npos) << run.errors();
       }},
      {"settings that cannot be saved",
       [](const ProductionRun& run) {
         fs::create_directories(run.appdata / "JORV" / "parameters.xml.tmp" / "full");  // blocks every save
       },
       1,
       [](const ProductionRun& run) {
         EXPECT_NE(run.errors().find("parameters.xml failed: Is a directory\n"), std::string::npos) << run.errors();
       }},
      {"huge parameters.xml",
       [](const ProductionRun& run) {
         const fs::path parameters = run.appdata / "JORV" / "parameters.xml";
         fs::copy_file(parameters, fs::path(parameters).concat(".bak"));
         std::string nested = "<root>";
         for (int i = 0; i < 400'000; ++i) nested += "<a>";
         testing_support::writeFile(parameters, nested);
       },
       0,
       [](const ProductionRun& run) {
         const fs::path parameters = run.appdata / "JORV" / "parameters.xml";
         EXPECT_NE(run.log().find("could not be loaded: larger than 1048576 bytes, restoring from "), std::string::npos)
             << run.log();
         EXPECT_NE(testing_support::readFile(parameters).find("RT App"), std::string::npos);
         EXPECT_EQ(fs::file_size(fs::path(parameters).concat(".corrupt")), 6u + 3u * 400'000u) << "kept aside";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProductionRun run;
    run.chooseRTApp();
    c.arrange(run);
    if (c.closeAfter) {
      const pid_t pid = run.start(600);
      auto written = [&] { return fs::exists(run.program / "Log.txt") && run.log().find(c.closeAfter) != std::string::npos; };
      for (int i = 0; i < 6000 && !written(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      ::kill(pid, SIGTERM);
      EXPECT_EQ(ProductionRun::wait(pid), c.exitCode) << run.log() << run.errors();
    } else {
      EXPECT_EQ(run.run(1.0), c.exitCode) << run.log() << run.errors();
    }
    c.check(run);
  }
}

// A service manager's stop ends the run in order, as the close button would.
TEST(ProgramRun, SigtermClosesTheWindowAndEndsInOrder) {
  ProductionRun run;
  run.chooseRTApp();
  const pid_t pid = run.start(600);
  // The set-up's lines reach the file when it is done.
  auto setUp = [&] { return fs::exists(run.program / "Log.txt") && run.log().find(" airports read\n") != std::string::npos; };
  for (int i = 0; i < 3000 && !setUp(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(setUp()) << run.errors();
  ::kill(pid, SIGTERM);
  EXPECT_EQ(ProductionRun::wait(pid), 0) << run.errors();
  const std::string log = run.log();
  std::size_t from = 0;
  for (const char* line : {" Exiting: USER CLOSED SIM\n", "Shutdown cleanup completed; posting MSG_EXIT\n",
                           "MAIN_WINDOW_X=400\n", "MAIN_WINDOW_Y=20\n"}) {
    const auto found = log.find(line, from);
    ASSERT_NE(found, std::string::npos) << line << "\n" << log;
    from = found;
  }
  EXPECT_TRUE(log.ends_with("Z\n")) << "the closing date line, flushed";
}

// RT Direct without a licence: the start-up stops at the licence prompt and its error. The
// unattended run's timer and a first SIGTERM still close the program in order, promptly.
TEST(ProgramRun, WithoutALicenceTheCloseStillEndsTheRunInOrder) {
  // A licence that is a named pipe (nobody writes to it) or far too big counts as none.
  const struct {
    const char* licence;
    bool bySignal;
    const char* problem;
  } cases[] = {{"none", false, nullptr},
               {"none", true, nullptr},
               {"named pipe", false, "'. Problem: not a regular file"},
               {"oversized", true, "'. Problem: larger than 65536 bytes"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.licence);
    const bool bySignal = c.bySignal;
    ProductionRun run;  // RT Direct, the default, and no licence anywhere
    const fs::path licence = run.program / "RealTraffic.lic";
    if (c.licence == std::string("named pipe")) ASSERT_EQ(::mkfifo(licence.c_str(), 0600), 0);
    if (c.licence == std::string("oversized"))
      testing_support::writeFile(licence, "{\"License\":\"" + std::string(1 << 20, 'x') + "\"}");
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = run.start(bySignal ? 600 : 3);
    if (bySignal) {
      // The error's lines reach the file late: some seconds in, the run holds its error line.
      auto held = [&] {
        return fs::exists(run.program / "Log.txt") && run.log().find(" Exiting: SYSTEM ERROR") != std::string::npos;
      };
      for (int i = 0; i < 800 && !held(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      ::kill(pid, SIGTERM);
    }
    EXPECT_EQ(ProductionRun::wait(pid), 1) << "a run that ends on a fault says so\n" << run.errors();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string log = run.log();
    EXPECT_LT(seconds, 20.0) << (bySignal ? "SIGTERM" : "timer") << "\n" << log;
    EXPECT_NE(log.find("Error 899: No valid RT license"), std::string::npos) << log;
    if (c.problem) EXPECT_NE(log.find(c.problem), std::string::npos) << log;
    EXPECT_NE(log.find(" Exiting: SYSTEM ERROR"), std::string::npos) << log;
    EXPECT_NE(log.find("Shutdown cleanup completed; posting MSG_EXIT\n"), std::string::npos) << log;
    // Said where whoever started it sees it too: the window may be seen by nobody, and the log
    // may be what could not be written.
    const std::string errors = run.errors();
    EXPECT_NE(errors.find("JORV: 899: No valid RT license"), std::string::npos) << errors;
    EXPECT_NE(errors.find(" Exiting: SYSTEM ERROR\n"), std::string::npos) << errors;
  }
}

}  // namespace
