#pragma once
// RT Direct traffic: the query box around the user, the live, buffered and parked requests of
// /v6/traffic, and the loop of the traffic reader that turns each answer into a batch for
// the engine.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <vector>

#include "core/geodesy.h"
#include "feed/rt_api_decode.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_transport.h"
#include "feed/traffic_records.h"

// Where a parked-traffic ask stands for the parking code.
enum class ParkedAnswer { waiting, ready, none };

// Degrees: north and south latitude, west and east longitude.
struct RTAPIQueryBox {
  double top = 52.44;
  double bottom = 52.17;
  double left = 4.54;
  double right = 4.98;
  friend bool operator==(const RTAPIQueryBox&, const RTAPIQueryBox&) = default;
};

class RTAPITrafficClient : public RTAPIClient {
 public:
  RTAPITrafficClient();
  ~RTAPITrafficClient() override = default;

  // Around the published user position with the snapshot's range; kept while neither changed.
  void updateQueryBox();
  void setQueryCentre(const Lalo& centre);
  void setParkAirportElevation(std::optional<double> elevationFt);
  void resetParkedTraffic();

  // The traffic reader's work: buffered history, then live polls (and parked requests between
  // them) until stopped (status 9999), the session was lost (401), or a fatal answer.
  bool requestTraffic(std::int32_t& status);
  bool requestBufferTraffic(std::int32_t& status);
  void requestParkedTraffic();
  // The parking code's thread: asks the reader for parked traffic and returns at once; false
  // when there is nothing to ask (no park airport, or the licence refused parked data since the
  // program's start).
  bool askParkedTraffic();
  // The parking code's thread: where the last ask stands. waiting until the reader answered it or
  // parkedWaitMs ran out; ready when its records are in; none otherwise, said once in the log.
  ParkedAnswer parkedOutcome();
  // Records the feed time (when not 0) and the identities, then hands the records on.
  void postBatch(TrafficBatch& batch, std::int32_t kind, std::int64_t batchFeedTime);

  // Traffic entries of an unknown shape in an answer: logged once per run.
  void noteSkippedEntries(std::size_t count);

  // For a restart: back to the state of a fresh client (stop is cleared by resetConnection).
  void resetForRestart();

  RTAPIQueryBox queryBox() const;
  RTAPIQueryBox parkedBox() const;

  RTAPITransport trafficTransport;
  RTAPITransport parkedTransport;
  TrafficBatch batch;  // the reader thread's, reused for every answer

  std::mutex parkedRecordsMutex;
  std::vector<ParkedRecord> parkedRecords;  // under parkedRecordsMutex
  // parkedRecords holds ages, not slots, since it was prepared. Under parkedRecordsMutex.
  bool parkedRecordsPrepared = false;

  std::mutex parkedIndexMutex;
  std::unordered_set<std::string> parkedCallsigns;  // under parkedIndexMutex
  std::unordered_set<std::uint32_t> parkedHexids;
  bool parkedReset = false;

  std::atomic<std::int32_t> parkedStatus{-1};  // -1 awaited, 0 done, 1 failed, else the service's
  std::atomic<bool> parkedRequested{false};
  // Each fetch numbers its request; parkedStatus belongs to the request parkedAnswered names, so an
  // answer that comes after its fetch gave up never serves a later one.
  std::atomic<std::uint64_t> parkedRequestTag{0};
  std::atomic<std::uint64_t> parkedAnswered{0};
  std::atomic<bool> liveLoopActive{false};
  std::atomic<std::uint64_t> receivedCount{0};
  std::atomic<std::uint64_t> answersReceived{0};  // live and buffer answers taken since the start
  std::atomic<std::uint32_t> qnh{0};              // hPa given to the decoder; 0 none yet
  bool skippedEntriesLogged = false;               // the reader thread's

  // The wait before a parked-traffic outcome counts as lost (10 s); tests shorten it.
  std::int32_t parkedWaitMs = 10000;
  // A 403 to a parked request: this licence has no parked data; not asked again in this run.
  std::atomic<bool> parkedRefused{false};

 private:
  mutable std::mutex stateMutex;  // guards the geometry below
  RTAPIQueryBox queryBox_;
  RTAPIQueryBox parkedBox_;
  Lalo queryCentre_;
  Lalo boxCentre_;
  double cosLat_ = 0.0;
  double boxRadius_ = -1.0;
  std::optional<double> parkElevation_;
  // The parking code's own: when the last ask was made and what came of it once settled.
  std::chrono::steady_clock::time_point parkedAskedAt_;
  std::optional<ParkedAnswer> parkedSettled_;
  bool parkedFaultLogged_ = false;

  struct Geometry {
    Lalo centre;
    double cosLat = 0.0;
    std::optional<double> parkElevation;
    RTAPIQueryBox box;
  };
  Geometry geometry() const;
  TrafficFilterContext filterContext(const Geometry& geometry, bool collectIdentity) const;
};

extern RTAPITrafficClient g_rtApiTrafficClient;
