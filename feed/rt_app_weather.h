#pragma once
// The RT App weather reader: METARs from the app's weather datagrams, published as the QNH.
#include <atomic>
#include <cstdint>
#include <string>

#include "feed/rt_app_socket.h"

class RTAppWeatherReader : public RTAppSocket {
 public:
  // Forgets what was received: line, counters, the last METAR and QNH.
  void resetReceivedLineState();

  std::string lastMetar;
  std::uint32_t lastQnh = 0;  // hPa, 0 before the first
  // Steady-clock nanoseconds at which a METAR was last taken or seen again; read by the monitor.
  std::atomic<std::int64_t> lastMetarTime{0};

 protected:
  void handleLine() override;
  void onDisconnect() override {}
};

extern RTAppWeatherReader g_rtAppWeatherReader;

// The thread body of "QNH Reader": receives on the port (kRTAppWeatherPort in the program) and
// reconnects by itself after a socket error while the program runs.
void gf_weatherReader(std::uint16_t port);
