#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <limits>
#include <thread>

#include "config/keys.h"
#include "core/utc_time.h"
#include "feed/rt_api_metar_client.h"
#include "feed/rt_api_session.h"
#include "feed/rt_license.h"
#include "tests/feed/rt_api_test_support.h"

namespace {

using feed_test::WebApiTest;
using rtstandin::WebApiFault;
using rtstandin::WebApiFaultKind;

class SessionTest : public WebApiTest {
 protected:
  void SetUp() override {
    WebApiTest::SetUp();
    g_rtApiMetarClient.waitMs = 2000;
    g_rtApiMetarClient.weatherWaitMs = 2000;
  }
  void TearDown() override {
    g_rtCredential.clear();
    gf_setSystemClockForTest({});
    WebApiTest::TearDown();
  }
  // Quick sign-ins: the sign-in waits the weather pace before it returns.
  static rtstandin::WebApiOptions quick() { return {.rrlMs = 250, .wrrlMs = 250}; }
  bool signIn() {
    g_rtCredential = "ABCD";
    return authenticate(status);
  }
  std::int32_t status = 0;
};

TEST_F(SessionTest, CredentialKindAndEncodingInTheBody) {
  startServer(quick());
  struct Case {
    const char* credential;
    const char* field;
  };
  const Case cases[] = {{"rt_abc", "token"}, {"rt", "license"}, {"ABCD-1234", "license"}, {"a&b=c+d%e f", "license"}};
  for (const Case& c : cases) {
    g_rtCredential = c.credential;
    status = 0;
    ASSERT_TRUE(authenticate(status)) << c.credential;
    EXPECT_EQ(status, 200);
    const auto sent = server().requests("/v6/auth").back();
    ASSERT_EQ(sent.form.count(c.field), 1u) << c.credential << ": " << sent.body;
    EXPECT_EQ(sent.form.at(c.field), c.credential);
    EXPECT_EQ(sent.form.at("software"), "JORV_16.8.2");
  }
  EXPECT_TRUE(g_feedConnected);
  EXPECT_TRUE(g_rtProfessional);  // the stand-in's licences are of type 2
  EXPECT_NE(logText().find("\nAuthenticated at RT server 'standin'"), std::string::npos);
}

TEST_F(SessionTest, RefusalsAndBrokenAnswersCarryAStatus) {
  startServer(quick());
  g_rtCredential = "ABCD";
  struct Case {
    const char* name;
    WebApiFault fault;
    std::int32_t status;
    const char* logged;
  };
  const Case cases[] = {
      {"refused", WebApiFault{WebApiFaultKind::Status, 401, 200, "Invalid license"}, 401, "Invalid license"},
      {"no GUID", WebApiFault{WebApiFaultKind::Status, 200, 200, "OK"}, 100, "Authentication succeeded without a GUID"},
      {"empty", WebApiFault{WebApiFaultKind::EmptyBody}, 100, "Authentication: empty response"},
      {"html", WebApiFault{WebApiFaultKind::HtmlPage, 0, 502}, 100, "Authentication: invalid JSON: <html>"},
  };
  for (const Case& c : cases) {
    server().addFault("/v6/auth", c.fault);
    status = 0;
    EXPECT_FALSE(authenticate(status)) << c.name;
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_FALSE(g_rtApiSession.isAuthenticated()) << c.name;
    EXPECT_FALSE(g_feedConnected) << c.name;
    EXPECT_NE(logText().find(c.logged), std::string::npos) << c.name;
  }
}

TEST_F(SessionTest, ServerWaitsAreBoundedAtSignIn) {
  startServer(quick());
  WebApiFault negative{WebApiFaultKind::RrlOutOfRange};
  negative.rrl = -5;  // would be weeks as an unsigned count
  server().addFault("/v6/auth", negative);
  ASSERT_TRUE(signIn());
  EXPECT_EQ(g_rtApiMetarClient.waitMs.load(), 250u);
  EXPECT_EQ(g_rtApiMetarClient.weatherWaitMs.load(), 250u);
  EXPECT_EQ(gf_boundedWaitMs(std::numeric_limits<std::int64_t>::max()), 60000u);
}

TEST_F(SessionTest, ConsecutiveSignInsCountGenerations) {
  startServer(quick());
  ASSERT_TRUE(signIn());
  const auto first = g_rtApiSession.current();
  ASSERT_TRUE(signIn());
  const auto second = g_rtApiSession.current();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(second->generation, first->generation + 1);
  EXPECT_NE(second->guid, first->guid);
}

TEST_F(SessionTest, SignOff) {
  startServer(quick());
  deauthenticate();
  EXPECT_NE(logText().find("Deauthentication skipped: empty GUID"), std::string::npos);
  EXPECT_TRUE(server().requests("/v6/deauth").empty());

  ASSERT_TRUE(signIn());
  const std::string guid = g_rtApiSession.current()->guid;
  deauthenticate();
  EXPECT_FALSE(g_rtApiSession.isAuthenticated());
  EXPECT_FALSE(g_feedConnected);
  EXPECT_EQ(server().requests("/v6/deauth").back().form.at("GUID"), guid);
  EXPECT_EQ(server().activeSessions(), 0u);
  EXPECT_NE(logText().find("Deauthenticated from RT server 'standin'"), std::string::npos);

  ASSERT_TRUE(signIn());
  server().addFault("/v6/deauth", WebApiFault{WebApiFaultKind::Status, 500, 200, "db down"});
  deauthenticate();
  EXPECT_FALSE(g_rtApiSession.isAuthenticated());
  EXPECT_NE(logText().find("Deauthentication failed, status 500: Deauthentication failed"), std::string::npos);
}

TEST_F(SessionTest, ASilentServerDoesNotHoldTheWorkerOnStop) {
  startServer(quick());
  server().addFault("/v6/auth", WebApiFault{WebApiFaultKind::Stall});
  auto signingIn = std::async(std::launch::async, [&] { return signIn(); });
  ASSERT_TRUE(server().waitForRequests("/v6/auth", 1, std::chrono::seconds(10)));
  gf_requestStop(StopReason::NewSettings, 0);  // as closing the window does
  ASSERT_EQ(signingIn.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_FALSE(signingIn.get());
  EXPECT_EQ(status, 100);
  EXPECT_NE(logText().find("Authentication failed: curl_easy_perform"), std::string::npos);
  server().releaseStalls();
}

TEST(RTAPILicenseText, DaysLeft) {
  const std::int64_t now = 1'765'000'000;
  EXPECT_EQ(gf_rtDaysLeft(now + 36 * 3600, now), 1);
  EXPECT_EQ(gf_rtDaysLeft(now + 3 * 86400 + 5, now), 3);
  EXPECT_EQ(gf_rtDaysLeft(now - 36 * 3600, now), -1);  // toward zero
  EXPECT_LT(gf_rtDaysLeft(0, now), -20000);
  // Far expiries no longer overflow.
  EXPECT_EQ(gf_rtDaysLeft(std::numeric_limits<std::int64_t>::max(), now), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(gf_rtDaysLeft(std::numeric_limits<std::int64_t>::min(), now), std::numeric_limits<std::int32_t>::min());

  EXPECT_EQ(gf_rtLicenseText(2, 30), "RT Direct professional license, 30 days left");
  EXPECT_EQ(gf_rtLicenseText(1, 1), "RT Direct standard license, 1 day left");
  EXPECT_EQ(gf_rtLicenseText(7, -20000), "RT Direct standard license, -20000 day left");
  EXPECT_EQ(gf_rtLicenseText(1, 0), "RT Direct standard license, 0 days left");
}

TEST_F(SessionTest, PausesEndAtOnceOnStop) {
  struct Client : RTAPIClient {};
  Client client;
  auto sleeping = std::async(std::launch::async, [&] { client.sleepFor(60000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  client.requestStop();
  EXPECT_EQ(sleeping.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  client.sleepFor(60000);  // stop already set: no wait at all
  EXPECT_TRUE(client.resetConnection());
  EXPECT_FALSE(client.stop);
}

TEST_F(SessionTest, CooldownAcrossRuns) {
  const std::int64_t now = 1'765'000'000;
  gf_setSystemClockForTest([now] { return now; });
  LAST_EPOCH_TIME.value = static_cast<std::int32_t>(now - 10);
  gf_holdRTAPICooldown();  // long past: nothing shown
  EXPECT_TRUE(shownMessages().empty());

  // The program is stopping, so the hold shows its text but does not wait.
  gf_requestStop(StopReason::NewSettings, 0);
  LAST_EPOCH_TIME.value = static_cast<std::int32_t>(now - 3);
  gf_holdRTAPICooldown();
  LAST_EPOCH_TIME.value = static_cast<std::int32_t>(now - 1);
  gf_holdRTAPICooldown();
  const auto shown = shownMessages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], "Holding for 1 second... (RT API cooldown)");
  EXPECT_EQ(shown[1], "Holding for 3 seconds... (RT API cooldown)");

  gf_persistRTAPICooldown();
  EXPECT_EQ(LAST_EPOCH_TIME.value, now);
  EXPECT_GT(g_rtApiCooldownUntil.load(), 0);
  gf_holdRTAPICooldown();
  EXPECT_EQ(g_rtApiCooldownUntil.load(), 0);
  LAST_EPOCH_TIME.value = 0;
}

}  // namespace
