#pragma once
// A double-ended queue in one ring of slots that grows by doubling and never shrinks, so that a
// queue that is pushed at one end and popped at the other stops allocating once it has reached its
// largest size (std::deque allocates and frees a block every few elements).
//
// It offers the part of std::deque's interface the engine uses, with one difference: growing the
// ring moves the elements, so a push invalidates references to them as well as iterators.
// Elements outside the queue stay constructed in their slots; a popped slot is reset to T{} when T
// owns resources.
#include <algorithm>
#include <compare>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <ranges>
#include <type_traits>
#include <utility>
#include <vector>

template <class T>
class RingDeque {
  template <bool Const>
  class Iterator;

 public:
  using value_type = T;
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;
  using reference = T&;
  using const_reference = const T&;
  using iterator = Iterator<false>;
  using const_iterator = Iterator<true>;
  using reverse_iterator = std::reverse_iterator<iterator>;
  using const_reverse_iterator = std::reverse_iterator<const_iterator>;

  RingDeque() = default;
  RingDeque(std::initializer_list<T> values) { assign(values.begin(), values.end()); }
  // From any container of T (a std::deque a caller built, a vector), so that callers that fill
  // a stream from one keep working.
  template <std::ranges::input_range Range>
    requires(!std::same_as<std::remove_cvref_t<Range>, RingDeque> &&
             std::convertible_to<std::ranges::range_reference_t<Range>, T>)
  RingDeque(const Range& values) {  // NOLINT(google-explicit-constructor)
    assign(std::ranges::begin(values), std::ranges::end(values));
  }
  RingDeque(const RingDeque& other) { assign(other.begin(), other.end()); }
  RingDeque(RingDeque&& other) noexcept
      : slots_(std::move(other.slots_)), head_(std::exchange(other.head_, 0)), size_(std::exchange(other.size_, 0)) {
    other.slots_.clear();
  }
  RingDeque& operator=(const RingDeque& other) {
    if (this != &other) assign(other.begin(), other.end());
    return *this;
  }
  RingDeque& operator=(RingDeque&& other) noexcept {
    if (this != &other) {
      slots_ = std::move(other.slots_);
      other.slots_.clear();
      head_ = std::exchange(other.head_, 0);
      size_ = std::exchange(other.size_, 0);
    }
    return *this;
  }
  RingDeque& operator=(std::initializer_list<T> values) {
    assign(values.begin(), values.end());
    return *this;
  }
  ~RingDeque() = default;

  // Keeps the slots: a refill of the same size allocates nothing.
  template <class InputIt>
  void assign(InputIt first, InputIt last) {
    clear();
    for (; first != last; ++first) push_back(*first);
  }

  bool empty() const { return size_ == 0; }
  size_type size() const { return size_; }
  size_type capacity() const { return slots_.size(); }
  void reserve(size_type n) {
    if (n > slots_.size()) regrow(n);
  }

  T& operator[](size_type i) { return slots_[slot(i)]; }
  const T& operator[](size_type i) const { return slots_[slot(i)]; }
  T& front() { return slots_[head_]; }
  const T& front() const { return slots_[head_]; }
  T& back() { return slots_[slot(size_ - 1)]; }
  const T& back() const { return slots_[slot(size_ - 1)]; }

