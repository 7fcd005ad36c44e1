#include "feed/traffic_records.h"

#include <utility>

FeedRecordHead::FeedRecordHead(FeedRecordHead&& other) noexcept
    : airlineId(other.airlineId),
      secondAirlineId(other.secondAirlineId),
      modelId(other.modelId),
      cargo777(other.cargo777),
      marker(other.marker),
      origin(other.origin),
      destination(other.destination),
      engineValue(other.engineValue),
      callsign(std::move(other.callsign)),
      name1(std::move(other.name1)),
      name2(std::move(other.name2)),
      registration(std::move(other.registration)) {
  // A moved-from std::string is only "valid"; the engine relies on it being empty.
  other.callsign.clear();
  other.name1.clear();
  other.name2.clear();
  other.registration.clear();
}

FeedRecordHead& FeedRecordHead::operator=(FeedRecordHead&& other) noexcept {
  if (this == &other) return *this;
  airlineId = other.airlineId;
  secondAirlineId = other.secondAirlineId;
  modelId = other.modelId;
  cargo777 = other.cargo777;
  marker = other.marker;
  origin = other.origin;
  destination = other.destination;
  engineValue = other.engineValue;
  callsign = std::move(other.callsign);
  name1 = std::move(other.name1);
  name2 = std::move(other.name2);
  registration = std::move(other.registration);
  other.callsign.clear();
  other.name1.clear();
  other.name2.clear();
  other.registration.clear();
  return *this;
}

ParkedRecord::ParkedRecord(ParkedRecord&& other) noexcept
    : FeedRecordHead(std::move(other)),
      lalo(other.lalo),
      hexid(other.hexid),
      halfHourSlot(other.halfHourSlot),
      standName(std::move(other.standName)) {
  other.standName.clear();
}

ParkedRecord& ParkedRecord::operator=(ParkedRecord&& other) noexcept {
  if (this == &other) return *this;
  FeedRecordHead::operator=(std::move(other));
  lalo = other.lalo;
  hexid = other.hexid;
  halfHourSlot = other.halfHourSlot;
  standName = std::move(other.standName);
  other.standName.clear();
  return *this;
}
