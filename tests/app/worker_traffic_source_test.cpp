// The traffic-source start: RT App (server, handshake, readers) and RT Direct (cooldown,
// sign-in, readers, first traffic).
#include "tests/app/worker_fixture.h"

namespace {
using worker_test::kSecond;
using worker_test::WorkerFixture;

class TrafficSource : public WorkerFixture {
 protected:
  void SetUp() override {
    WorkerFixture::SetUp();
    gf_publishSimChoice(SimChoice{2, 1});
    UserAcPosition user;
    user.latitude = 52.3;
    user.longitude = 4.76;
    gf_publishUserAcPosition(user);
  }
  std::vector<std::string> licenseTexts() {
    std::vector<std::string> texts;
    std::lock_guard lock(g_gui.queueMutex);
    for (const GuiUpdate& update : g_gui.queue)
      if (auto* text = std::get_if<gui::SetRTLicenseText>(&update)) texts.push_back(text->text);
    return texts;
  }
};

TEST_F(TrafficSource, RTAppStartsTheServerShakesHandsThenWeatherBeforeTrafficReader) {
  ASSERT_TRUE(lf_startRTApp());
  joinReaders();
  EXPECT_LT(position("scanAirports"), position("startRTAppServer"));
  EXPECT_LT(position("startRTAppServer"), position("rtAppHandshake"));
  EXPECT_LT(position("rtAppHandshake"), position("sendUserPositionToRTApp"));
  EXPECT_LT(position("setRTAppQueryCentre"), position("waitForFirstTraffic"));
  EXPECT_TRUE(called("rtAppWeatherReader"));
  EXPECT_TRUE(called("rtAppTrafficReader"));
  EXPECT_TRUE(g_feedConnected);
  EXPECT_TRUE(g_rtProfessional) << "the fake app answered level 2";
  EXPECT_TRUE(g_rtAppServerStarted);
  EXPECT_TRUE(called("sendTimeOffsetToRTApp"));
  EXPECT_NE(at("user not at an airport, no RT parked Traffic needed\n"), -1);

  // A number the resolver would take modulo 65536, or as any free port, is refused unopened.
  for (const char* port : {"99999999", "0", "65536", "-1", " 70000"}) {
    clearCalls();
    PORT_NUMBER.value = port;
    std::string refused;
    try {
      lf_startRTApp();
    } catch (const std::runtime_error& e) {
      refused = e.what();
    }
    EXPECT_EQ(refused, fmt::format("PORT_NUMBER \"{}\" is not a port number from 1 to 65535", port));
    EXPECT_FALSE(called("startRTAppServer")) << port;
  }
  PORT_NUMBER.value = PORT_NUMBER.defaultValue;
}

TEST_F(TrafficSource, WithoutOurServerNothingIsSentToTheApp) {
  struct Case {
    bool psxServerHere;
    bool aerowinx;
    bool connectedAtOnce;
  } cases[] = {{true, true, false}, {false, false, true}, {false, true, true}};
  for (const Case& c : cases) {
    clearCalls();
    g_feedConnected = false;
    g_rtProfessional = true;
    PSX_SERVER_HERE.value = c.psxServerHere;
    AEROWINX.value = c.aerowinx;
    ASSERT_TRUE(lf_startRTApp());
    joinReaders();
    const std::string name = fmt::format("PSX_SERVER_HERE {} AEROWINX {}", c.psxServerHere, c.aerowinx);
    EXPECT_FALSE(called("startRTAppServer")) << name;
    EXPECT_FALSE(called("rtAppHandshake")) << name;
    EXPECT_FALSE(called("sendUserPositionToRTApp")) << name;
    EXPECT_FALSE(called("sendTimeOffsetToRTApp")) << name;
    EXPECT_EQ(g_feedConnected.load(), c.connectedAtOnce) << name;
    if (c.aerowinx && c.psxServerHere) {
      EXPECT_FALSE(g_rtProfessional) << name;
    }
    // The pause tick's position report skips the app too: no "gone" restart.
    g_simState = 1;
    for (int i = 0; i < 250; ++i) lf_tick();
    EXPECT_FALSE(called("sendUserPositionToRTApp")) << name;
    EXPECT_TRUE(gf_isRunning()) << name;
    g_flightPaused = false;
  }
}

TEST_F(TrafficSource, TheAppsVersionReplySetsTheEdition) {
  struct Case {
    const char* answer;
    bool professional;
    const char* license;  // nullptr: none set
  } cases[] = {
      {R"({"version":"10.0.1","level":2})", true, "RT App prof edition: 10.0.1"},
      {R"({"version":"9.1","level":1})", false, "RT App stnd edition: 9.1"},
      {R"({"version":"9.1"})", false, "RT App stnd edition: 9.1"},
      {R"(["version"])", false, ""},
      {"not json", false, ""},
      {"", false, nullptr},
  };
  for (const Case& c : cases) {
    gf_resetGuiForTest();
    g_rtProfessional = !c.professional;
    lf_processRTVersion(c.answer);
    EXPECT_EQ(g_rtProfessional.load(), c.professional) << c.answer;
    const auto texts = licenseTexts();
    if (c.license) {
      EXPECT_EQ(texts, std::vector<std::string>{c.license}) << c.answer;
    } else {
      EXPECT_TRUE(texts.empty()) << c.answer;
      const auto messages = shownMessages();
      EXPECT_EQ(messages, std::vector<std::string>{"No RealTraffic version received?"});
    }
  }
}

// A client that answered as the app does and then closes its end must not hold the seat through
// the start-up's waits (30 s for the buffer) nor until a later send fails: the run restarts at
// once, and the restart asks the next client.
TEST_F(TrafficSource, AnAppThatLeavesItsSeatRestartsTheRunAtOnce) {
  struct Case {
    const char* when;
    std::int64_t leavesAfter;  // on the worker's clock, from the start of the traffic source
    bool inMainLoop;
  } cases[] = {{"in the buffer wait", 5 * kSecond, false}, {"in the main loop", 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.when);
    gf_resetStopStateForTest();
    const std::size_t logBefore = log().size();
    appLeavesSeat = false;
    seams.rtAppBufferTrafficReceived = [] { return false; };  // the app sends no buffer
    gf_setWorkerSeams(seams);
    const std::int64_t start = now;
    onSleep = [&] {
      if (now - start >= c.leavesAfter && !c.inMainLoop) appLeavesSeat = true;
    };
    std::int64_t left = 0;
    if (c.inMainLoop) {
      seams.rtAppBufferTrafficReceived = [] { return true; };
      gf_setWorkerSeams(seams);
      ASSERT_TRUE(lf_startRTApp());
      g_simState = 1;  // the flight paused: the seat is watched all the same
      EXPECT_TRUE(lf_tick());
      appLeavesSeat = true;
      left = now;
      EXPECT_FALSE(lf_tick()) << "the tick that sees the seat free ends the loop";
    } else {
      EXPECT_FALSE(lf_startRTApp());
      left = start + c.leavesAfter;
    }
    onSleep = nullptr;
    joinReaders();
    EXPECT_LT(now - left, kSecond) << "seen within a second of the app's leaving";
    const auto request = gf_stopRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->reason, StopReason::NewSettings);
    EXPECT_EQ(request->restartDelaySeconds, 0u);
    EXPECT_FALSE(g_feedConnected);
    EXPECT_EQ(at("Time out: no buffer traffic received?"), -1);
    EXPECT_NE(log().find(" RealTraffic App gone\n", logBefore), std::string::npos);
    g_flightPaused = false;
  }
}

