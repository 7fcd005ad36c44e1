// Throttle, flaps, spoilers and gear events: what is sent, and when a setter stays silent.
#include "traffic/sim_events.h"

#include "simlink/sim_ids.h"
#include "tests/traffic/traffic_fixture.h"

namespace {
using namespace traffic_test;

using Events = std::vector<std::pair<std::uint32_t, std::uint32_t>>;  // event, value

Events takeEvents() {
  std::lock_guard lock(g_simQueueMutex);
  Events events;
  for (const SimClientEvent& e : g_simClientEvents) events.emplace_back(e.eventId, e.value);
  g_simClientEvents.clear();
  return events;
}

class SimEventsTest : public EngineTest {};

TEST_F(SimEventsTest, RepeatedAndUnsendableIndexesQueueNothing) {
  LiveAc& ac = addLive(Rec(0x100));
  gf_setThrottle(ac, 5);  // the value a new aircraft starts with
  gf_setThrottle(ac, 2);
  gf_setThrottle(ac, 2);
  gf_setFlaps(ac, 1);
  gf_setFlaps(ac, 1);
  gf_setThrottle(ac, 5);  // stored, not sent
  gf_setThrottle(ac, 2);
  gf_setFlaps(ac, 7);
  EXPECT_EQ(takeEvents(), (Events{{THROTTLE_SET, 8191}, {FLAPS_SET, 3072}, {THROTTLE_SET, 8191}}));
  EXPECT_EQ(ac.flapsIndex, 7u);
  EXPECT_NE(logText().find("gf_setFlaps: invalid flaps index"), std::string::npos);
}

TEST_F(SimEventsTest, ARotorcraftGetsThrottleButNoFlapsSpoilersOrGear) {
  struct Case {
    const char* model;
    Events expected;
  };
  const Case cases[] = {
      {"EC35", {{THROTTLE_SET, 16383}}},
      {"B738", {{THROTTLE_SET, 16383}, {FLAPS_SET, 10240}, {SPOILERS_SET, 16383}, {GEAR_SET, 0}, {GEAR_SET, 0}}},
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& ac = addLive(Rec(0x200, "TEST1", c.model));
    gf_setThrottle(ac, 4);
    gf_setFlaps(ac, 2);
    gf_setSpoilers(ac, true);
    gf_setGear(ac, false);
    gf_setGear(ac, false);  // gear and spoilers keep no state
    EXPECT_EQ(takeEvents(), c.expected) << c.model;
    EXPECT_EQ(ac.flapsIndex, c.expected.size() > 1 ? 2u : 4u) << c.model;
  }
}

}  // namespace
