// The traffic mailbox: replacement, the stall that stops the program, delivery switched off,
// history batches queued for the worker, and a reader posting while the worker takes.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "feed/traffic_mailbox.h"
#include "tests/feed/feed_test_support.h"

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

std::vector<TrafficRecord> recordsAt(std::initializer_list<double> timestamps) {
  std::vector<TrafficRecord> records;
  for (double t : timestamps) {
    TrafficRecord record;
    record.timestamp = t;
    records.push_back(record);
  }
  return records;
}

class MailboxTest : public feed_test::LoggedTest {
 protected:
  void SetUp() override {
    LoggedTest::SetUp();
    gf_setMailboxClockForTest([this] { return now; });
    fresh();
  }
  void fresh() {
    gf_resetTrafficMailbox();
    gf_resetStopStateForTest();
    gf_setMailboxActive(true);
  }
  void TearDown() override {
    gf_setMailboxClockForTest({});
    gf_resetTrafficMailbox();
    LoggedTest::TearDown();
  }
  void post(std::size_t count, bool dropWhenInactive = true) {
    std::vector<TrafficRecord> batch(count);
    gf_postTrafficBatch(batch, kLiveTrafficKind, dropWhenInactive);
    EXPECT_TRUE(batch.empty());
  }
  std::int64_t now = 0;
};

TEST_F(MailboxTest, ReplacementStallAndPause) {
  enum class Op { Post, PostKeepInactive, Take, Pause, Resume };
  struct Step {
    Op op;
    double atSeconds = 0.0;
    std::size_t records = 1;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::uint64_t replaced;
    std::size_t waiting;
    bool stalled;
    bool active;
  };
  const Case cases[] = {
      {"a second batch replaces the first", {{Op::Post, 0, 2}, {Op::Post, 1, 1}}, 1, 1, false, true},
      {"a minute of replacements is a stall, later posts are discarded",
       {{Op::Post, 0}, {Op::Post, 1}, {Op::Post, 30}, {Op::Post, 61, 3}, {Op::Resume}, {Op::Post, 62}},
       0, 0, true, false},
      {"59.9 s of replacements are none", {{Op::Post, 0}, {Op::Post, 1}, {Op::Post, 60.9}}, 2, 1, false, true},
      {"a consumption starts the minute again; an empty mailbox counts nothing",
       {{Op::Post, 0}, {Op::Post, 1}, {Op::Take}, {Op::Post, 2}, {Op::Post, 40}, {Op::Post, 61}}, 2, 1, false, true},
      {"live batches during a pause are discarded",
       {{Op::Post, 0}, {Op::Pause}, {Op::Post, 1, 5}, {Op::PostKeepInactive, 2, 5}}, 0, 1, false, false},
  };
  for (const Case& c : cases) {
    fresh();
    for (const Step& step : c.steps) {
      now = static_cast<std::int64_t>(step.atSeconds * kSecond);
      TrafficRecord taken;
      switch (step.op) {
        case Op::Post: post(step.records); break;
        case Op::PostKeepInactive: post(step.records, false); break;
        case Op::Take: EXPECT_TRUE(gf_takeMailboxRecord(taken)) << c.name; break;
        case Op::Pause: gf_setMailboxActive(false); break;
        case Op::Resume: gf_setMailboxActive(true); break;
      }
    }
    std::lock_guard lock(g_trafficMutex);
    EXPECT_EQ(g_trafficMailbox.replacedCount, c.replaced) << c.name;
    EXPECT_EQ(g_trafficMailbox.records.size(), c.waiting) << c.name;
    EXPECT_EQ(g_trafficMailbox.stalled, c.stalled) << c.name;
    EXPECT_EQ(g_trafficMailbox.active, c.active) << c.name;
  }
}

