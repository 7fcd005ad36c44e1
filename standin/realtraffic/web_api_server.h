#pragma once
// The RealTraffic web API as the program sees it in RT Direct mode: loopback HTTP with
// /v6/auth, /v6/deauth, /v6/traffic (live, buffered and parked queries) and /v6/nearestmetar,
// answered from a traffic scenario. Every request body is recorded; faults can be scripted per
// endpoint to see how the program copes with a misbehaving service.
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "standin/realtraffic/traffic_scenario.h"

namespace rtstandin {

enum class WebApiFaultKind : std::uint8_t {
  Stall,          // nothing is answered until released, stopped or the stall time has passed
  HtmlPage,       // an HTML page with httpStatus, as a proxy in the way answers
  EmptyBody,      // HTTP 200 with nothing in it
  Status,         // a JSON answer {"status": status, "message": message} with httpStatus
  RrlOutOfRange,  // the normal answer, but with "rrl" (and "wrrl") = rrl
  GuidChange,     // the service forgets every GUID: this and later requests get status 401
  Oversized,      // a JSON answer with status 200 padded to size bytes
};

struct WebApiFault {
  WebApiFaultKind kind = WebApiFaultKind::Status;
  std::int32_t status = 500;
  std::int32_t httpStatus = 200;
  std::string message = "Injected fault";
  std::int64_t rrl = 0;
  std::chrono::milliseconds stall{0};  // 0: until released or stopped
  std::size_t size = 0;
};

struct WebApiOptions {
  std::int32_t rrlMs = 2000;   // the wait the traffic answers ask for
  std::int32_t wrrlMs = 2000;  // the weather wait given at sign-in
  std::int32_t licenseType = 2;
  std::int64_t expiry = 0;  // seconds since 1970; 0: thirty days after the server started
  std::string serverName = "standin";
  // Credentials accepted at sign-in; empty: any non-empty credential.
  std::vector<std::string> credentials;
};

struct WebApiRequestRecord {
  std::string path;  // "/v6/traffic"
  std::string body;
  std::map<std::string, std::string> form;  // decoded
  int remotePort = 0;  // the same port for requests on one kept-alive connection
};

// "a=1&b=x%20y" to its decoded fields ('+' is a space).
std::map<std::string, std::string> decodeForm(std::string_view body);

// One 49-element traffic entry (the web API's layout) for a flight at a position.
std::string webApiTrafficEntry(const Flight& flight, const TrackPoint& point, std::int64_t startTime);

class WebApiServer {
 public:
  // Binds 127.0.0.1 on the port (0: a free one) and serves on its own threads.
  // Throws std::runtime_error when it cannot bind.
  WebApiServer(TrafficScenario scenario, WebApiOptions options, int port = 0);
  ~WebApiServer();
  WebApiServer(const WebApiServer&) = delete;
  WebApiServer& operator=(const WebApiServer&) = delete;

  int port() const;
  std::string baseUrl() const;  // "http://127.0.0.1:<port>", the program's web API base URL

  // Scenario time of the answers: fixed by setTime, or running at speed x real time from now
  // (played again after its end and a pause when loop is set, with fresh times: replayLap).
  void setTime(double t);
  void runClock(double speed, bool loop);
  double time() const;

  // Faults for the next count requests of an endpoint: "/v6/auth", "/v6/deauth",
  // "/v6/traffic", "/v6/nearestmetar", or "/v6/traffic:parkedtraffic" / ":buffer" / ":live"
  // for one kind of traffic query (tried before the plain path).
  void addFault(const std::string& endpoint, WebApiFault fault, int count = 1);
  void clearFaults();
  void releaseStalls();

  std::vector<WebApiRequestRecord> requests() const;
  std::vector<WebApiRequestRecord> requests(std::string_view path) const;
  // Waits until at least count requests of path have arrived; false after the timeout.
  bool waitForRequests(std::string_view path, std::size_t count, std::chrono::milliseconds timeout) const;
  std::size_t activeSessions() const;

  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace rtstandin
