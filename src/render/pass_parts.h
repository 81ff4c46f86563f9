// How the renderer's passes cut their items into parts for the worker pool. Internal to
// render/.
#pragma once

#include <algorithm>
#include <cstddef>

// [0, count) cut into `parts` nearly equal ranges, in order; part k is [Begin(k), Begin(k + 1)).
struct Split {
  size_t count;
  size_t parts;
  size_t Begin(size_t k) const { return count / parts * k + std::min(k, count % parts); }
};

// Up to this many parts a thread for each pass, so that a slow thread's share is picked up by
// the others: the projection, the depth keys, and the pass that moves the records and works
// out their figures.
inline constexpr size_t kPointPartsPerThread = 8;
inline constexpr size_t kKeyPartsPerThread = 4;
inline constexpr size_t kDrawPartsPerThread = 8;

// The frame is drawn in up to this many bands of rows a thread: a band crowded with lines is
// shared out with lighter ones, and yet long lines cross few of them.
inline constexpr int kBandsPerThread = 4;
inline constexpr int kMaxBands = 64;
inline int MostBands(int threads) {
  return std::clamp(kBandsPerThread * threads, 1, kMaxBands);
}

// The smallest part worth handing to a thread: a few tens of kilobytes of work.
size_t SmallestPart();

// `count` items cut for `threads` threads: up to `perThread` parts each, none smaller than
// SmallestPart(); one part with one thread.
inline Split SplitFor(size_t count, int threads, size_t perThread) {
  if (threads <= 1) return Split{count, 1};
  const size_t most = perThread * static_cast<size_t>(threads);
  return Split{count, std::clamp<size_t>(count / SmallestPart(), 1, most)};
}
