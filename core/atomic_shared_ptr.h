#pragma once
// A shared pointer that threads publish and read without a data race. std::atomic<std::shared_ptr>
// of g++ 12 hides its lock from ThreadSanitizer, so every checked run reports it; a short
// mutex costs little at the rates we publish and read.
#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

// Blocks of one size that the snapshots of one publisher were made in, kept when their last
// reader lets go so that the next snapshot is made in one of them. Shared by the publisher and
// every snapshot's control block, so that it lives as long as the last of them.
class RecycledBlocks {
 public:
  RecycledBlocks() { m_free.reserve(kKeep); }
  RecycledBlocks(const RecycledBlocks&) = delete;
  RecycledBlocks& operator=(const RecycledBlocks&) = delete;
  ~RecycledBlocks() {
    for (void* block : m_free) ::operator delete(block);
  }

  void* take(std::size_t bytes) {
    {
      std::lock_guard lock(m_mutex);
      if (bytes == m_bytes && !m_free.empty()) {
        void* block = m_free.back();
        m_free.pop_back();
        return block;
      }
    }
    return ::operator new(bytes);
  }

  void give(void* block, std::size_t bytes) noexcept {
    {
      std::lock_guard lock(m_mutex);
      if (m_bytes == 0) m_bytes = bytes;
      if (bytes == m_bytes && m_free.size() < kKeep) {
        m_free.push_back(block);  // reserved: never allocates
        return;
      }
    }
    ::operator delete(block);
  }

 private:
  // More snapshots than readers ever hold at once: beyond that, blocks go back to the heap.
  static constexpr std::size_t kKeep = 8;
  std::mutex m_mutex;
  std::vector<void*> m_free;
  std::size_t m_bytes = 0;  // of the first block given back: the size a snapshot takes
};

template <typename U>
struct RecycledAllocator {
  using value_type = U;
  static_assert(alignof(U) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

  explicit RecycledAllocator(std::shared_ptr<RecycledBlocks> from) : blocks(std::move(from)) {}
  template <typename V>
  RecycledAllocator(const RecycledAllocator<V>& other) : blocks(other.blocks) {}  // NOLINT: rebinding

  U* allocate(std::size_t n) { return static_cast<U*>(blocks->take(n * sizeof(U))); }
  void deallocate(U* p, std::size_t n) noexcept { blocks->give(p, n * sizeof(U)); }
  template <typename V>
  bool operator==(const RecycledAllocator<V>& other) const {
    return blocks == other.blocks;
  }

  std::shared_ptr<RecycledBlocks> blocks;
};

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

  // Stores a new snapshot of value, made in the memory of snapshots no reader holds any more, so
  // that a thread publishing again and again (the user position, every 20 ticks) stops allocating.
  void publish(const std::remove_const_t<T>& value) {
    std::shared_ptr<RecycledBlocks> blocks;
    {
      std::lock_guard lock(m_mutex);
      if (!m_blocks) m_blocks = std::make_shared<RecycledBlocks>();
      blocks = m_blocks;
    }
    store(std::allocate_shared<T>(RecycledAllocator<std::remove_const_t<T>>(std::move(blocks)), value));
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
  std::shared_ptr<RecycledBlocks> m_blocks;  // made by the first publish
};
