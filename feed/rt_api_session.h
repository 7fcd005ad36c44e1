#pragma once
// RT Direct: the sign-in to and sign-off from the RealTraffic web API, the one session whose
// GUID every later request sends, the base of the two polling clients, and the cool-down
// between web API uses of consecutive runs.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/geodesy.h"
#include "feed/rt_api_transport.h"

// The feed link is up (RT Direct: signed in); read by the window, the simulator link, the engine.
extern std::atomic<bool> g_feedConnected;
// The RealTraffic access is professional (RT Direct: the last sign-in's type was 2).
extern std::atomic<bool> g_rtProfessional;

struct RTAPIAuthResult {
  std::string guid;
  std::string server;
  std::int32_t rrlMs = 2000;
  std::int32_t wrrlMs = 2000;
  std::int32_t type = 1;      // 2: professional
  std::int64_t expiry = 0;    // seconds since 1970 UTC
  std::int64_t generation = 0;
};

struct RTAPIStatusError {
  std::int32_t status = 100;  // the answer's "status", or 100 without a usable answer
  std::string message;
};

struct RTAPIDeauthResult {
  std::string message;
  std::string server;
};

class RTAPISession {
 public:
  RTAPISession();

  void clear();
  bool isAuthenticated() const;
  // The current sign-in, or none; readers keep their copy of the pointer.
  std::shared_ptr<const RTAPIAuthResult> current() const;

  RTAPIResult<std::shared_ptr<const RTAPIAuthResult>, RTAPIStatusError> requestAuth(std::string_view credential,
                                                                                    std::string_view software);
  RTAPIResult<RTAPIDeauthResult, RTAPIStatusError> requestDeauth();

  // The sign-in gives up when this is set (and when the program stops); cleared by resetConnection.
  std::atomic<bool> abort{false};

  RTAPITransport transport;

 private:
  friend class RTAPIClient;
  mutable std::mutex mutex;
  std::shared_ptr<const RTAPIAuthResult> result;
  std::int64_t nextGeneration = 1;
};

extern RTAPISession g_rtApiSession;

// The common base of the traffic and METAR clients.
class RTAPIClient {
 public:
  RTAPIClient() = default;
  virtual ~RTAPIClient() = default;
  RTAPIClient(const RTAPIClient&) = delete;
  RTAPIClient& operator=(const RTAPIClient&) = delete;

  // For a restart: forgets the sign-in, gives the session a new connection, clears stop and
  // toffset. Returns the previous stop value.
  bool resetConnection();
  // Waits ms milliseconds; returns at once when stop is set (before or during the wait).
  void sleepFor(std::int32_t ms);
  // One more passing trouble in a row: false once maxTroubles have come in a row (the reader
  // ends), else true after the back-off pause.
  bool backOff(std::int32_t& troubles, std::uint32_t paceMs);
  // Sets stop and wakes a waiting sleepFor.
  void requestStop();
  bool stopping() const { return stop.load(); }

  RTAPISession* session = &g_rtApiSession;
  std::atomic<std::int64_t> feedTime{0};   // seconds since 1970 as last reported; 0 none
  std::atomic<std::uint32_t> toffset{0};   // minutes, at most 20160
  std::atomic<std::uint32_t> waitMs{2000};
  std::atomic<std::uint32_t> weatherWaitMs{2000};
  std::atomic<bool> stop{false};
  // Passing trouble of the network or the service: this many in a row end the reader (which
  // then restarts); the pause after one doubles from the poll pace up to troublePauseMs.
  std::int32_t maxTroubles = 5;
  std::int32_t troublePauseMs = 30000;

 protected:
  std::mutex mutex;
  std::condition_variable wake;
};

// The user position and the park airport as the clients see them: from the source the
// application plugs in here, else from the feed's neighbours (g_userAcPosition,
// gf_feedParkAirport). The position is (0, 0) while unknown.
using RTAPIUserPositionSource = Lalo (*)();
using RTAPIParkAirportSource = std::optional<Lalo> (*)();
void gf_setRTAPIUserPositionSource(RTAPIUserPositionSource source);
void gf_setRTAPIParkAirportSource(RTAPIParkAirportSource source);
Lalo gf_rtApiUserPosition();
std::optional<Lalo> gf_rtApiParkAirport();

// Server waits are held to what the service promises, whatever arrives.
inline constexpr std::int32_t kRTAPIMinWaitMs = 250;
inline constexpr std::int32_t kRTAPIMaxWaitMs = 60000;
std::uint32_t gf_boundedWaitMs(std::int64_t ms);

// "license" or "token" by the credential's form.
std::string_view gf_rtCredentialKind(std::string_view credential);
// Whole days from now until expiry (seconds since 1970), truncated toward zero.
std::int32_t gf_rtDaysLeft(std::int64_t expiry, std::int64_t now);
// "RT Direct {} license, {} day{} left"
std::string gf_rtLicenseText(std::int32_t type, std::int32_t daysLeft);

// Signs in with g_rtCredential on the worker. False with the service's status (100 without
// a usable answer).
bool authenticate(std::int32_t& status);
// Signs off at shutdown; never throws, always leaves the session empty.
void deauthenticate();
void gf_logRTConnected(std::string_view name);

// The web API cool-down: a new sign-in waits 3 s after the last use in this process, or 4 s
// after LAST_EPOCH_TIME: across program starts.
void gf_persistRTAPICooldown();
void gf_holdRTAPICooldown();
extern std::atomic<std::int64_t> g_rtApiCooldownUntil;  // steady-clock ns; 0 none

// Tests: an empty session and cleared flags.
void gf_resetRTAPISessionForTest();
