#include "core/atomic_shared_ptr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

namespace {

struct Snapshot {
  long a = 0;
  long b = 0;  // always equal to a: a reader seeing them differ saw a snapshot being rewritten
};

// Snapshots that readers still hold keep their values while newer ones are published; the ones
// nobody holds are reused, so that a steady publisher cycles through a couple of blocks.
TEST(AtomicSharedPtrTest, PublishReusesOnlyReleasedSnapshots) {
  AtomicSharedPtr<const Snapshot> pointer{std::make_shared<const Snapshot>()};
  std::vector<std::shared_ptr<const Snapshot>> held;
  for (long i = 1; i <= 20; ++i) {
    pointer.publish(Snapshot{i, i});
    if (i % 5 == 0) held.push_back(pointer.load());
  }
  for (std::size_t k = 0; k < held.size(); ++k) {
    EXPECT_EQ(held[k]->a, 5 * static_cast<long>(k + 1));
    EXPECT_EQ(held[k]->b, held[k]->a);
  }
  std::set<const Snapshot*> blocks;
  for (long i = 21; i <= 200; ++i) {
    pointer.publish(Snapshot{i, i});
    const auto now = pointer.load();
    EXPECT_EQ(now->a, i);
    blocks.insert(now.get());
  }
  EXPECT_LE(blocks.size(), 2u) << "a publisher whose snapshots are let go reuses their blocks";
  for (const auto& snapshot : held) EXPECT_EQ(blocks.count(snapshot.get()), 0u) << "a held snapshot was reused";
}

// A reader on another thread never sees a snapshot change under it.
TEST(AtomicSharedPtrTest, ReadersSeeWholeSnapshotsWhilePublishing) {
  AtomicSharedPtr<const Snapshot> pointer{std::make_shared<const Snapshot>()};
  std::atomic<bool> done{false};
  std::atomic<long> torn{0};
  std::thread reader([&] {
    while (!done.load()) {
      const auto snapshot = pointer.load();
      const long a = snapshot->a;
      std::this_thread::yield();
      if (snapshot->b != a || snapshot->a != a) ++torn;
    }
  });
  for (long i = 1; i <= 20000; ++i) pointer.publish(Snapshot{i, i});
  done = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(pointer.load()->a, 20000);
}

}  // namespace