TEST_F(TrafficSource, RTDirectWithoutTrafficRestartsAfterTenSeconds) {
  gf_publishSimChoice(SimChoice{2, 0});
  seams.rtDirectFirstTrafficAnswer = [] { return false; };
  gf_setWorkerSeams(seams);
  const std::int64_t start = now;
  EXPECT_TRUE(lf_startRTDirect());
  joinReaders();
  EXPECT_NE(at("RTAPI TrafficReader receiving timed out after 10 seconds?\n"), -1);
  auto request = gf_stopRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->reason, StopReason::ReaderError);
  EXPECT_EQ(request->restartDelaySeconds, 15u);
  EXPECT_LT(now - start, 12 * kSecond);
  EXPECT_LT(position("holdRTAPICooldown"), position("authenticate"));
  EXPECT_LT(position("authenticate"), position("isAuthenticated"));
}

TEST_F(TrafficSource, RTDirectWithoutProfessionalAccessResetsTheTimeShift) {
  gf_publishSimChoice(SimChoice{2, 0});
  KEEP_SIM_TIME_PAR.value = true;
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.keepSimTimePar = true; });
  EXPECT_TRUE(lf_startRTDirect());
  joinReaders();
  EXPECT_TRUE(called("resetTimeShift"));
  EXPECT_FALSE(KEEP_SIM_TIME_PAR.value.load());
  EXPECT_FALSE(g_parameterSnapshot.load()->keepSimTimePar);
}

}  // namespace
