#include "traffic/stream_delay.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "feed/traffic_mailbox.h"
#include "traffic/live_ac.h"

namespace {

constexpr std::int64_t kI32Max = std::numeric_limits<std::int32_t>::max();

// Point `first` moves `earlier` ticks earlier; each later point by no more than it is late, and
// stays after the one before it. `keepSpacing`: nor closer to point `first` than the feed has it.
void lf_moveEarlier(LiveAc& aircraft, std::size_t first, std::int64_t earlier, bool keepSpacing) {
  auto& s = aircraft.stream;
  s[first].time = static_cast<std::int32_t>(s[first].time - earlier);
  const std::optional<std::int32_t> anchor = keepSpacing ? s[first].feedTime : std::nullopt;
  for (std::size_t i = first + 1; i < s.size(); ++i) {
    std::int64_t own = s[i].feedTime ? std::clamp<std::int64_t>(gf_feedLateness(aircraft, i), 0, earlier) : earlier;
    if (anchor && s[i].feedTime)
      own = std::clamp<std::int64_t>(std::int64_t{s[i].time} - s[first].time - (*s[i].feedTime - *anchor), 0, own);
    s[i].time = static_cast<std::int32_t>(std::max<std::int64_t>(s[i].time - own, std::int64_t{s[i - 1].time} + 1));
  }
}

}  // namespace

std::int32_t gf_feedLateness(const LiveAc& aircraft, std::size_t index) {
  if (index >= aircraft.stream.size()) return 0;
  const StreamPoint& point = aircraft.stream[index];
  if (!point.feedTime) return 0;
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(std::int64_t{point.time} - *point.feedTime, -kI32Max, kI32Max));
}

std::int32_t gf_delayStream(LiveAc& aircraft, std::int64_t ticks, std::size_t first) {
  auto& s = aircraft.stream;
  if (!(ticks > 0) || first >= s.size()) return 0;
  // The ticks point i may move later.
  const auto roomAt = [&aircraft, &s](std::size_t i) {
    const std::int64_t room = kI32Max - s[i].time;
    return s[i].feedTime ? std::min(room, std::int64_t{*s[i].feedTime} + aircraft.predictLimitB - s[i].time) : room;
  };
  // Most delays asked on the ground are refused, by the same point late by its limit each tick.
  const std::size_t hint = aircraft.delayRefusedAt;
  if (hint >= first && hint < s.size() && roomAt(hint) <= 0) return 0;
  std::int64_t room = std::min<std::int64_t>(ticks, kI32Max);
  for (std::size_t i = first; i < s.size(); ++i) {
    const std::int64_t own = roomAt(i);
    if (own < room) {
      room = own;
      if (own <= 0) aircraft.delayRefusedAt = static_cast<std::uint32_t>(i);
    }
  }
  if (room <= 0) return 0;
  const auto later = static_cast<std::int32_t>(room);
  for (std::size_t i = first; i < s.size(); ++i) s[i].time += later;
  return later;
}

std::int32_t gf_advanceStream(LiveAc& aircraft, std::int64_t ticks) {
  auto& s = aircraft.stream;
  if (s.empty()) return 0;
  std::int64_t earlier = std::min<std::int64_t>(ticks, std::int64_t{s[0].time} - (g_engineTime.load() + 1));
  if (s[0].feedTime) earlier = std::min<std::int64_t>(earlier, gf_feedLateness(aircraft, 0));
  if (earlier <= 0) return 0;
  lf_moveEarlier(aircraft, 0, earlier, true);
  return static_cast<std::int32_t>(earlier);
}

std::int32_t gf_makeUpStandingDelay(LiveAc& aircraft) {
  auto& s = aircraft.stream;
  if (s.size() < 2 || !s[1].repeated) return 0;
  const std::int64_t late = gf_feedLateness(aircraft, 1);
  const std::int64_t spare = std::int64_t{s[1].time} - (std::int64_t{g_engineTime.load()} + 1);
  const std::int64_t earlier = std::min(late, spare);
  if (earlier <= 0) return 0;
  lf_moveEarlier(aircraft, 1, earlier, false);
  return static_cast<std::int32_t>(earlier);
}

std::optional<std::int32_t> gf_feedTimeBetween(const StreamPoint& a, const StreamPoint& b, double f) {
  if (!a.feedTime || !b.feedTime) return std::nullopt;
  f = std::isfinite(f) ? std::clamp(f, 0.0, 1.0) : 0.5;
  const double va = a.groundSpeed;
  const double vb = b.groundSpeed;
  // Slowing, the aircraft takes longer over the leg's second half: its share of the time runs
  // behind its share of the distance.
  double share = f;
  if (std::isfinite(va) && std::isfinite(vb) && va >= 0.0 && vb >= 0.0 && va + vb > 0.0) {
    const double vf = std::sqrt(va * va + (vb * vb - va * va) * f);
    share = va + vf > 0.0 ? std::clamp(f * (va + vb) / (va + vf), 0.0, 1.0) : 0.0;
  }
  const double t = *a.feedTime + (static_cast<double>(*b.feedTime) - *a.feedTime) * share;
  return static_cast<std::int32_t>(std::clamp<double>(std::lround(t), -kI32Max, kI32Max));
}
