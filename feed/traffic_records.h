#pragma once
// What the feed makes of RealTraffic messages: the decoded fields of one message, as both
// traffic sources fill them, and the finished live and parked records handed to the engine.
#include <fmt/format.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/geodesy.h"
#include "core/value_types.h"
#include "refdata/model_ids.h"

struct ParameterSnapshot;

// The decoded fields of one live message. The texts point into the decoder's buffer and must
// outlive the call that takes them.
struct TrafficFields {
  double timestamp = 0.0;  // seconds since 1970 UTC, with fraction
  std::uint32_t hexid = 0;  // 24-bit ICAO aircraft address
  double lat = 0.0;
  double lon = 0.0;
  double altitude = 0.0;  // ft, pressure altitude as reported; 0 or less on the ground
  double vs = 0.0;        // ft/min
  double track = 0.0;     // deg
  double gs = 0.0;        // kt
  double trueheading = 0.0;  // deg
  double roll = -1.0;        // deg, -1.0 when the feed has none
  double TAS = -1.0;         // kt, -1.0 when the feed has none
  std::string_view callsign;
  std::string_view typeDesignator;  // ICAO aircraft type designator
  std::string_view registration;
  std::string_view origin;       // IATA airport code
  std::string_view destination;  // IATA airport code
  std::string_view sourceType;   // "adsb_icao" (or "F_adsb_icao" ...) is the one that matters
  std::string_view emitterCategory;  // ADS-B "A1" ... "C2"
  std::string_view airlineCode;      // ICAO airline code of the operator
  std::string_view codeText;         // four characters, only from the web API; empty from the app
};

// The decoded fields of one parked aircraft.
struct ParkedFields {
  std::uint32_t hexid = 0;
  double lat = 0.0;
  double lon = 0.0;
  std::int64_t timestamp = 0;  // whole seconds since 1970 UTC
  std::string_view callsign;
  std::string_view typeDesignator;
  std::string_view registration;
  std::string_view standName;  // the stand the aircraft was seen on
};

// The inputs with which the store checks one message, frozen by the caller for a batch.
struct TrafficFilterContext {
  Lalo queryCentre;           // the user aircraft as last published
  double cosQueryLat = 1.0;   // cos of the centre's latitude
  std::optional<double> parkAirportElevationFt;
  std::int32_t qnhHpa = 1013;
  std::shared_ptr<const ParameterSnapshot> snapshot;  // none: nothing passes
  bool collectIdentity = false;
  bool dropZeroCodeOnGround = false;
  bool identityBeforeNameChecks = false;
};

// A live aircraft seen by the feed, for telling parked aircraft that are in fact moving.
struct LiveIdentity {
  std::string callsign;
  std::uint32_t hexid = 0;
  friend bool operator==(const LiveIdentity&, const LiveIdentity&) = default;
};

// The head of both records and of the engine's aircraft identity. Its first eight bytes are a
// dbase registration entry in another dress: airlineId, secondAirlineId, modelId, cargo777 and
// marker sit where DbaseEntry keeps airlineId, operatorId, modelId, cargo and marker, so an
// entry is stored into a head (and a head handed to gf_isCargo) as a whole.
struct FeedRecordHead {
  std::uint16_t airlineId = 0;        // airline-name table index, 0 = none
  std::uint16_t secondAirlineId = 0;  // the entry's operator (an airline id), 0 unless taken from an entry
  std::uint16_t modelId = 0;          // ModelId of the (fixed) type designator
  std::uint8_t cargo777 = 0;          // "B777" turned "B77F" for a cargo operator; the entry's cargo flag
  std::uint8_t marker = 0;            // the entry's mark byte; 0 in records made by the feed alone
  IataCode origin;                    // all zero when absent
  IataCode destination;
  std::uint64_t engineValue = 0;  // the traffic engine's; zero in records made by the feed
  std::string callsign;           // cleaned
  std::string name1;              // the traffic engine's; empty from the feed
  std::string name2;              // the traffic engine's; empty from the feed
  std::string registration;