TEST_F(MailboxTest, AStallIsReportedOnceAndStopsTheProgram) {
  post(1);
  now = 1 * kSecond;
  post(1);
  now = 61 * kSecond;
  post(3);
  now = 62 * kSecond;
  post(1);
  const std::string warning =
      "==> Traffic mailbox stalled: no messages consumed for 1 minute; 2 batches replaced, 1 pending and 3 incoming "
      "messages. Stopping traffic delivery and requesting shutdown.\n";
  const std::string log = logText();
  const std::size_t at = log.find(warning);
  ASSERT_NE(at, std::string::npos) << log;
  EXPECT_EQ(log.find("Traffic mailbox stalled", at + warning.size()), std::string::npos) << "reported once";
  ASSERT_TRUE(gf_stopRequest());
  EXPECT_EQ(gf_stopRequest()->reason, StopReason::TrafficMailboxStalled);
  EXPECT_EQ(gf_stopRequest()->restartDelaySeconds, 0u);

  // Only the engine's restart lifts the stall.
  gf_clearTrafficMailbox();
  gf_setMailboxActive(true);
  post(1);
  TrafficRecord taken;
  EXPECT_TRUE(gf_takeMailboxRecord(taken));
}

TEST_F(MailboxTest, ALiveBatchIsDrainedIn25TicksAtLeastTwoRecordsATick) {
  struct Case {
    std::size_t records;
    std::size_t perTick;
  };
  const Case cases[] = {{1, 2}, {50, 2}, {51, 3}, {55, 3}, {1000, 40}, {2001, 81}};
  for (const Case& c : cases) {
    post(c.records);
    EXPECT_EQ(gf_mailboxDrainPerTick(), c.perTick) << c.records << " records";
  }
  gf_clearTrafficMailbox();
  post(3);
  EXPECT_EQ(gf_mailboxDrainPerTick(), 2u) << "set again at each swap";
}

// A raised pace or the history followed by live traffic: 1,000 flights twice, half a second (50
// ticks) apart, the worker taking what each tick allows. The second batch replaces nothing.
TEST_F(MailboxTest, TwoBatchesHalfASecondApartLoseNothing) {
  for (int batch = 0; batch < 3; ++batch) {
    post(1000);
    std::size_t taken = 0;
    for (int tick = 0; tick < 50; ++tick) {
      const std::size_t perTick = gf_mailboxDrainPerTick();
      TrafficRecord record;
      for (std::size_t i = 0; i < perTick && gf_takeMailboxRecord(record); ++i) ++taken;
    }
    EXPECT_EQ(taken, 1000u) << "batch " << batch;
  }
  EXPECT_EQ(g_trafficMailbox.replacedRecords, 0u);
  EXPECT_EQ(g_trafficMailbox.liveRecords, 3000u);
}

// Hexids 1..n posted in their stable order every interval, the worker taking only `taken` of
// them in between. Keeping up, it takes every batch last first; falling behind, it goes on with
// the flight it would have taken next, so every flight is taken within ceil(n / taken) intervals.
TEST_F(MailboxTest, AWorkerFallingBehindLosesDifferentFlightsEachTime) {
  struct Case {
    std::size_t records, taken;
    std::vector<std::uint32_t> droppedOut;  // flights missing after the first batch
  };
  const Case cases[] = {
      {10, 10, {}}, {10, 12, {}}, {10, 7, {}}, {10, 4, {}}, {10, 3, {}}, {10, 1, {}},
      {10, 4, {6, 5}},  // the next ones taken are gone: the one after them
  };
  for (const Case& c : cases) {
    fresh();
    const std::string name =
        fmt::format("{} records, {} taken{}", c.records, c.taken, c.droppedOut.empty() ? "" : ", some gone");
    const std::size_t window = (c.records + c.taken - 1) / c.taken;
    const auto isGone = [&c](std::size_t interval, std::uint32_t hexid) {
      return interval > 0 && std::find(c.droppedOut.begin(), c.droppedOut.end(), hexid) != c.droppedOut.end();
    };
    std::vector<std::vector<std::uint32_t>> seen;
    for (std::size_t interval = 0; interval < 4 * window + 2; ++interval) {
      std::vector<TrafficRecord> batch;
      for (std::uint32_t hexid = 1; hexid <= c.records; ++hexid)
        if (!isGone(interval, hexid)) batch.emplace_back().hexid = hexid;
      gf_postTrafficBatch(batch, kLiveTrafficKind, true);
      std::vector<std::uint32_t>& taken = seen.emplace_back();
      TrafficRecord record;
      while (taken.size() < c.taken && gf_takeMailboxRecord(record)) taken.push_back(record.hexid);
    }
    if (c.taken >= c.records) {
      std::vector<std::uint32_t> lastFirst(c.records);
      for (std::size_t i = 0; i < c.records; ++i) lastFirst[i] = static_cast<std::uint32_t>(c.records - i);
      for (const auto& taken : seen) EXPECT_EQ(taken, lastFirst) << name;
      continue;
    }
    // Whatever the worker took, the same order, the stable order's last first, around a ring.
    for (std::size_t interval = 0; interval < seen.size(); ++interval)
      for (std::size_t i = 1; i < seen[interval].size(); ++i) {
        std::uint32_t expected = seen[interval][i - 1];
        do expected = expected == 1 ? static_cast<std::uint32_t>(c.records) : expected - 1;
        while (isGone(interval, expected));
        EXPECT_EQ(seen[interval][i], expected) << name;
      }
    for (std::size_t first = 1; first + window <= seen.size(); ++first) {
      std::set<std::uint32_t> covered;
      for (std::size_t i = first; i < first + window; ++i) covered.insert(seen[i].begin(), seen[i].end());
      EXPECT_EQ(covered.size(), c.records - c.droppedOut.size()) << name << ", intervals from " << first;
    }
  }
}

