// RT App weather datagrams, one per line of the input: the JSON, its METAR and the QNH read out
// of it; and each line read as a bare METAR, as the web API's METARs are.
#include <cstddef>
#include <cstdint>
#include <string>

#include "feed/qnh.h"
#include "feed/rt_app_traffic.h"
#include "feed/rt_app_weather.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  g_rtAppWeatherReader.resetReceivedLineState();
  g_rtAppTrafficReader.qnhHpa = 0;
  g_qnh = kStandardQnh;
  for (const auto line : fuzz::lines(fuzz::text(data, size))) {
    g_rtAppWeatherReader.handleText(line);
    fuzz::require(g_qnh >= 900 && g_qnh <= 1100, "the published QNH lies in 900..1100 hPa");
    const QnhResult qnh = gf_qnhFromMetar(std::string(line));
    fuzz::require(!qnh.hasValue() || (qnh.value() >= 900 && qnh.value() <= 1100), "a QNH lies in 900..1100 hPa");
  }
  return 0;
}
