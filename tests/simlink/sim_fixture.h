#pragma once
// A SimClient thread against the stand-in simulator, in a temporary folder with its own Log.txt.
// Frames are pumped by the test, the link's clock is a number the test sets, and the waits of
// the thread are shortened, so nothing here depends on how fast the machine is.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "appbase/stop_request.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/user_message.h"
#include "simlink/ai_positions.h"
#include "simlink/delayed_commands.h"
#include "simlink/sim_client.h"
#include "simlink/sim_commands.h"
#include "simlink/sim_ids.h"
#include "simlink/user_aircraft.h"
#include "standin/sim/sim.h"
#include "tests/support/test_support.h"

namespace simtest {

namespace sim = standin::sim;
using namespace std::chrono_literals;

inline std::mutex g_messagesMutex;
inline std::vector<std::string> g_messages;  // what went to the status line

inline void recordMessage(std::string_view text, bool) {
  std::lock_guard lock(g_messagesMutex);
  g_messages.emplace_back(text);
}

class SimLinkTest : public ::testing::Test {
 protected:
  // A hook that appends what it is given to `to`, under the fixture's lock.
  template <typename Value>
  auto recordTo(std::vector<Value>& to) {
    return [this, &to](auto value) {
      std::lock_guard lock(mutex_);
      to.emplace_back(value);
    };
  }

  void SetUp() override {
    cwd_.emplace(dir_.path());
    gf_openLog();
    gf_resetStopStateForTest();
    sim::reset();
    gf_resetSimClientForTest();
    gf_publishSimChoice(SimChoice{2, 0});
    {
      std::lock_guard lock(g_messagesMutex);
      g_messages.clear();
    }
    gf_setUserMessageSink(recordMessage);
    SimClientTiming timing;
    timing.openRetry = 1ms;
    timing.dispatchPause = 100us;
    gf_setSimClientTimingForTest(timing);
    gf_setSimSteadyClockForTest([this] {
      ++clockReads;
      return clockNs.load();
    });
    SimLinkHooks hooks;
    hooks.showError = recordTo(errors);
    hooks.setSimulatorText = recordTo(simulatorTexts);
    hooks.setSimulationRunning = recordTo(runningUpdates);
    hooks.postSimVersion = [this] { ++simVersionPosts; };
    gf_setSimLinkHooks(hooks);
  }

  void TearDown() override {
    stopClient();
    gf_setUserMessageSink(nullptr);
    gf_resetSimClientForTest();
    sim::reset();
    gf_resetStopStateForTest();
    gf_publishSimChoice(SimChoice{});
    gf_closeLog();
  }

  void startClient() {
    gf_initSimClient();
    finished_ = false;
    thread_ = std::jthread([this](std::stop_token stopToken) {
      SimClient(stopToken);
      finished_ = true;
    });
  }

  // Frames go on while the clean-up waits, as they would in the simulator, so that creates
  // still in flight are answered (and removed at once).
  void stopClient() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    sim::waitUntil([this] {
      if (finished_) return true;
      sim::pumpFrames(1);
      return false;
    });
    thread_.join();
  }

  void requestStop() { thread_.request_stop(); }
  void join() {
    if (thread_.joinable()) thread_.join();
  }

  // The simulator runs, the client is connected and has handled everything queued so far.
  void connect(bool flightRunning = true) {
    sim::setRunning(true);
    sim::setFlightRunning(flightRunning);
    startClient();
    ASSERT_TRUE(sim::waitUntil([] { return g_simState.load() != 0; }));
    ASSERT_TRUE(sim::waitForIdle());
  }

  // One simulator frame, handled by the client before this returns.
  void frame(std::uint32_t count = 1) {
    for (std::uint32_t i = 0; i < count; ++i) {
      sim::pumpFrames(1);
      ASSERT_TRUE(sim::waitForIdle());
    }
  }

  // Queues a create and pumps until the simulator's answer has been handled; the object id.
  std::uint32_t createObject(std::uint32_t hexid, const std::string& tail = "N123AB") {
    const std::size_t before = sim::aiObjects().size();
    gf_queueCreateAiObject({.position = {.latitude = 47.0, .longitude = 8.0, .altitude = 1400.0, .heading = 90.0, .onGround = 1},
                            .tailNumber = tail,
                            .containerTitle = "Stand-in A320 Test Air",
                            .hexid = hexid});
    for (int i = 0; i < 10 && sim::aiObjects().size() == before; ++i) frame();
    frame();  // the answer reaches the client
    auto objects = sim::aiObjects();
    for (const auto& o : objects)
      if (o.tailNumber == tail) return o.objectId;
    ADD_FAILURE() << "no object with tail " << tail;
    return 0;
  }

  std::vector<DelayedSimCommand> takeDelayed() {
    std::vector<DelayedSimCommand> taken;
    gf_takeDelayedSimCommands(taken);
    return taken;
  }

  std::string log() {
    gf_flushLog();
    return testing_support::readFile(dir_ / "Log.txt");
  }

  static std::size_t countOf(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
    return count;
  }

  static std::vector<std::string> messages() {
    std::lock_guard lock(g_messagesMutex);
    return g_messages;
  }

  std::vector<bool> running() {
    std::lock_guard lock(mutex_);
    return runningUpdates;
  }

  std::atomic<std::int64_t> clockNs{0};
  std::atomic<std::uint64_t> clockReads{0};
  std::atomic<int> simVersionPosts{0};
  std::vector<std::string> errors;
  std::vector<std::string> simulatorTexts;
  std::vector<bool> runningUpdates;
  std::mutex mutex_;

 private:
  testing_support::TempDir dir_;
  std::optional<testing_support::ScopedCurrentDir> cwd_;
  std::jthread thread_;
  std::atomic<bool> finished_{false};
};

}  // namespace simtest
