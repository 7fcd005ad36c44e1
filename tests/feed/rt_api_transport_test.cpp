#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>

#include "feed/rt_api_transport.h"
#include "tests/feed/rt_api_test_support.h"

namespace {

using feed_test::WebApiTest;
using rtstandin::WebApiFault;
using rtstandin::WebApiFaultKind;

constexpr RTAPIRequestOptions kPoll{10, 30, false, false};

TEST(RTAPIResponseCheck, FrameAndWaitTime) {
  struct Case {
    const char* name;
    std::string body;
    bool ok;
    std::int32_t apiStatus;
    std::int32_t waitMs;
    const char* message;  // error message, or the answer's message
    const char* warning;  // expected in the log, or ""
  };
  const std::string html = "<html><head><title>502 Bad Gateway</title></head></html>";
  const Case cases[] = {
      {"empty", "", false, 0, 0, "empty response", ""},
      {"html", html, false, 0, 0, "invalid JSON: <html>", ""},
      {"array", "[1,2]", false, 0, 0, "invalid JSON: [1,2]", ""},
      {"plain", R"({"status":200,"rrl":1500,"message":"ok"})", true, 200, 1500, "ok", ""},
      {"rrl below", R"({"status":200,"rrl":100})", true, 200, 250, "", "t: rrl 100 ms outside limits, using 250 ms"},
      {"rrl negative", R"({"status":200,"rrl":-5})", true, 200, 250, "", "t: rrl -5 ms outside limits, using 250 ms"},
      {"rrl above", R"({"status":200,"rrl":100000})", true, 200, 60000, "", "outside limits, using 60000 ms"},
      {"rrl float", R"({"status":200,"rrl":2.5})", true, 200, 2000, "", "t: invalid or missing rrl, using default"},
      {"rrl missing", R"({"status":200})", true, 200, 2000, "", "t: invalid or missing rrl, using default"},
      {"not 200", R"({"status":406,"rrl":300,"message":"busy"})", true, 406, 2000, "busy", ""},
      {"status too big", R"({"status":4294967296})", true, 100, 2000, "", ""},
      {"status text", R"({"status":"200","rrl":300})", true, 100, 2000, "", ""},
      {"message not text", R"({"status":200,"rrl":300,"message":5})", true, 200, 300, "", ""},
  };
  testing_support::TempDir dir;
  testing_support::ScopedCurrentDir cwd(dir.path());
  for (const Case& c : cases) {
    gf_openLog();
    auto checked = gf_checkRTAPIResponse(c.body, "t", kRTAPITrafficWait);
    ASSERT_EQ(checked.hasValue(), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(checked.value().apiStatus, c.apiStatus) << c.name;
      EXPECT_EQ(checked.value().waitMs, c.waitMs) << c.name;
      EXPECT_EQ(checked.value().message, c.message) << c.name;
    } else {
      EXPECT_EQ(checked.error().label, "t") << c.name;
      EXPECT_TRUE(checked.error().message.starts_with(c.message)) << c.name << ": " << checked.error().message;
    }
    gf_closeLog();
    const std::string log = testing_support::readFile(dir.path() / "Log.txt");
    if (*c.warning) {
      EXPECT_NE(log.find(c.warning), std::string::npos) << c.name << "\n" << log;
    }
  }
}

TEST(RTAPIResponseCheck, LongBodiesAreCutTo256BytesAndDataIsPassedOn) {
  const std::string junk(1000, 'x');
  auto bad = gf_checkRTAPIResponse(junk, "t", kRTAPITrafficWait);
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().message, "invalid JSON: " + std::string(256, 'x'));

  auto good = gf_checkRTAPIResponse(R"({"status":200,"rrl":300,"data":{"a":[1]}})", "t", kRTAPIMetarWait);
  ASSERT_TRUE(good);
  EXPECT_EQ(good.value().data, nlohmann::json::parse(R"({"a":[1]})"));
  // The METAR request takes no wait from the answer.
  EXPECT_EQ(good.value().waitMs, 2000);
}

