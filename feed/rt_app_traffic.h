#pragma once
// The RT App traffic reader: live, buffered and parked traffic datagrams of the RealTraffic
// desktop app, decoded through the store into batches for the engine and the parked list for
// the parking code; and the requests that ask the app for the buffer and for parked traffic.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "config/parameter_snapshot.h"
#include "core/geodesy.h"
#include "feed/feed_neighbours.h"
#include "feed/rt_app_socket.h"
#include "feed/traffic_records.h"
#include "feed/traffic_store.h"

// The parked set of the largest airports is a few hundred aircraft: one request's list is cut
// here, far above that, so that a flood of records cannot fill memory.
inline constexpr std::size_t kMaxRTAppParkedRecords = 5000;
// Callsigns, types, registrations and stand names are a few characters; a record with a longer
// text field is no real one.
inline constexpr std::size_t kMaxRTAppParkedFieldLength = 64;
// What the feed keeps of the live traffic's identities for the parking code (no static aircraft
// under a flying one's name): the busiest range holds a few thousand aircraft; a flood of made-up
// ones must not grow the sets, nor one batch, without bound. Aircraft not reported again within
// the keep time are gone.
inline constexpr std::size_t kMaxLiveIdentities = 20'000;
inline constexpr std::int64_t kLiveIdentityKeepSeconds = 300;

class RTAppTrafficReader : public RTAppSocket {
 public:
  RTAppTrafficReader();

  // Back to the start state: no batch, no parked lists, no identities, no position.
  void reset();
  // Worker: the park airport's elevation (ft), empty without a park airport.
  void setParkAirportElevation(std::optional<double> elevationFt);
  // Worker: the centre of the traffic query (the published user position).
  void setQueryCentre(const Lalo& centre);

  // The datagram's dispatch on its tag (handleLine splits it first).
  void processRTAppLine();

  // The filter inputs frozen for the batch being received.
  struct BatchContext {
    Lalo queryCentre;
    double cosQueryLat = 1.0;
    std::optional<double> parkAirportElevationFt;
    std::shared_ptr<const ParameterSnapshot> snapshot;
  };

  TrafficBatch batch;  // reader thread: the live records since the last end marker
  TrafficStore store;
  std::optional<BatchContext> batchContext;  // reader thread

  std::vector<ParkedRecord> parkedSet;       // the last complete parked list, under parkedMutex
  std::vector<ParkedRecord> parkedIncoming;  // the list being received, under parkedMutex
  // parkedSet holds ages, not slots, since it was prepared: preparing twice would age it twice.
  bool parkedSetPrepared = false;            // under parkedMutex
  // A parked request went to the app and its list has not ended yet: only then are parked
  // records taken.
  bool parkedRequested = false;              // under parkedMutex
  // The app answers requests in turn and its lists carry no request of their own: a request
  // sent while another's list is open owes one more end tag, and only the newest list is kept.
  // Records and end tags before the last one owed belong to an older request.
  std::uint32_t parkedEndsOwed = 0;          // under parkedMutex
  // Counts requests and ends: a record decoded across either belongs to no list it may join.
  std::uint64_t parkedListNumber = 0;        // under parkedMutex
  // The open request's list met its bound and says so once.
  bool parkedListFull = false;               // under parkedMutex
  std::unordered_set<std::string> liveCallsigns;  // under identityMutex
  std::unordered_set<std::uint32_t> liveHexids;   // under identityMutex
  bool collectIdentity = false;                   // under identityMutex
  // Feed seconds at which the identities collected now began: once kLiveIdentityKeepSeconds
  // old, or past kMaxLiveIdentities, only what the last batch showed again is kept.
  std::int64_t identitiesSince = 0;               // under identityMutex
  bool batchFull = false;  // reader thread: the open batch met kMaxLiveIdentities and said so

  std::atomic<bool> bufferReceived{false};
  std::atomic<bool> parkedReceived{false};
  // hPa: 0 until the reader starts, then 1013 until the weather reader publishes a QNH.
  std::atomic<std::int32_t> qnhHpa{0};
  // Seconds since 1970 of the last live message in range; the feed's clock.
  std::atomic<std::int64_t> lastFeedTime{0};
  std::uint32_t bufferSepCount = 0;  // reader thread
  // End tags and separators that came with no request of ours open: counted and ignored.
  std::atomic<std::uint64_t> unrequestedEndTags{0};
  // Parked records that came with no parked request of ours open: counted and ignored.
  std::atomic<std::uint64_t> unrequestedParkedRecords{0};

  std::mutex positionMutex;
  std::mutex identityMutex;
  std::mutex parkedMutex;

 protected:
  void handleLine() override;
  void onDisconnect() override;

 private:
  void ensureBatchContext();
  void processLine();
  void processParkLine();
  void postBatch(std::int32_t kind);
  void countUnrequestedEndTag();

  std::vector<std::string_view> fields;
  Lalo queryCentre;          // under positionMutex
  double cosQueryLat = 0.0;  // under positionMutex
  std::optional<double> parkAirportElevationFt;  // under positionMutex
};

extern RTAppTrafficReader g_rtAppTrafficReader;

// The thread body of "Traffic Reader": receives on the port (kRTAppTrafficPort in the program)
// until stopped; a socket error ends it with a restart request.
void gf_trafficReader(std::uint16_t port);

// The buffer request, once per connection; true when the line went out.
bool gf_requestRTAppBuffer();
void gf_clearRTAppBufferRequest() noexcept;
// Whether the buffer request of this connection went out (under the connection mutex).
bool gf_rtAppBufferRequested();
// Asks the app for the parked aircraft around the park airport, or around the user aircraft
// while it stands on the ground without a park airport.
void gf_requestParkedTraffic();
// Worker: the user aircraft's position line to a connected app; a gone app stops the run for a
// restart.
void gf_sendUserPositionToRTApp();
// Worker: the app has gone: the feed is down, the user is told, and the run restarts to wait for
// the app again.
void gf_reportRTAppGone();
