#pragma once
// A disk for the background saver's tests: its syncs wait while it is held and are counted, so a
// test can show that a caller does not wait for the disk without timing anything.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "core/background_saver.h"
#include "platform/os.h"

namespace testing_support {

class HeldDisk {
 public:
  HeldDisk() {
    s_held = false, s_failing = false, s_syncs = 0, s_entered = 0;
    os::setFsyncForTest(&sync);
  }
  ~HeldDisk() {
    s_held = false;
    gf_drainSaves();
    os::setFsyncForTest(nullptr);
  }
  HeldDisk(const HeldDisk&) = delete;
  HeldDisk& operator=(const HeldDisk&) = delete;

  void hold() { s_entered = 0, s_held = true; }
  void release() { s_held = false; }
  void fail() { s_failing = true; }  // every sync fails (EIO)
  int syncs() const { return s_syncs.load(); }
  // Returns once a sync has begun since the last hold().
  void waitUntilSyncing() const {
    while (s_entered.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

 private:
  static int sync(int) {
    ++s_entered;
    while (s_held.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ++s_syncs;
    if (s_failing.load()) return errno = EIO, -1;
    return 0;
  }
  static inline std::atomic<bool> s_held{false};
  static inline std::atomic<bool> s_failing{false};
  static inline std::atomic<int> s_syncs{0};
  static inline std::atomic<int> s_entered{0};
};

}  // namespace testing_support