// 502, 401 and an empty 200 are pinned over the wire below.
TEST(RTAPIHttpCheck, AnInformationalStatusIsAnHttpError) {
  auto informational = gf_checkRTAPIHttp({150, ""}, "x", kRTAPITrafficWait);
  ASSERT_FALSE(informational);
  EXPECT_EQ(informational.error().kind, RTAPIErrorKind::http);
}

TEST(RTAPIForm, ValuesAreEncoded) {
  EXPECT_EQ(gf_formValue("abc-XYZ_0.9~"), "abc-XYZ_0.9~");
  EXPECT_EQ(gf_formValue("a&b=c+d%e f"), "a%26b%3Dc%2Bd%25e%20f");
  EXPECT_EQ(gf_formValue("\xC3\xA9"), "%C3%A9");
  EXPECT_EQ(rtstandin::decodeForm("k=" + gf_formValue("a&b=c+d%e f") + "&x")["k"], "a&b=c+d%e f");
}

// Without a setting the program talks to RealTraffic's own web API; the setting replaces the
// host and an empty one gives it back.
TEST(RTAPIBaseUrl, RealTrafficsHostUnlessSet) {
  EXPECT_EQ(gf_rtApiUrl("/v6/auth"), "https://rtwa.flyrealtraffic.com/v6/auth");
  gf_setRTAPIBaseUrl("http://127.0.0.1:8080//");
  EXPECT_EQ(gf_rtApiUrl("/v6/traffic"), "http://127.0.0.1:8080/v6/traffic");
  gf_setRTAPIBaseUrl("");
  EXPECT_EQ(gf_rtApiBaseUrl(), "https://rtwa.flyrealtraffic.com");
}

TEST(RTAPICallbacks, WriteAndProgress) {
  std::string response;
  char data[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(gf_curlWriteCallback(data, 2, 2, &response), 4u);
  EXPECT_EQ(response, "abcd");
  EXPECT_EQ(gf_curlWriteCallback(data, 1, 4, nullptr), 0u);
  EXPECT_EQ(gf_curlWriteCallback(data, SIZE_MAX / 2, 3, &response), 0u);  // size x count overflows

  std::atomic<bool> stop{false};
  EXPECT_EQ(gf_curlProgressCallback(&stop, 0, 0, 0, 0), 0);
  stop = true;
  EXPECT_EQ(gf_curlProgressCallback(&stop, 0, 0, 0, 0), 1);
  EXPECT_EQ(gf_curlProgressCallback(nullptr, 0, 0, 0, 0), 0);
}

TEST_F(WebApiTest, RejectedUrlSendsNothing) {
  startServer();
  RTAPITransport transport(4096);
  const std::string url = server().baseUrl() + "/v6/traffic?" + std::string(9 * 1024 * 1024, 'a');
  auto reply = transport.request(url, "GUID=x", kPoll, nullptr);
  ASSERT_FALSE(reply);
  EXPECT_TRUE(reply.error().message.starts_with("failed to set CURLOPT_URL: ")) << reply.error().message;
  EXPECT_TRUE(server().requests().empty());
}

TEST_F(WebApiTest, AnOversizedAnswerIsPassingTroubleAndItsMemoryIsGivenBack) {
  startServer();
  RTAPITransport transport(16384);
  const std::string url = gf_rtApiUrl("/v6/traffic");
  const auto request = [&](std::size_t size) {
    server().addFault("/v6/traffic", WebApiFault{.kind = WebApiFaultKind::Oversized, .size = size});
    return gf_RTAPIRequest(transport, url, "GUID=x", kPoll, kRTAPITrafficWait, "traffic receive", nullptr);
  };
  const auto huge = request(kRTAPIMaxAnswerBytes + 1);
  ASSERT_FALSE(huge);
  EXPECT_EQ(huge.error().kind, RTAPIErrorKind::transport);
  EXPECT_TRUE(gf_isRTAPITrouble(huge));
  EXPECT_NE(huge.error().message.find("answer larger than"), std::string::npos) << huge.error().message;

  ASSERT_TRUE(request(kRTAPIMaxAnswerBytes));
  EXPECT_GE(transport.bufferCapacity(), kRTAPIMaxAnswerBytes);
  ASSERT_TRUE(request(1000));
  EXPECT_LT(transport.bufferCapacity(), kRTAPIMaxAnswerBytes / 2);
}

TEST_F(WebApiTest, FailureKindsOverTheWire) {
  startServer();
  RTAPITransport transport(16384);
  const std::string url = gf_rtApiUrl("/v6/traffic");

  server().addFault("/v6/traffic", WebApiFault{WebApiFaultKind::HtmlPage, 0, 502});
  auto gateway = gf_RTAPIRequest(transport, url, "GUID=x", kPoll, kRTAPITrafficWait, "traffic receive", nullptr);
  ASSERT_FALSE(gateway);
  EXPECT_EQ(gateway.error().kind, RTAPIErrorKind::http);
  EXPECT_EQ(gateway.error().httpStatus, 502);
  EXPECT_TRUE(gateway.error().message.starts_with("HTTP 502 response: invalid JSON: <html>"));

  // Without a known GUID the stand-in answers HTTP 401 with a JSON body: a success.
  auto unauthorised = gf_RTAPIRequest(transport, url, "GUID=x", kPoll, kRTAPITrafficWait, "traffic receive", nullptr);
  ASSERT_TRUE(unauthorised);
  EXPECT_EQ(unauthorised.value().httpStatus, 401);
  EXPECT_EQ(unauthorised.value().apiStatus, 401);

  server().addFault("/v6/traffic", WebApiFault{WebApiFaultKind::EmptyBody});
  auto empty = gf_RTAPIRequest(transport, url, "GUID=x", kPoll, kRTAPITrafficWait, "traffic receive", nullptr);
  ASSERT_FALSE(empty);
  EXPECT_EQ(empty.error().kind, RTAPIErrorKind::parse);
  EXPECT_EQ(empty.error().message, "empty response");

  transport.reset();
  auto refused = gf_RTAPIRequest(transport, "http://127.0.0.1:1/v6/traffic", "GUID=x", kPoll, kRTAPITrafficWait,
                                 "traffic receive", nullptr);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind, RTAPIErrorKind::transport);
  EXPECT_EQ(refused.error().httpStatus, 0);
  EXPECT_TRUE(refused.error().message.starts_with("curl_easy_perform: ")) << refused.error().message;
}