  FeedRecordHead() = default;
  FeedRecordHead(const FeedRecordHead&) = default;
  FeedRecordHead& operator=(const FeedRecordHead&) = default;
  // A moved-from head keeps its numbers but has empty texts.
  FeedRecordHead(FeedRecordHead&& other) noexcept;
  FeedRecordHead& operator=(FeedRecordHead&& other) noexcept;
  ~FeedRecordHead() = default;

  // The first eight bytes as the dbase's entry, and back.
  DbaseEntry identity() const;
  void setIdentity(const DbaseEntry& entry);
  // A callsign of three letters then a digit names its airline: interns the upper-cased letters
  // as airlineId. False (nothing changed) for any other callsign.
  bool setAirlineFromCallsign();

  // The identity as log lines show it: airline, ",operator" when there is one, model, "." for a
  // dbase entry, "(C)" for cargo ("DLH,CLH A320.(C)"), in fixed columns.
  std::string description() const;
  std::string descriptionWithRegistration() const;  // plus a blank and the registration
  // Callsign, registration, "ORG->DST" (8 blanks when neither is known) and the description.
  std::string toString() const;
};

template <>
struct fmt::formatter<FeedRecordHead> : fmt::formatter<std::string_view> {
  auto format(const FeedRecordHead& head, fmt::format_context& ctx) const {
    return fmt::formatter<std::string_view>::format(head.description(), ctx);
  }
};

struct TrafficRecord : FeedRecordHead {
  Lalo lalo;
  double altitude = 0.0;  // ft after correction; 0 = on the ground
  std::optional<std::int32_t> altitudeQnh;  // hPa the altitude was corrected for
  double feedAltitude = std::numeric_limits<double>::quiet_NaN();  // ft as the feed gave it
  double gs = 0.0;        // kt
  double track = 0.0;     // deg
  double vs = 0.0;        // ft/min; 0 when the feed's value was not finite
  double TAS = 0.0;       // kt
  std::int32_t mailboxTime = 0;  // engine clock, 1/100 s; set when the batch enters the mailbox
  bool airborne = false;  // feed altitude above 0
  bool repeated = false;  // always false from the feed; the engine's stream uses it
  bool hasTrueHeading = false;
  std::optional<double> rollRad;         // sign reversed: right bank in the feed is negative here
  std::optional<double> trueHeadingRad;  // (0, 2 pi]
  double timestamp = 0.0;                // seconds since 1970 UTC, unrounded
  std::uint32_t hexid = 0;
};

struct ParkedRecord : FeedRecordHead {
  Lalo lalo;
  std::uint32_t hexid = 0;
  std::int32_t halfHourSlot = -1;  // 0..47 of the UTC day of the sighting; -1 when unknown
  std::string standName;

  ParkedRecord() = default;
  ParkedRecord(const ParkedRecord&) = default;
  ParkedRecord& operator=(const ParkedRecord&) = default;
  ParkedRecord(ParkedRecord&& other) noexcept;
  ParkedRecord& operator=(ParkedRecord&& other) noexcept;
  ~ParkedRecord() = default;
};

struct TrafficAddResult {
  std::int64_t timestampSeconds = 0;  // rounded; 0 when the range check did not run
  std::optional<TrafficRecord> record;
  std::optional<LiveIdentity> identity;
  // Set when the record was refused for a value no aircraft reaches: which one (the caller logs).
  std::string refusedValue;
};

// What a reader gathers between two end markers: the live records, the identities of the live
// aircraft seen (for telling parked aircraft that in fact move), and how many messages reached
// the store. Callsigns enter only with an accepted record, hexids whenever the store produced an
// identity. The reader merges the identities into its own index when it posts the batch.
struct TrafficBatch {
  std::vector<TrafficRecord> records;
  std::unordered_set<std::string> callsigns;
  std::unordered_set<std::uint32_t> hexids;
  std::uint32_t count = 0;  // messages in range handed to the store, kept or not

  void clear();  // the record vector keeps its capacity
};
