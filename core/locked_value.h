#pragma once
// A value that several threads read and replace, used like std::atomic for types that are no
// atomics (texts, paths, shared lists): every read is a whole copy taken under a short lock, so
// a reader never meets half a string or a list freed under it. Read-modify-write sequences
// stay the caller's business.
#include <fmt/format.h>

#include <mutex>
#include <utility>

template <typename T>
class LockedValue {
 public:
  LockedValue(T initial) : m_value(std::move(initial)) {}  // implicit, as std::atomic's
  LockedValue(const LockedValue&) = delete;
  LockedValue& operator=(const LockedValue&) = delete;

  T load() const {
    std::lock_guard lock(m_mutex);
    return m_value;
  }

  void store(T desired) {
    {
      std::lock_guard lock(m_mutex);
      std::swap(m_value, desired);
    }  // the old value is freed outside the lock
  }

  operator T() const { return load(); }
  friend bool operator==(const LockedValue& held, const T& other) { return held.load() == other; }
  // As std::atomic: gives the value stored, not a reference.
  T operator=(T desired) {
    store(desired);
    return desired;
  }

 private:
  mutable std::mutex m_mutex;
  T m_value;
};

// Formatted as the value it holds now.
template <typename T, typename Char>
struct fmt::formatter<LockedValue<T>, Char> : fmt::formatter<T, Char> {
  template <typename FormatContext>
  auto format(const LockedValue<T>& held, FormatContext& ctx) const {
    return fmt::formatter<T, Char>::format(held.load(), ctx);
  }
};
