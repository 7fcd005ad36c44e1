// The user's aircraft: the model with its wingspan and category, the on-ground pacing, the jump
// that restarts as a new flight, the user's stand and the simulator's UTC time.
#include <cmath>

#include "refdata/model_ids.h"
#include "tests/simlink/sim_fixture.h"

namespace simtest {
namespace {

constexpr double kB738HalfSpanM = 17.9;
constexpr double kA320HalfSpanM = 17.0;

class UserAircraftTest : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    // The dbase's part that the model reply reads: two types with half wingspans, both large.
    gf_resetModelTables();
    gf_internModelName("");
    for (auto [code, halfSpanM] : {std::pair{"B738", kB738HalfSpanM}, std::pair{"A320", kA320HalfSpanM}}) {
      const ModelId id = gf_internModelName(code);
      g_dbaseModelCodes.insert(code);
      g_largeModels.insert(id);
      if (g_wingspanTable.size() <= id) g_wingspanTable.resize(id + 1, 0.0);
      g_wingspanTable[id] = halfSpanM / 1852.0;
    }

    UserAircraftHooks hooks;
    hooks.setUserWingspanKnown = recordTo(wingspanKnown);
    hooks.setUserStand = recordTo(shownStands);
    hooks.rtProfessional = [this] { return professional.load(); };
    hooks.standNameAtPos = [this](const Lalo&) -> std::optional<std::string> {
      ++standLookups;
      return std::string("GATE A12");
    };
    hooks.parkAirportCode = [] { return IcaoCode("EDDM"); };
    hooks.storeUserStand = [this](const IcaoCode& airport, std::string_view stand) {
      std::lock_guard lock(mutex_);
      storedStands.push_back(fmt::format("{} {}", airport.text(), stand));
      return true;
    };
    gf_setUserAircraftHooks(hooks);
  }

  void TearDown() override {
    SimLinkTest::TearDown();  // the thread has ended: nothing calls the hooks any more
    gf_setUserAircraftHooks({});
    gf_resetModelTables();
  }

  void sendPosition(double lat, double lon) {
    sim::UserAircraft user = sim::userAircraft();
    user.latitude = lat;
    user.longitude = lon;
    sim::setUserAircraft(user);
    gf_queueSimCommand(SimCommand{3, 0});
    frame();
  }

  void sendZulu(std::int64_t year, std::int64_t day, std::int64_t seconds) {
    sim::UserAircraft user = sim::userAircraft();
    user.zuluYear = year;
    user.zuluDayOfYear = day;
    user.zuluTime = seconds;
    sim::setUserAircraft(user);
    sendPosition(user.latitude, user.longitude);
  }

  std::atomic<bool> professional{false};
  std::atomic<int> standLookups{0};
  std::vector<bool> wingspanKnown;
  std::vector<std::string> shownStands;
  std::vector<std::string> storedStands;
};

