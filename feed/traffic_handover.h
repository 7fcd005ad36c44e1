#pragma once
// How records leave the feed: engine-clock stamps for the mailbox, and the text form of the
// blocked-aircraft entry.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "feed/rt_api_traffic_client.h"
#include "feed/traffic_records.h"

// Stamps each record's mailboxTime: the batch's median timestamp lands on engineTime +
// delaySeconds x 100 (hundredths of a second) and the records keep their spacing around it.
void gf_setMailboxTimeOffsets(std::vector<TrafficRecord>& records, std::int32_t engineTime, std::int32_t delaySeconds);

// Ages, cleans and de-duplicates a parked list in place: halfHourSlot becomes the age in half
// hours, records without a callsign go, old ones too unless a parking switch keeps them, and per
// stand and per callsign only the youngest sighting stays (youngest first).
void gf_prepareParkedRecords(std::vector<ParkedRecord>& records);
// Parking code: asks the active source for its parked aircraft and returns at once. RT Direct
// answers at a later step (waiting); the RT App sends its list unasked (ready); none when there
// is nothing to ask for.
ParkedAnswer gf_askParkedTraffic();
// Parking code: where the last ask stands; RT Direct gives up after its wait (none).
ParkedAnswer gf_parkedTrafficAnswer();
// Parking code, once the answer is ready: the active source's parked list, prepared and (with
// RT_PARKTRAFFIC_ONLY) handed to the parking code with the number of aircraft wanted.
void gf_processParkedTraffic(std::uint32_t wanted);
// Parking code: the active source's parked list as gf_processParkedTraffic prepared it (ages in
// half-hours, youngest first), visited under the source's mutex; not visited before it is prepared.
void gf_visitParkedRecords(const std::function<void(const std::vector<ParkedRecord>&)>& visit);
// Forgets the live identities seen and starts collecting them afresh.
void gf_resetParkedTraffic();

// The BLOCK_AIRCRAFT entry: "callsign,regcode,hexid(hex),<not read here>".
struct BlockedAircraft {
  std::string callsign;
  std::string regcode;
  std::uint32_t hexid = 0;
  friend bool operator==(const BlockedAircraft&, const BlockedAircraft&) = default;
};
std::optional<BlockedAircraft> gf_parseBlockedAircraft(std::string_view entry);
