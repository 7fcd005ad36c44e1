// RT App traffic datagrams, one per line of the input: live, buffered and parked messages and
// their end markers, through the traffic reader's dispatch, the decoders and the store's checks.
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "feed/rt_app_traffic.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Its own reader, not the program's: the same code without the sockets.
RTAppTrafficReader& lf_reader() {
  static RTAppTrafficReader reader;
  return reader;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::resetFeedWorld(false);
  RTAppTrafficReader& reader = lf_reader();
  reader.reset();
  reader.setQueryCentre(fuzz::kParkAirport);
  reader.setParkAirportElevation(fuzz::kParkAirportElevationFt);
  reader.qnhHpa = 1013;
  {
    std::lock_guard lock(reader.identityMutex);
    reader.collectIdentity = true;
  }
  {
    // Parked records are decoded only while a request is open; an end tag in the input closes it.
    std::lock_guard lock(reader.parkedMutex);
    reader.parkedRequested = true;
  }
  for (const auto line : fuzz::lines(fuzz::text(data, size))) reader.handleText(line);
  for (const auto& record : reader.batch.records) fuzz::checkRecord(record);
  fuzz::checkMailbox();
  std::lock_guard lock(reader.parkedMutex);
  for (const auto& record : reader.parkedSet) fuzz::checkParked(record);
  for (const auto& record : reader.parkedIncoming) fuzz::checkParked(record);
  return 0;
}
