#include "core/ring_deque.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>
#include <vector>

namespace {

template <class T>
std::vector<T> items(const RingDeque<T>& ring) {
  return {ring.begin(), ring.end()};
}

template <class T>
std::vector<T> items(const std::deque<T>& deque) {
  return {deque.begin(), deque.end()};
}

// The same random operations on the ring and on std::deque leave the same contents, whatever
// the wrap of the ring: pushes and pops at both ends, inserts and erases near either end,
// resizes. Strings, so that a slot left behind or moved twice shows.
TEST(RingDequeTest, RandomOperationsMatchStdDeque) {
  struct Case {
    unsigned seed;
    int maxSize;  // the queue's size the pushes hover around
  };
  constexpr Case kCases[] = {{1, 3}, {2, 9}, {3, 40}, {4, 200}};
  for (const Case& c : kCases) {
    std::mt19937 random(c.seed);
    RingDeque<std::string> ring;
    std::deque<std::string> model;
    for (int step = 0; step < 5000; ++step) {
      const int op = static_cast<int>(random() % 10);
      const std::string value = std::to_string(step);
      const bool grow = static_cast<int>(model.size()) < c.maxSize;
      const auto at = model.empty() ? 0 : static_cast<std::ptrdiff_t>(random() % (model.size() + 1));
      if (op <= 2 && grow) {
        ring.push_back(value);
        model.push_back(value);
      } else if (op == 3 && grow) {
        ring.push_front(value);
        model.push_front(value);
      } else if (op == 4 && grow) {
        ring.insert(ring.begin() + at, value);
        model.insert(model.begin() + at, value);
      } else if (op == 5 && !model.empty()) {
        ring.pop_front();
        model.pop_front();
      } else if (op == 6 && !model.empty()) {
        ring.pop_back();
        model.pop_back();
      } else if (op == 7 && !model.empty()) {
        const auto last = std::min<std::ptrdiff_t>(at + 1 + static_cast<std::ptrdiff_t>(random() % 3),
                                                   static_cast<std::ptrdiff_t>(model.size()));
        const auto first = std::min(at, last);
        const auto r = ring.erase(ring.begin() + first, ring.begin() + last);
        model.erase(model.begin() + first, model.begin() + last);
        ASSERT_EQ(r - ring.begin(), first) << "seed " << c.seed << " step " << step;
      } else if (op == 8) {
        const std::size_t n = random() % (static_cast<std::size_t>(c.maxSize) + 1);
        ring.resize(n);
        model.resize(n);
      } else if (!model.empty()) {
        ring.back() += "b";
        model.back() += "b";
        ring.front() += "f";
        model.front() += "f";
      }
      ASSERT_EQ(ring.size(), model.size()) << "seed " << c.seed << " step " << step;
      ASSERT_EQ(items(ring), items(model)) << "seed " << c.seed << " step " << step;
    }
  }
}

// A queue pushed at the back and popped at the front keeps its slots: once at its largest size
// it never grows again, which is what keeps a steady engine tick free of allocations.
TEST(RingDequeTest, SteadyQueueKeepsItsSlots) {
  RingDeque<int> ring;
  std::deque<int> model;
  for (int i = 0; i < 6; ++i) {
    ring.push_back(i);
    model.push_back(i);
  }
  const std::size_t capacity = ring.capacity();
  for (int i = 6; i < 10000; ++i) {
    ring.push_back(i);
    ring.pop_front();
    model.push_back(i);
    model.pop_front();
    if (i % 7 == 0) {
      ring.insert(ring.begin() + 1, -i);
      model.insert(model.begin() + 1, -i);
    } else if (i % 7 == 1) {
      ring.erase(ring.begin() + 1);
      model.erase(model.begin() + 1);
    }
  }
  EXPECT_EQ(ring.capacity(), capacity);
  EXPECT_EQ(items(ring), items(model));
  const std::vector<int> refill{1, 2, 3};
  ring.assign(refill.begin(), refill.end());
  EXPECT_EQ(items(ring), refill);
  EXPECT_EQ(ring.capacity(), capacity) << "a refill keeps the slots";
}

// Pushing or inserting one of the queue's own elements when that very push grows the ring.
TEST(RingDequeTest, OwnElementSurvivesTheGrowth) {
  RingDeque<std::string> ring;
  for (int i = 0; i < 8; ++i) ring.push_back(std::string(40, static_cast<char>('a' + i)));
  ASSERT_EQ(ring.size(), ring.capacity());
  ring.push_back(ring.front());
  EXPECT_EQ(ring.back(), std::string(40, 'a'));
  while (ring.size() < ring.capacity()) ring.push_back("x");
  ring.insert(ring.begin() + 2, ring.back());
  EXPECT_EQ(ring[2], "x");
  ring.push_front(ring[1]);
  EXPECT_EQ(ring.front(), std::string(40, 'b'));
}

// The ways callers fill and copy a stream: from a std::deque they built, a braced list, a copy
// and a move (which leaves the source empty and usable).
TEST(RingDequeTest, FillsCopiesAndMoves) {
  const std::deque<int> built{1, 2, 3};
  RingDeque<int> ring = built;
  EXPECT_EQ(items(ring), (std::vector<int>{1, 2, 3}));
  ring = {4, 5};
  EXPECT_EQ(items(ring), (std::vector<int>{4, 5}));
  RingDeque<int> copy = ring;
  copy.push_front(3);
  EXPECT_EQ(items(ring), (std::vector<int>{4, 5}));
  RingDeque<int> moved = std::move(copy);
  EXPECT_EQ(items(moved), (std::vector<int>{3, 4, 5}));
  EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): a moved-from stream is reused
  copy.push_back(7);
  EXPECT_EQ(items(copy), (std::vector<int>{7}));
  EXPECT_EQ(std::vector<int>(moved.rbegin(), moved.rend()), (std::vector<int>{5, 4, 3}));
  const auto found = std::find_if(moved.begin(), moved.end(), [](int v) { return v > 3; });
  moved.erase(found, moved.end());
  EXPECT_EQ(items(moved), (std::vector<int>{3}));
}

}  // namespace