TEST_F(WebApiTest, PollsKeepTheirConnectionAndFreshRequestsDoNot) {
  startServer();
  RTAPITransport transport(16384);
  const std::string url = gf_rtApiUrl("/v6/nearestmetar");
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(transport.request(url, "lat=1&lon=1", kPoll, nullptr));
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(transport.request(url, "lat=1&lon=1", {5, 9, true, false}, nullptr));
  const auto seen = server().requests("/v6/nearestmetar");
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].remotePort, seen[1].remotePort);
  EXPECT_NE(seen[2].remotePort, seen[1].remotePort);
  EXPECT_NE(seen[3].remotePort, seen[2].remotePort);
  EXPECT_EQ(seen[0].body, "lat=1&lon=1");
  // The buffer is only emptied between requests: its reservation survives.
  EXPECT_GE(transport.bufferCapacity(), 16384u);
}

TEST_F(WebApiTest, StopAbortsAStalledTransfer) {
  startServer();
  server().addFault("/v6/traffic", WebApiFault{WebApiFaultKind::Stall});
  RTAPITransport transport(16384);
  std::atomic<bool> stop{false};
  auto pending = std::async(std::launch::async, [&] {
    return gf_RTAPIRequest(transport, gf_rtApiUrl("/v6/traffic"), "GUID=x", kPoll, kRTAPITrafficWait,
                           "traffic receive", &stop);
  });
  ASSERT_TRUE(server().waitForRequests("/v6/traffic", 1, std::chrono::seconds(10)));
  const auto stopped = std::chrono::steady_clock::now();
  stop = true;
  auto outcome = pending.get();
  // Far below the 30 s limit of the request: the stop ended it, not a time-out.
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(5));
  ASSERT_FALSE(outcome);
  EXPECT_EQ(outcome.error().kind, RTAPIErrorKind::transport);
  EXPECT_TRUE(outcome.error().message.starts_with("curl_easy_perform: ")) << outcome.error().message;
  server().releaseStalls();
}

}  // namespace