TEST(SimZuluSecondsTest, DaysAndSecondsAreCheckedAgainstTheirYear) {
  struct Case {
    std::int64_t year, day, seconds;
    std::optional<std::int64_t> expected;
  };
  const Case cases[] = {
      {1970, 1, 0, 0},
      {1969, 365, 86399, -1},
      {2024, 366, 86399, 1735689599},  // the last second of a leap year
      {2023, 366, 0, std::nullopt},
      {2000, 366, 0, 978220800},  // divisible by 400: a leap year
      {1900, 366, 0, std::nullopt},
      {2024, 0, 0, std::nullopt},
      {2024, 1, 86400, std::nullopt},
      {2024, 1, -1, std::nullopt},
      {32768, 1, 0, std::nullopt},
      {-32768, 1, 0, std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(gf_simZuluSeconds(c.year, c.day, c.seconds), c.expected) << c.year << "/" << c.day << "/" << c.seconds;
  EXPECT_TRUE(gf_simZuluSeconds(32767, 1, 0).has_value());
  EXPECT_TRUE(gf_simZuluSeconds(-32767, 1, 0).has_value());
}

TEST_F(UserAircraftTest, AJumpOfMoreThanTenMilesRestartsAsANewFlight) {
  constexpr double kNmInDegrees = 1.0 / 60.0;  // along a meridian
  connect();
  sendPosition(47.0, 8.0);  // the first position comes from "nowhere"
  EXPECT_TRUE(gf_isRunning());
  sendPosition(47.0 + 9.5 * kNmInDegrees, 8.0);
  EXPECT_TRUE(gf_isRunning());
  // A position of 0/0 is not known yet, before or after: neither jump counts.
  sendPosition(0.0, 0.0);
  sendPosition(50.0, 8.0);
  EXPECT_TRUE(gf_isRunning());
  EXPECT_EQ(countOf(log(), "Teleport"), 0u);

  sendPosition(50.0 + 10.5 * kNmInDegrees, 8.0);
  EXPECT_FALSE(gf_isRunning());
  const auto request = gf_stopRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->reason, StopReason::NewFlight);
  EXPECT_EQ(request->restartDelaySeconds, 60u);
  EXPECT_EQ(countOf(log(), "Teleport\n"), 1u);
  // The state is kept all the same.
  EXPECT_EQ(gf_getUserAcPosition().latitude, 50.0 + 10.5 * kNmInDegrees);
}

TEST_F(UserAircraftTest, ModelReplyGivesTheHalfWingspanAndCategory) {
  struct Case {
    const char* name;
    std::string title;
    std::string model;
    std::optional<bool> known;  // the indicator; nothing when it is not posted
    std::string line;           // the continuation line, "" for none
    std::string message;        // to the status line, "" for none
    double halfSpanM;           // NaN: unknown
  };
  const double nan = std::nan("");
  const Case cases[] = {
      {"known type", "Stand-in 737", "B738", true,
       "SimConnect: User aircraft model: B738, half wing span: 17.9 meter, category: large", "", kB738HalfSpanM},
      {"decorated model", "Stand-in 737", "ATCCOM.AC_MODEL B738.0.text", true,
       "SimConnect: User aircraft model: B738, half wing span: 17.9 meter, category: large", "", kB738HalfSpanM},
      {"type from the title", "Aerosoft A320 Lufthansa", "AS320", true,
       "SimConnect: User aircraft model deduced from title: A320, half wing span: 17.0 meter, category: large", "",
       kA320HalfSpanM},
      {"camera", "Drone", "camerapod", true, "SimConnect: User aircraft model: camerapod", "", nan},
      {"unknown type", "Stand-in Glider", "GLID", false, "SimConnect: User aircraft model: GLID, category: none",
       "User aircraft wing span unknown, max is taken instead, please report in my Forum!", nan},
      {"empty model", "Stand-in Nothing", "", false, "",
       "171: No model info from your user aircraft received in SimConnect, max wing span is taken instead", nan},
  };
  connect();
  for (const Case& c : cases) {
    {
      std::lock_guard lock(mutex_);
      wingspanKnown.clear();
    }
    {
      std::lock_guard lock(g_messagesMutex);
      g_messages.clear();
    }
    const std::string line = "          " + c.line + "\n";
    const std::size_t linesBefore = countOf(log(), line);
    sim::UserAircraft user = sim::userAircraft();
    user.title = c.title;
    user.atcModel = c.model;
    sim::setUserAircraft(user);
    gf_queueSimCommand(SimCommand{1, 0});
    frame();

    const std::string text = log();
    EXPECT_NE(text.find("          model raw: " + c.model + "\n"), std::string::npos) << c.name;
    if (!c.line.empty()) {
      EXPECT_EQ(countOf(text, line), linesBefore + 1) << c.name;
    }
    {
      std::lock_guard lock(mutex_);
      EXPECT_EQ(wingspanKnown, c.known ? std::vector<bool>{*c.known} : std::vector<bool>{}) << c.name;
    }
    EXPECT_EQ(messages(), c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message})
        << c.name;
    if (std::isnan(c.halfSpanM)) {
      EXPECT_TRUE(std::isnan(g_userHalfWingspanNm.load())) << c.name;
    } else {
      EXPECT_EQ(g_userHalfWingspanNm.load(), c.halfSpanM / 1852.0) << c.name;
    }
  }
  EXPECT_NE(log().find("          model normalized: B738\n"), std::string::npos);
}