TEST_F(MailboxTest, HistoryBatchesWaitInOrderWhateverTheFlagsAndAFloodIsCut) {
  gf_setMailboxActive(false);
  for (std::int32_t kind : {0, 6, 12}) {
    auto batch = recordsAt({1.0 + kind});
    gf_postTrafficBatch(batch, kind, true);
  }
  auto empty = recordsAt({});
  gf_postTrafficBatch(empty, 18, true);  // nothing to hand over
  auto taken = gf_takeHistoryBatches();
  ASSERT_EQ(taken.size(), 3u);
  EXPECT_EQ(taken[0].kind, 0);
  EXPECT_EQ(taken[2].kind, 12);
  EXPECT_EQ(taken[2].records.at(0).mailboxTime, 1200);
  EXPECT_TRUE(gf_takeHistoryBatches().empty());

  for (std::size_t i = 0; i <= kMaxWaitingHistoryBatches; ++i) {
    auto batch = recordsAt({1.0});
    gf_postTrafficBatch(batch, 6, true);
  }
  EXPECT_EQ(gf_takeHistoryBatches().size(), kMaxWaitingHistoryBatches);
  EXPECT_EQ(g_trafficMailbox.droppedHistoryBatches, 1u);
}

TEST_F(MailboxTest, ARestartCountsAfresh) {
  for (int run = 0; run < 3; ++run) {
    for (std::int32_t kind : {0, 6, 12, 18, 24}) {
      auto batch = recordsAt({1.0});
      gf_postTrafficBatch(batch, kind, true);
    }
    post(2);
    gf_takeHistoryBatches();
    {
      std::lock_guard lock(g_trafficMutex);
      EXPECT_EQ(g_trafficMailbox.bufferKinds.size(), 5u) << "run " << run;
      EXPECT_EQ(g_trafficMailbox.bufferBatches, 5u) << "run " << run;
      EXPECT_EQ(g_trafficMailbox.bufferRecords, 5u) << "run " << run;
      EXPECT_EQ(g_trafficMailbox.liveBatches, 1u) << "run " << run;
    }
    gf_clearTrafficMailbox();
    gf_setMailboxActive(true);
  }
}

// Under ThreadSanitizer: a reader posting while the worker takes shares nothing unguarded, and
// no history batch is lost on the way.
TEST_F(MailboxTest, AReaderPostsWhileTheWorkerTakes) {
  std::atomic<bool> done{false};
  std::jthread reader([&done] {
    for (int i = 0; i < 2000; ++i) {
      auto batch = recordsAt({1.0, 2.0, 3.0});
      gf_postTrafficBatch(batch, i % 100 == 0 ? 6 : kLiveTrafficKind, true);
    }
    done = true;
  });
  std::size_t history = 0;
  TrafficRecord taken;
  for (bool last = false; !last;) {
    last = done.load();
    while (gf_takeMailboxRecord(taken)) {
    }
    for (const HistoryBatch& batch : gf_takeHistoryBatches()) history += batch.records.size();
  }
  EXPECT_EQ(history, 60u);
  EXPECT_FALSE(gf_stopRequest());
}

}  // namespace
