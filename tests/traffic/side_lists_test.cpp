// The engine's side lists: an entry stays while its flight is around and ages out after it.
#include "tests/traffic/traffic_fixture.h"
#include "traffic/decode_message.h"

namespace {
using namespace traffic_test;

class SideListsTest : public EngineTest {};

TEST_F(SideListsTest, EntriesOutliveTheirFlightsByTheirKeepTimeOnly) {
  constexpr std::int32_t kKeep = kGhostCallsignKeep;  // the jump watch keeps as long
  static_assert(kJumpWatchKeep == kKeep && kLiveryChoiceKeep > kKeep);
  struct Case {
    const char* what;
    bool flightStays;    // its record is still in the live table
    bool seenAgain;      // a record and a spawn attempt refreshed the entries half-way
    std::int32_t after;  // engine time since the entries were made
    bool choiceKept, ghostKept, watchKept;
  };
  const Case cases[] = {
      {"gone, just within the keep", false, false, kKeep, true, true, true},
      {"gone, just beyond it", false, false, kKeep + 1, true, false, false},
      {"gone, beyond the livery's keep", false, false, kLiveryChoiceKeep + 1, false, false, false},
      {"seen again half-way", false, true, kKeep + kKeep / 2, true, true, true},
      // Ghosts and watches have no record of their own: only being seen keeps them.
      {"flight still in the table", true, false, 10 * kLiveryChoiceKeep, true, false, false},
  };
  for (const Case& c : cases) {
    reset();
    g_engineTime = 1000;
    if (c.flightStays) addLive(Rec(0x100), SimStatus::active, FlightPhase::flying);
    g_liveryChoices[0x100] = std::string_view("Livery");
    EXPECT_FALSE(gf_noteGhostCallsign("KLM1_"));
    EXPECT_TRUE(gf_noteGhostCallsign("KLM1_")) << "listed once";
    g_jumpWatch[0x100] = JumpWatchEntry{kEham, 100.0, 1, true, g_engineTime.load()};
    if (c.seenAgain) {
      g_engineTime += kKeep / 2;
      EXPECT_TRUE(gf_isGhostCallsign("KLM1_"));
      EXPECT_FALSE(gf_updateJumpWatch(0x100, kEham, 110.0, false));  // held until airborne
      gf_ageSideLists();
    }
    g_engineTime = 1000 + c.after;
    gf_ageSideLists();
    EXPECT_EQ(g_liveryChoices.contains(0x100), c.choiceKept) << c.what;
    EXPECT_EQ(g_ghostCallsigns.size(), c.ghostKept ? 1u : 0u) << c.what;
    EXPECT_EQ(g_jumpWatch.contains(0x100), c.watchKept) << c.what;
  }
}

}  // namespace