// The on-ground reply comes every second and each one sets the engine's step due. One before
// the first position already tells the state (the start waits for it); its log line waits.
TEST_F(UserAircraftTest, OnGroundBeforeAnyPositionTellsTheStateAndLogsLater) {
  sim::UserAircraft user;
  user.latitude = 47.5;
  user.longitude = 8.25;
  user.onGround = true;
  user.altitude = -12.0;  // below sea level
  user.altitudeAboveGround = 1.0;
  user.groundVelocity = 4.0;
  sim::setUserAircraft(user);
  connect();
  gf_queueSimCommand(SimCommand{2, 0});
  frame();
  EXPECT_TRUE(g_stepDue.exchange(false));
  EXPECT_TRUE(g_userOnGround.load());
  EXPECT_TRUE(g_userOnGroundKnown.load());
  EXPECT_EQ(countOf(log(), "User ground data"), 0u);

  gf_queueSimCommand(SimCommand{3, 0});
  frame();
  EXPECT_EQ(gf_getUserAcPosition().altitude, 0.0);
  frame(25);  // half a second at 50 frames a second: no reply yet
  EXPECT_FALSE(g_stepDue.load());
  frame(25);  // the next reply, one second later
  EXPECT_TRUE(g_stepDue.exchange(false));
  EXPECT_TRUE(g_userOnGround.load());
  frame(50);
  const std::string text = log();
  EXPECT_EQ(countOf(text, "User ground data: SIM ON GROUND=true, AGL=1 ft, altitude=0 ft, groundspeed=4 kt, "
                          "position=47.500000,8.250000\n"),
            1u);
}

TEST_F(UserAircraftTest, TheStandUnderTheUserIsShownOnlyOnTheGround) {
  sim::UserAircraft user;
  user.onGround = false;
  sim::setUserAircraft(user);
  connect();
  gf_queueSimCommand(SimCommand{2, 0});  // airborne from now on
  frame();
  sendPosition(47.0, 8.0);
  EXPECT_EQ(standLookups.load(), 0);

  user = sim::userAircraft();
  user.onGround = true;
  sim::setUserAircraft(user);
  frame(50);  // the on-ground reply of the next second
  ASSERT_TRUE(g_userOnGround.load());
  sendPosition(47.0, 8.0);
  EXPECT_EQ(standLookups.load(), 1);
  std::lock_guard lock(mutex_);
  EXPECT_EQ(shownStands, (std::vector<std::string>{"", "GATE A12"}));
}

TEST_F(UserAircraftTest, TheUsersStandIsKeptWhenTheLinkEndsStandingStill) {
  struct Case {
    double groundSpeed;
    bool onGround;
    bool stored;
  };
  const Case cases[] = {{2.0, true, true}, {2.1, true, false}, {0.0, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(fmt::format("ground speed {}, on ground {}", c.groundSpeed, c.onGround));
    gf_resetSimClient();
    {
      std::lock_guard lock(mutex_);
      storedStands.clear();
    }
    sim::UserAircraft user;
    user.groundVelocity = c.groundSpeed;
    user.onGround = c.onGround;
    sim::setUserAircraft(user);
    connect();
    sendPosition(47.0, 8.0);
    gf_queueSimCommand(SimCommand{2, 0});
    frame();
    ASSERT_EQ(g_userOnGround.load(), c.onGround);
    stopClient();
    std::lock_guard lock(mutex_);
    EXPECT_EQ(storedStands, c.stored ? std::vector<std::string>{"EDDM GATE A12"} : std::vector<std::string>{});
  }
}

TEST_F(UserAircraftTest, ZuluTimeIsKeptWithAProfessionalAccessAndABadOneWarnsOnce) {
  connect();
  const std::string warning = "==> Invalid simulator Zulu time: year=2023, day-of-year=366, seconds=0\n";
  professional = true;
  sendZulu(2024, 366, 86399);
  EXPECT_TRUE(g_simZuluTimeValid.load());
  EXPECT_EQ(g_simZuluTime.load(), 1735689599);

  sendZulu(2023, 366, 0);
  EXPECT_FALSE(g_simZuluTimeValid.load());
  sendZulu(2023, 366, 0);
  EXPECT_EQ(countOf(log(), warning), 1u);

  sendZulu(2024, 1, 0);  // valid again: the warning is armed again
  EXPECT_TRUE(g_simZuluTimeValid.load());
  EXPECT_EQ(g_simZuluTime.load(), 1704067200);
  sendZulu(2023, 366, 0);
  EXPECT_EQ(countOf(log(), warning), 2u);

  professional = false;
  sendZulu(2024, 1, 0);
  EXPECT_FALSE(g_simZuluTimeValid.load());
}

}  // namespace
}  // namespace simtest
