// Hints to the kernel about large arrays. Memory about to be written for the first time: asking
// for a stretch of pages in one call costs about a quarter less than taking a page fault for
// every 4 KB of it, and a large model's file and arrays run to hundreds of megabytes. Memory
// read for the last time: given back at once. Only hints: where the kernel does not offer them,
// memory is faulted in page by page, and given back when it is freed, as before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>
#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__linux__)
// Gives the kernel `advice` for the whole pages within [data, data + bytes).
inline void AdviseWholePages(const void* data, size_t bytes, int advice) {
  constexpr uintptr_t kPage = 4096;
  const auto first = reinterpret_cast<uintptr_t>(data);
  const uintptr_t begin = (first + kPage - 1) & ~(kPage - 1);
  const uintptr_t end = (first + bytes) & ~(kPage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, advice);
}
#endif

// Prefaults the whole pages within [data, data + bytes).
inline void Prefault(const void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  AdviseWholePages(data, bytes, MADV_POPULATE_WRITE);
#else
  (void)data;
  (void)bytes;
#endif
}

// Memory that will not be read again although its array lives on (it has been consumed piece by
// piece): its whole pages go back to the kernel now instead of when the array goes, so that
// what is made from it never needs both at once.
inline void GiveBackPages(const void* data, size_t bytes) {
#if defined(__linux__)
  AdviseWholePages(data, bytes, MADV_DONTNEED);
#else
  (void)data;
  (void)bytes;
#endif
}

// For a vector filled one element at a time within its reserved room: call before each
// element is added. Each time the size reaches a new megabyte of the room, that megabyte is
// prefaulted, so that only room that is being filled is ever touched.
template <class T>
void PrefaultAhead(std::vector<T>& v) {
  constexpr size_t kStretch = (size_t{1} << 20) / sizeof(T);
  const size_t size = v.size();
  if (size % kStretch != 0 || size >= v.capacity()) return;
  const size_t count = v.capacity() - size < kStretch ? v.capacity() - size : kStretch;
  Prefault(v.data() + size, count * sizeof(T));
}
