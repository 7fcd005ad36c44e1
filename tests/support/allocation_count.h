#pragma once
// Every heap allocation of the test program is counted per thread, so that a test can tell what
// one stretch of its own thread allocated. The whole family is replaced: a sanitizer's own delete
// must never meet this new.
//
// Include this in exactly one source file of a test program: it defines the global operator new
// and delete.
#include <cstdint>
#include <cstdlib>
#include <new>

namespace testing_support {
inline thread_local std::uint64_t t_allocations = 0;

inline void* allocateCounted(std::size_t size) {
  ++t_allocations;
  return std::malloc(size ? size : 1);
}
}  // namespace testing_support

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (void* p = testing_support::allocateCounted(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return testing_support::allocateCounted(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return testing_support::allocateCounted(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop
