#include "feed/traffic_records.h"

#include <fmt/format.h>

#include <cstddef>
#include <utility>

// The head's first bytes stand for a DbaseEntry field by field.
static_assert(offsetof(FeedRecordHead, airlineId) == offsetof(DbaseEntry, airlineId));
static_assert(offsetof(FeedRecordHead, secondAirlineId) == offsetof(DbaseEntry, operatorId));
static_assert(offsetof(FeedRecordHead, modelId) == offsetof(DbaseEntry, modelId));
static_assert(offsetof(FeedRecordHead, cargo777) == offsetof(DbaseEntry, cargo));
static_assert(offsetof(FeedRecordHead, marker) == offsetof(DbaseEntry, marker));

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

DbaseEntry FeedRecordHead::identity() const {
  return DbaseEntry{airlineId, secondAirlineId, modelId, cargo777, marker};
}

void FeedRecordHead::setIdentity(const DbaseEntry& entry) {
  airlineId = entry.airlineId;
  secondAirlineId = entry.operatorId;
  modelId = entry.modelId;
  cargo777 = entry.cargo;
  marker = entry.marker;
}

bool FeedRecordHead::setAirlineFromCallsign() {
  const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (callsign.size() < 4 || !isLetter(callsign[0]) || !isLetter(callsign[1]) || !isLetter(callsign[2]) ||
      callsign[3] < '0' || callsign[3] > '9')
    return false;
  std::string code = callsign.substr(0, 3);
  for (char& c : code)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  airlineId = gf_internAirlineName(code);
  return true;
}

std::string FeedRecordHead::description() const {
  const std::string operatorText = secondAirlineId != 0 ? fmt::format(",{}", gf_airlineName(secondAirlineId)) : "";
  return fmt::format("{:3}{:4} {:4}{}{:3}", gf_airlineName(airlineId), operatorText, gf_modelName(modelId),
                     marker != 0 ? "." : " ", cargo777 != 0 ? "(C)" : "");
}

std::string FeedRecordHead::descriptionWithRegistration() const {
  return fmt::format("{} {}", description(), registration);
}

std::string FeedRecordHead::toString() const {
  const std::string route = origin.empty() && destination.empty()
                                ? std::string(8, ' ')
                                : fmt::format("{:3}->{:3}", origin.text(), destination.text());
  return fmt::format("{:8} {:12} {} {}", callsign, registration, route, description());
}

void TrafficBatch::clear() {
  records.clear();
  callsigns.clear();
  hexids.clear();
  count = 0;
}
