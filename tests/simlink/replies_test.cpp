// The simulator's replies: sizes, the user aircraft's records, creates and their answers.
#include <cstring>

#include "tests/simlink/sim_fixture.h"

namespace simtest {
namespace {

// A record of the given kind, laid out in full, then cut to `length` bytes.
std::vector<std::byte> lf_record(std::uint32_t id, std::uint32_t fullSize, std::uint32_t length,
                                 std::vector<std::uint32_t> words = {}) {
  std::vector<std::byte> bytes(fullSize);
  const std::uint32_t head[3] = {fullSize, 1, id};
  std::memcpy(bytes.data(), head, sizeof head);
  for (std::size_t i = 0; i < words.size() && 12 + 4 * i + 4 <= fullSize; ++i)
    std::memcpy(bytes.data() + 12 + 4 * i, &words[i], 4);
  bytes.resize(length);
  return bytes;
}

struct ShortCase {
  const char* name;
  std::uint32_t id;
  std::uint32_t fullSize;
  std::vector<std::uint32_t> words;  // after the 12-byte head
};

TEST_F(SimLinkTest, RecordsOneByteShortAreRefusedWithAWarning) {
  connect();
  const ShortCase cases[] = {
      {"RECV", SIMCONNECT_RECV_ID_QUIT, 12, {}},
      {"EXCEPTION", SIMCONNECT_RECV_ID_EXCEPTION, 24, {SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 0, 0}},
      {"OPEN", SIMCONNECT_RECV_ID_OPEN, 308, {}},
      {"EVENT", SIMCONNECT_RECV_ID_EVENT, 24, {0, EVENT_SIM, 0}},
      {"EVENT_OBJECT_ADDREMOVE", SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, 28, {0, EVENT_OBJECT_REMOVED, 77, 2}},
      {"ASSIGNED_OBJECT_ID", SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID, 20, {10000, 77}},
      {"SIMOBJECT_DATA", SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 40, {USER_AC_POSITION, 1}},
      {"AI_STATIC_CG_AND_PITCH", SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 56, {AI_STATIC_CG_AND_PITCH, 77}},
      {"AI_INITIAL_POSE", SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 104, {AI_INITIAL_POSE, 77}},
      {"USER_AC_ON_GROUND", SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 48, {USER_AC_ON_GROUND, 1}},
      {"USER_AC_POSITION", SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 160, {USER_AC_POSITION, 1}},
      {"SIMOBJECT_DATA_BYTYPE", SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, 40, {AI_POSITION, 77}},
      {"AI_POSITION", SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, 96, {AI_POSITION, 77}},
  };
  for (const ShortCase& c : cases) {
    g_stepDue = false;
    sim::injectMessage(lf_record(c.id, c.fullSize, c.fullSize - 1, c.words));
    ASSERT_TRUE(sim::waitForIdle());
    const std::string warning =
        fmt::format("==> SimConnect {} payload too small: {} < {} bytes", c.name, c.fullSize - 1, c.fullSize);
    EXPECT_EQ(countOf(log(), warning), 1u) << c.name;
    EXPECT_TRUE(takeDelayed().empty()) << c.name;
    EXPECT_EQ(g_simState.load(), 2) << c.name;
    EXPECT_FALSE(g_stepDue.load()) << c.name;
    EXPECT_EQ(g_userObjectId.load(), 2u) << c.name;
  }
  std::lock_guard lock(mutex_);
  EXPECT_TRUE(errors.empty());
}

TEST_F(SimLinkTest, UserPositionIsReadFieldByFieldAndATruncatedOneIsDropped) {
  sim::setUserAircraft({.objectId = 7, .latitude = 47.25, .longitude = 8.5, .pitch = 0.01, .bank = -0.02, .heading = 1.5,
                         .altitude = 1416.0, .indicatedAltitude = 1420.0, .altitudeAboveGround = 3.0,
                         .verticalSpeed = 512.0, .groundVelocity = 12.0, .gpsTrack = 85.5, .zuluTime = 3600,
                         .zuluDayOfYear = 366, .zuluYear = 2024, .lightStates = 0x25});
  connect();

  sim::truncateNext(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 1);
  gf_queueSimCommand(SimCommand{3, 0});
  frame();
  EXPECT_NE(log().find("SimConnect USER_AC_POSITION payload too small: 159 < 160 bytes"), std::string::npos);
  EXPECT_EQ(gf_getUserAcPosition().latitude, 0.0);
  EXPECT_EQ(g_userObjectId.load(), 2u);

  gf_queueSimCommand(SimCommand{3, 0});
  frame();
  const UserAcPosition p = gf_getUserAcPosition();
  const std::pair<double, double> fields[] = {
      {p.latitude, 47.25},   {p.longitude, 8.5},     {p.pitch, 0.01},        {p.bank, -0.02},
      {p.verticalSpeed, 512.0}, {p.heading, 1.5},   {p.altitude, 1416.0},   {p.indicatedAltitude, 1420.0},
      {p.altitudeAboveGround, 3.0}, {p.groundSpeed, 12.0}, {static_cast<double>(p.zuluTime), 3600},
      {static_cast<double>(p.zuluDayOfYear), 366}, {static_cast<double>(p.zuluYear), 2024},
      {static_cast<double>(p.lightStates), 0x25}, {p.gpsTrack, 85.5}};
  for (std::size_t i = 0; i < std::size(fields); ++i) EXPECT_EQ(fields[i].first, fields[i].second) << "field " << i;
  EXPECT_EQ(g_userObjectId.load(), 7u);
}

TEST_F(SimLinkTest, TitleAndModelBitsAreSetHoweverShortTheReply) {
  connect();
  g_userInfoReceived = 0;
  sim::injectMessage(lf_record(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 40, 40, {USER_AC_TITLE, 1}));
  ASSERT_TRUE(sim::waitForIdle());
  EXPECT_EQ(g_userInfoReceived.load(), kUserTitleReceived);
  sim::injectMessage(lf_record(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 72, 71, {USER_AC_MODEL, 1}));
  ASSERT_TRUE(sim::waitForIdle());
  EXPECT_EQ(g_userInfoReceived.load(), kUserTitleReceived | kUserModelReceived);
  EXPECT_NE(log().find("==> SimConnect USER_AC_MODEL payload too small: 71 < 72 bytes"), std::string::npos);
}

TEST_F(SimLinkTest, TitleAndModelRepliesOfTheUserAircraft) {
  sim::UserAircraft user;
  user.title = std::string(50, 'T') + "0123456789";  // 60 characters
  user.atcModel = "B738";
  sim::setUserAircraft(user);
  connect();
  g_userInfoReceived = 0;
  gf_queueSimCommand(SimCommand{1, 0});
  frame();
  EXPECT_EQ(g_userInfoReceived.load(), kUserTitleReceived | kUserModelReceived);
  const std::string text = log();
  EXPECT_NE(text.find("          SimConnect: user aircraft title: " + std::string(48, 'T') + "\n"), std::string::npos);
  EXPECT_NE(text.find("          model raw: B738"), std::string::npos);
}

TEST_F(SimLinkTest, CreateIsAnsweredWithAnObjectIdThatReachesTheEngine) {
  connect();
  const std::uint32_t live = createObject(0xABCDEF, "N1");
  const std::uint32_t parked = createObject(42, "N2");
  const auto delayed = takeDelayed();
  ASSERT_EQ(delayed.size(), 2u);
  EXPECT_EQ(delayed[0].kind, 0u);
  EXPECT_EQ(delayed[0].objectId, live);
  EXPECT_EQ(delayed[0].hexid, 0xABCDEFu);
  EXPECT_EQ(delayed[1].kind, 1u);
  EXPECT_EQ(delayed[1].objectId, parked);
  EXPECT_EQ(delayed[1].hexid, 42u);

  const auto object = sim::object(live);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->title, "Stand-in A320 Test Air");
  EXPECT_TRUE(object->released);
  EXPECT_TRUE(object->frozenLatLon);
  EXPECT_TRUE(object->frozenAltitude);
  EXPECT_TRUE(object->frozenAttitude);
  const auto creates = sim::callLog("AICreateNonATCAircraft");
  ASSERT_EQ(creates.size(), 2u);
  EXPECT_EQ(creates[0].detail, "Stand-in A320 Test Air, N1, 10000");
  EXPECT_EQ(creates[1].detail, "Stand-in A320 Test Air, N2, 10001");
}

TEST_F(SimLinkTest, RefusedCreateComesBackAsKindSix) {
  sim::setAcceptAllTitles(false);
  connect();
  gf_queueCreateAiObject({.tailNumber = "N9", .containerTitle = "Not Installed", .hexid = 0xABCDEF});
  frame(4);
  const auto delayed = takeDelayed();
  ASSERT_EQ(delayed.size(), 1u);
  EXPECT_EQ(delayed[0].kind, 6u);
  EXPECT_EQ(delayed[0].objectId, 0u);
  EXPECT_EQ(delayed[0].hexid, 0xABCDEFu);
  EXPECT_EQ(delayed[0].value1, 10000.0);
  const std::string text = log();
  EXPECT_NE(text.find("requestId:10000 hexid:abcdef tailnumber:N9"), std::string::npos);

  sim::sendException(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, 9999);
  ASSERT_TRUE(sim::waitForIdle());
  EXPECT_NE(log().find("CREATE_OBJECT_FAILED packetId:9999 (no pending request)"), std::string::npos);
  EXPECT_TRUE(takeDelayed().empty());
}

TEST_F(SimLinkTest, AssignedObjectIdWithoutPendingCreateIsOnlyLogged) {
  connect();
  sim::injectMessage(lf_record(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID, 20, 20, {777, 55}));
  ASSERT_TRUE(sim::waitForIdle());
  EXPECT_NE(log().find("ASSIGNED_OBJECT_ID: requestId:777 oid:37 (no pending)"), std::string::npos);
  EXPECT_TRUE(takeDelayed().empty());
  EXPECT_TRUE(sim::callLog("AIReleaseControl").empty());
}

TEST_F(SimLinkTest, ObjectRemovedBySimulatorReachesTheEngineOnlyForAircraft) {
  connect();
  const std::uint32_t id = createObject(0xABCDEF);
  takeDelayed();
  // An addition, and a removal of another object type, change nothing.
  sim::injectMessage(lf_record(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, 28, 28, {0, EVENT_OBJECT_ADDED, id, 2}));
  sim::injectMessage(lf_record(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, 28, 28, {0, EVENT_OBJECT_REMOVED, id, 3}));
  ASSERT_TRUE(sim::waitForIdle());
  EXPECT_TRUE(takeDelayed().empty());

  sim::removeObjectBySim(id);
  ASSERT_TRUE(sim::waitForIdle());
  const auto delayed = takeDelayed();
  ASSERT_EQ(delayed.size(), 1u);
  EXPECT_EQ(delayed[0].kind, 2u);
  EXPECT_EQ(delayed[0].objectId, id);
  EXPECT_NE(delayed[0].hexid, kGoneWithSession) << "the session goes on";
}

TEST_F(SimLinkTest, AircraftWithinRangeAreReportedUpTo2500FeetAboveGround) {
  sim::UserAircraft user;
  user.latitude = 47.0;
  user.longitude = 8.0;
  sim::setUserAircraft(user);
  sim::addOtherAircraft({501, "HB-AAA", 47.01, 8.0, 2500.0, 1300.0, false});
  sim::addOtherAircraft({502, "HB-BBB", 47.02, 8.0, 2500.1, 1300.0, false});
  sim::addOtherAircraft({503, "", 47.03, 8.0, 0.0, 1300.0, true});
  sim::addOtherAircraft({504, "HB-DDD", 49.0, 8.0, 0.0, 1300.0, true});  // beyond the range
  connect();
  createObject(42, "STATIC1");  // a static aircraft of our own, on the ground nearby
  gf_queueSimCommand(SimCommand{3, 0});
  frame();
  takeDelayed();

  gf_queueSimCommand(SimCommand{0, 0});
  frame();
  const auto delayed = takeDelayed();
  ASSERT_EQ(delayed.size(), 1u);
  EXPECT_EQ(delayed[0].kind, 3u);
  EXPECT_EQ(delayed[0].objectId, 501u);
  EXPECT_EQ(delayed[0].hexid, 0u);
  EXPECT_EQ(delayed[0].value1, 1300.0);
  EXPECT_EQ(delayed[0].value2, 2500.0);
  // 40 NM plus 10 km in RT Direct mode.
  EXPECT_EQ(sim::callLog("RequestDataOnSimObjectType").back().detail, "101, 404, 84080, 2");
}

TEST_F(SimLinkTest, VersionMismatchExceptionEndsTheThreadWithItsError) {
  connect();
  sim::sendException(SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 0, 7);
  join();
  std::lock_guard lock(mutex_);
  EXPECT_EQ(errors, std::vector<std::string>{"95: SimConnect Version Mismatch, dwIndex: 7"});
  EXPECT_TRUE(gf_isRunning());
}

}  // namespace
}  // namespace simtest