  // Asks the processor to fetch the front element ahead of its use (a loop over many queues
  // otherwise waits for memory at each one); nothing at all for an empty queue.
  void prefetchFront() const {
    if (size_ > 0) __builtin_prefetch(&slots_[head_]);
  }

  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size_}; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }
  const_iterator cbegin() const { return begin(); }
  const_iterator cend() const { return end(); }
  reverse_iterator rbegin() { return reverse_iterator(end()); }
  reverse_iterator rend() { return reverse_iterator(begin()); }
  const_reverse_iterator rbegin() const { return const_reverse_iterator(end()); }
  const_reverse_iterator rend() const { return const_reverse_iterator(begin()); }

  // The value is taken before the ring may grow: pushing one of the queue's own elements is safe.
  void push_back(T value) {
    if (size_ == slots_.size()) grow();
    slots_[slot(size_)] = std::move(value);
    ++size_;
  }
  void push_front(T value) {
    if (size_ == slots_.size()) grow();
    head_ = (head_ + slots_.size() - 1) & mask();
    slots_[head_] = std::move(value);
    ++size_;
  }
  void pop_front() {
    release(head_);
    head_ = (head_ + 1) & mask();
    --size_;
  }
  void pop_back() {
    release(slot(size_ - 1));
    --size_;
  }
  void clear() {
    while (size_ > 0) pop_back();
    head_ = 0;
  }
  void resize(size_type n) {
    while (size_ > n) pop_back();
    reserve(n);
    while (size_ < n) push_back(T{});
  }

  iterator insert(const_iterator position, T value) {
    const size_type at = position.index_;
    if (at < size_ / 2) {
      push_front(T{});
      std::move(begin() + 1, begin() + static_cast<difference_type>(at) + 1, begin());
    } else {
      push_back(T{});
      std::move_backward(begin() + static_cast<difference_type>(at), end() - 1, end());
    }
    (*this)[at] = std::move(value);
    return begin() + static_cast<difference_type>(at);
  }
  iterator erase(const_iterator position) { return erase(position, position + 1); }
  // Moves the shorter side over the gap, as std::deque does.
  iterator erase(const_iterator first, const_iterator last) {
    const size_type from = first.index_;
    const size_type count = last.index_ - first.index_;
    if (count == 0) return begin() + static_cast<difference_type>(from);
    const auto f = static_cast<difference_type>(from);
    const auto l = static_cast<difference_type>(last.index_);
    if (from < size_ - last.index_) {
      std::move_backward(begin(), begin() + f, begin() + l);
      for (size_type i = 0; i < count; ++i) pop_front();
    } else {
      std::move(begin() + l, end(), begin() + f);
      for (size_type i = 0; i < count; ++i) pop_back();
    }
    return begin() + f;
  }

  friend bool operator==(const RingDeque& a, const RingDeque& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }

 private:
  template <bool Const>
  class Iterator {
    using Owner = std::conditional_t<Const, const RingDeque, RingDeque>;

   public:
    using iterator_category = std::random_access_iterator_tag;
    using iterator_concept = std::random_access_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = std::conditional_t<Const, const T*, T*>;
    using reference = std::conditional_t<Const, const T&, T&>;

    Iterator() = default;
    Iterator(Owner* owner, size_type index) : owner_(owner), index_(index) {}
    // A mutable iterator passes where a constant one is asked for.
    template <bool OtherConst>
      requires(Const && !OtherConst)
    Iterator(const Iterator<OtherConst>& other) : owner_(other.owner_), index_(other.index_) {}  // NOLINT

    reference operator*() const { return (*owner_)[index_]; }
    pointer operator->() const { return &(*owner_)[index_]; }
    reference operator[](difference_type n) const { return *(*this + n); }

    Iterator& operator++() {
      ++index_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator was = *this;
      ++index_;
      return was;
    }
    Iterator& operator--() {
      --index_;
      return *this;
    }
    Iterator operator--(int) {
      Iterator was = *this;
      --index_;
      return was;
    }
    Iterator& operator+=(difference_type n) {
      index_ = static_cast<size_type>(static_cast<difference_type>(index_) + n);
      return *this;
    }
    Iterator& operator-=(difference_type n) { return *this += -n; }
    friend Iterator operator+(Iterator it, difference_type n) { return it += n; }
    friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
    friend Iterator operator-(Iterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const Iterator& a, const Iterator& b) {
      return static_cast<difference_type>(a.index_) - static_cast<difference_type>(b.index_);
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.index_ == b.index_; }
    friend auto operator<=>(const Iterator& a, const Iterator& b) { return a.index_ <=> b.index_; }

   private:
    friend class RingDeque;
    template <bool>
    friend class Iterator;
    Owner* owner_ = nullptr;
    size_type index_ = 0;  // from the front of the queue
  };

  static constexpr size_type kFirstCapacity = 8;

  size_type mask() const { return slots_.size() - 1; }  // the capacity is a power of two
  size_type slot(size_type i) const { return (head_ + i) & mask(); }
  void release(size_type s) {
    if constexpr (!std::is_trivially_destructible_v<T>) slots_[s] = T{};
  }
  void grow() { regrow(slots_.empty() ? kFirstCapacity : 2 * slots_.size()); }
  void regrow(size_type atLeast) {
    size_type capacity = kFirstCapacity;
    while (capacity < atLeast) capacity *= 2;
    std::vector<T> slots(capacity);
    for (size_type i = 0; i < size_; ++i) slots[i] = std::move((*this)[i]);
    slots_.swap(slots);
    head_ = 0;
  }

  std::vector<T> slots_;  // empty, or a power of two of them
  size_type head_ = 0;    // the slot of the front element
  size_type size_ = 0;
};
