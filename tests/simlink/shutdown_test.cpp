// The stop: every object this connection created is removed before the thread ends.
#include "tests/simlink/sim_fixture.h"

namespace simtest {
namespace {

TEST_F(SimLinkTest, StopRemovesEveryOwnedObjectAndLogsTheSummary) {
  connect();
  for (std::uint32_t i = 0; i < 3; ++i) createObject(0xA00001 + i, fmt::format("N{}", i));
  createObject(7, "STATIC");
  ASSERT_EQ(sim::aiObjects().size(), 4u);
  stopClient();
  EXPECT_TRUE(sim::aiObjects().empty());
  EXPECT_EQ(sim::callLog("AIRemoveObject").size(), 4u);
  EXPECT_EQ(countOf(log(), "SimConnect shutdown cleanup: initially owned 4, remove requested 4, confirmed 4, "
                           "pending removals 0, pending creates 0"),
            1u);
  EXPECT_EQ(g_simState.load(), 0);
}

TEST_F(SimLinkTest, StopWaitsAtMostTwoSecondsForConfirmations) {
  sim::setRemoveDelayFrames(sim::kNever);
  connect();
  createObject(0xA00001, "N1");
  createObject(0xA00002, "N2");
  requestStop();
  ASSERT_TRUE(sim::waitUntil([] { return sim::callLog("AIRemoveObject").size() == 2; }));
  clockNs = 1'999'000'000;  // still waiting
  const auto dispatches = sim::dispatchCount();
  ASSERT_TRUE(sim::waitUntil([&] { return sim::dispatchCount() > dispatches + 2; }));
  clockNs = 2'000'000'000;
  join();
  EXPECT_EQ(countOf(log(), "SimConnect shutdown cleanup: initially owned 2, remove requested 2, confirmed 0, "
                           "pending removals 2, pending creates 0"),
            1u);
}

TEST_F(SimLinkTest, StopInStateThreeRemovesNothing) {
  connect();
  createObject(0xA00001, "N1");
  createObject(0xA00002, "N2");
  sim::failCall("RequestDataOnSimObject");
  gf_queueSimCommand(SimCommand{3, 0});
  frame();
  ASSERT_EQ(g_simState.load(), 3);
  stopClient();
  EXPECT_TRUE(sim::callLog("AIRemoveObject").empty());
  EXPECT_EQ(sim::aiObjects().size(), 2u);
  EXPECT_EQ(countOf(log(), "SimConnect shutdown cleanup"), 0u);
}

TEST_F(SimLinkTest, ObjectAssignedDuringTheCleanUpIsRemovedAtOnce) {
  sim::setCreateDelayFrames(3);
  connect();
  gf_queueCreateAiObject({.tailNumber = "LATE", .containerTitle = "Stand-in A320", .hexid = 0xA00009});
  frame();  // sent, not yet answered
  ASSERT_EQ(sim::callLog("AICreateNonATCAircraft").size(), 1u);
  const auto reads = clockReads.load();
  requestStop();
  // The clean-up has noted its start time: it waits for the pending create.
  ASSERT_TRUE(sim::waitUntil([&] { return clockReads.load() > reads + 1; }));
  sim::pumpFrames(3);
  join();
  EXPECT_TRUE(sim::aiObjects().empty());
  const auto delayed = takeDelayed();  // only the removal's confirmation: nothing to attach
  ASSERT_EQ(delayed.size(), 1u);
  EXPECT_EQ(delayed[0].kind, 2u);
  EXPECT_EQ(countOf(log(), "SimConnect shutdown cleanup: initially owned 0, remove requested 1, confirmed 1, "
                           "pending removals 0, pending creates 0"),
            1u);
  EXPECT_TRUE(sim::callLog("AIReleaseControl").empty());
}

}  // namespace
}  // namespace simtest
