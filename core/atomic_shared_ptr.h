#pragma once
// A shared pointer that threads publish and read without a data race. std::atomic<std::shared_ptr>
// of g++ 12 hides its lock from ThreadSanitizer, so every checked run reports it; a short
// mutex costs little at the rates we publish and read.
#include <memory>
#include <mutex>
#include <utility>

template <typename T>
class AtomicSharedPtr {
 public:
  AtomicSharedPtr() = default;
  explicit AtomicSharedPtr(std::shared_ptr<T> initial) : m_pointer(std::move(initial)) {}
  AtomicSharedPtr(const AtomicSharedPtr&) = delete;
  AtomicSharedPtr& operator=(const AtomicSharedPtr&) = delete;

  std::shared_ptr<T> load() const {
    std::lock_guard lock(m_mutex);
    return m_pointer;
  }

  void store(std::shared_ptr<T> desired) {
    std::shared_ptr<T> old;  // released outside the lock
    std::lock_guard lock(m_mutex);
    old = std::exchange(m_pointer, std::move(desired));
  }

  // As std::atomic: on failure, expected takes the current value.
  bool compare_exchange_strong(std::shared_ptr<T>& expected, std::shared_ptr<T> desired) {
    std::shared_ptr<T> old;
    std::lock_guard lock(m_mutex);
    if (m_pointer == expected) {
      old = std::exchange(m_pointer, std::move(desired));
      return true;
    }
    expected = m_pointer;
    return false;
  }

 private:
  mutable std::mutex m_mutex;
  std::shared_ptr<T> m_pointer;
};
