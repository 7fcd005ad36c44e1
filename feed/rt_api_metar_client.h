#pragma once
// RT Direct weather: the METAR nearest to the user's aircraft from the web API, turned into
// the QNH that the traffic decoding and the main window use.
#include <atomic>
#include <cstdint>

#include "core/geodesy.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_transport.h"

class RTAPIMetarClient : public RTAPIClient {
 public:
  RTAPIMetarClient();
  ~RTAPIMetarClient() override = default;

  // One request for the user's position, or none while the current QNH is still fresh.
  bool requestNearestMetar(std::int32_t& status);
  // The weather reader's loop; returns when stopped (status 9999) or on a fatal answer.
  bool nearestMetar(std::int32_t& status);
  // For a restart: a new connection, no QNH.
  void resetForRestart();

  RTAPITransport metarTransport;
  Lalo qnhPosition;                          // where the current QNH was obtained
  std::int64_t qnhTime = 0;                  // steady ns of that request
  std::uint32_t qnhToffset = 0;
  std::uint32_t qnh = 1013;                  // hPa; 0 none
  std::atomic<std::int64_t> qnhValidTime{0};  // steady ns of the last valid QNH; 0 none

  // The last request failed for passing trouble of the network or the service.
  bool lastRequestTrouble = false;

  // Steady-clock nanoseconds; tests replace it.
  std::int64_t (*nowNs)() = nullptr;
};

extern RTAPIMetarClient g_rtApiMetarClient;

std::int64_t gf_steadyNowNs();
