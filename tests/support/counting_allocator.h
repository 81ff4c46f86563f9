// Counts every heap allocation of the program: malloc and its kin, which operator new and Qt
// both come down to, are defined here, counted and handed on to the C library. Include it in
// exactly one source file of a program. Under AddressSanitizer or ThreadSanitizer, which bring
// their own allocators, nothing is defined and kCountingAllocations is false.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KESTREL_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KESTREL_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef KESTREL_COUNT_ALLOCATIONS
#define KESTREL_COUNT_ALLOCATIONS 1
#endif

inline constexpr bool kCountingAllocations = KESTREL_COUNT_ALLOCATIONS;

namespace counting_allocator {
inline std::atomic<uint64_t> allocations{0};
}

// Heap allocations so far.
inline uint64_t AllocationCount() {
  return counting_allocator::allocations.load(std::memory_order_relaxed);
}

#if KESTREL_COUNT_ALLOCATIONS
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);

void* malloc(size_t size) noexcept {
  counting_allocator::allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
  counting_allocator::allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) noexcept {
  counting_allocator::allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) noexcept {
  counting_allocator::allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) noexcept {
  counting_allocator::allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
  counting_allocator::allocations.fetch_add(1, std::memory_order_relaxed);
  void* p = __libc_memalign(alignment, size);
  if (p == nullptr) return 12;  // ENOMEM
  *out = p;
  return 0;
}
}
#endif
