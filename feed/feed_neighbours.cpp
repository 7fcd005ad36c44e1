#include "feed/feed_neighbours.h"

#include <atomic>
#include <cmath>

namespace {

std::atomic<std::optional<Lalo> (*)()> g_parkAirportSource{nullptr};
std::atomic<std::optional<std::string> (*)()> g_userStandSource{nullptr};
std::atomic<std::optional<std::string> (*)(const Lalo&)> g_standNameSource{nullptr};
std::atomic<UserAcPosition (*)()> g_userStateSource{nullptr};
std::atomic<bool (*)()> g_onGroundSource{nullptr};
std::atomic<void (*)(std::vector<ParkedRecord>&, std::uint32_t)> g_addParkedSink{nullptr};

}  // namespace

AtomicSharedPtr<const UserAcPosition> g_userAcPosition{std::make_shared<const UserAcPosition>()};
UserAcPosition g_workerUserAcPosition;

void gf_setFeedNeighbours(const FeedNeighbours& neighbours) {
  g_parkAirportSource = neighbours.parkAirport;
  g_userStandSource = neighbours.userStand;
  g_standNameSource = neighbours.standNameAtPos;
  g_userStateSource = neighbours.userAcState;
  g_onGroundSource = neighbours.userOnGround;
  g_addParkedSink = neighbours.addParkedFromFeed;
}

std::optional<Lalo> gf_feedParkAirport() {
  const auto source = g_parkAirportSource.load();
  return source ? source() : std::nullopt;
}

std::optional<std::string> gf_feedUserStand() {
  const auto source = g_userStandSource.load();
  return source ? source() : std::nullopt;
}

std::optional<std::string> gf_feedStandNameAtPos(const Lalo& position) {
  const auto source = g_standNameSource.load();
  return source ? source(position) : std::nullopt;
}

UserAcPosition gf_feedUserAcState() {
  const auto source = g_userStateSource.load();
  return source ? source() : UserAcPosition{};
}

bool gf_feedUserOnGround() {
  const auto source = g_onGroundSource.load();
  return source && source();
}

void gf_feedAddParked(std::vector<ParkedRecord>& records, std::uint32_t wanted) {
  if (const auto sink = g_addParkedSink.load()) sink(records, wanted);
}

void gf_publishUserAcPosition(const UserAcPosition& position) {
  g_workerUserAcPosition = position;
  g_userAcPosition.publish(position);
}

bool gf_isUserPositionKnown(const UserAcPosition& position) {
  return !(std::abs(position.latitude) <= 0.0001 && std::abs(position.longitude) <= 0.0001);
}

void gf_resetFeedNeighbours() {
  gf_setFeedNeighbours({});
  gf_publishUserAcPosition(UserAcPosition{});
}
