// The depth sort.
//
// The quicksort is what the program defines, and with equal depths its order is only known by
// running it. When every depth is different, though, there is exactly one ascending order,
// and any correct sort finds it. So a frame first sorts small (Depth, index) keys by a bucket
// sort, which is quick on the nearly sorted order a turning model leaves from frame to frame,
// checks that the result strictly increases, and only when it does not (a tie, -0.0 beside
// +0.0, a NaN left in a segment that is never drawn) runs the quicksort itself, on the keys.
// Either way the records are then moved once, into their new places.
#include "render/depth_sort.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "render/depth_sort_testing.h"
#include "render/render_workspace.h"

namespace {

// One partition pass over [lo, hi] (at least two items). Leaves i > j; [lo, j] and [i, hi] are
// what remains to be sorted. Items are records or keys: only Depth is compared, so both see
// exactly the same exchanges.
template <class Item>
void Partition(Item* s, int64_t lo, int64_t hi, int64_t& i, int64_t& j) {
  const double pivot = s[lo + (hi - lo) / 2].Depth;  // copied before anything moves
  i = lo;
  j = hi;
  do {
    while (s[i].Depth < pivot) ++i;
    while (s[j].Depth > pivot) --j;
    if (i <= j) {
      std::swap(s[i], s[j]);
      ++i;
      --j;
    }
  } while (i <= j);
}

// The algorithm sorts [lo, j] and then [i, hi]. The two ranges are disjoint and each sort only
// permutes its own range by what that range holds, so doing the smaller one first by recursion
// and the larger one next by looping gives the same final order, with a recursion depth of at
// most log2(count) on any input instead of up to count / 2.
template <class Item>
void SortRange(Item* s, int64_t lo, int64_t hi) {
  while (lo < hi) {
    int64_t i;
    int64_t j;
    Partition(s, lo, hi, i, j);
    if (j - lo < hi - i) {
      if (lo < j) SortRange(s, lo, j);
      lo = i;
    } else {
      if (i < hi) SortRange(s, i, hi);
      hi = j;
    }
  }
}

template <class Item>
void Quicksort(Item* items, int64_t count) {
  if (count > 1) SortRange(items, 0, count - 1);
}

bool ValidIndex(int32_t index, size_t pointCount) {
  return static_cast<uint32_t>(index) < pointCount;  // a negative index wraps far above
}

// The depth keys read two point depths per segment at random; fetching them a few segments
// ahead overlaps those misses instead of waiting for each in turn.
constexpr size_t kPrefetchAhead = 16;

struct KeyRange {
  double lowest = std::numeric_limits<double>::infinity();
  double highest = -std::numeric_limits<double>::infinity();
  bool comparable = true;  // no NaN
  bool ascending = true;   // already strictly increasing
};

KeyRange ComputeKeys(SegmentRecord* segments, size_t count, const double* z, size_t pointCount,
                     DepthKey* keys) {
  KeyRange range;
  double previous = -std::numeric_limits<double>::infinity();
  for (size_t k = 0; k < count; ++k) {
    if (k + kPrefetchAhead < count) {
      const SegmentRecord& ahead = segments[k + kPrefetchAhead];
      if (ValidIndex(ahead.First, pointCount)) __builtin_prefetch(z + ahead.First);
      if (ValidIndex(ahead.Second, pointCount)) __builtin_prefetch(z + ahead.Second);
    }
    SegmentRecord& s = segments[k];
    if (ValidIndex(s.First, pointCount)) {
      const double z1 = z[s.First];
      if (s.Kind != 0) {
        s.Depth = z1;
      } else if (ValidIndex(s.Second, pointCount)) {
        s.Depth = (z1 + z[s.Second]) * 0.5;
      }
    }
    const double d = s.Depth;
    keys[k] = DepthKey{d, static_cast<uint32_t>(k), 0};
    range.lowest = std::min(range.lowest, d);
    range.highest = std::max(range.highest, d);
    range.comparable = range.comparable && d == d;
    range.ascending = range.ascending && previous < d;
    previous = d;
  }
  return range;
}

bool DeeperThan(const DepthKey& a, const DepthKey& b) {
  return a.Depth < b.Depth;
}

enum class Order { Strict, Tie, Unfinished };

// Insertion sort over the whole array, stopping at the first tie, or once it has shifted keys
// `budget` times. After the buckets nearly every key is already above its neighbour, and none
// moves past its bucket's start, since everything before that is smaller.
Order InsertionSort(DepthKey* keys, size_t count, size_t budget) {
  for (size_t i = 1; i < count; ++i) {
    if (keys[i - 1].Depth < keys[i].Depth) continue;
    const DepthKey key = keys[i];
    size_t j = i;
    for (; j > 0 && key.Depth < keys[j - 1].Depth; --j) {
      if (budget-- == 0) return Order::Unfinished;
      keys[j] = keys[j - 1];
    }
    keys[j] = key;
    // Everything after it is larger; the key before it is the largest not larger.
    if (j > 0 && !(keys[j - 1].Depth < key.Depth)) return Order::Tie;
  }
  return Order::Strict;
}

bool StrictlyIncreasing(const DepthKey* keys, size_t count) {
  for (size_t i = 1; i < count; ++i) {
    if (!(keys[i - 1].Depth < keys[i].Depth)) return false;
  }
  return true;
}

// Sorts `keys` into `sorted` by buckets over [lowest, highest], leaving `keys` in their order
// for the quicksort should it be needed. The bucket of a depth is a monotone function of it (a
// subtraction, a product and a floor, each rounding monotonically), so every bucket lies wholly
// below the next, and what is left is an insertion sort of keys that are nearly in order: most
// keys have a bucket to themselves, and the rest share theirs with one or two. False when some
// depths are equal (then the quicksort must decide their order) or the range cannot be cut
// into buckets.
bool BucketSort(DepthKey* keys, size_t count, const KeyRange& range, RenderWorkspace& w) {
  const double span = range.highest - range.lowest;
  if (!std::isfinite(span) || !(span > 0)) return false;
  const size_t bucketCount = SortBuckets(count);
  const double scale = static_cast<double>(bucketCount) / span;
  if (!std::isfinite(scale)) return false;
  const double lastBucket = static_cast<double>(bucketCount - 1);

  uint32_t* starts = w.buckets.Prepare(bucketCount);
  std::fill(starts, starts + bucketCount, 0);
  for (size_t k = 0; k < count; ++k) {
    // 0 ≤ d − lowest ≤ span, so the product is finite and not negative.
    const double place = std::min((keys[k].Depth - range.lowest) * scale, lastBucket);
    keys[k].bucket = static_cast<uint32_t>(place);
    ++starts[keys[k].bucket];
  }
  uint32_t start = 0;
  for (size_t b = 0; b < bucketCount; ++b) {
    const uint32_t n = starts[b];
    starts[b] = start;
    start += n;
  }
  DepthKey* sorted = w.sorted.Prepare(count);
  for (size_t k = 0; k < count; ++k) sorted[starts[keys[k].bucket]++] = keys[k];

  // Depths crowded into a few buckets could make the insertion sort quadratic; past a few
  // shifts a key it gives way to a sort that is never worse than n log n.
  switch (InsertionSort(sorted, count, 4 * count + 1024)) {
    case Order::Strict:
      return true;
    case Order::Tie:
      return false;
    case Order::Unfinished:
      break;
  }
  std::sort(sorted, sorted + count, DeeperThan);
  return StrictlyIncreasing(sorted, count);
}

// Moves every record once to its place in `order` (the record at order[k].index goes to k),
// through a copy: gathering reads that do not wait for one another are much quicker than
// following the permutation's cycles in place.
void MoveRecords(SegmentRecord* segments, size_t count, const DepthKey* order, RenderWorkspace& w) {
  SegmentRecord* moved = w.moved.Prepare(count);
  for (size_t k = 0; k < count; ++k) {
    if (k + kPrefetchAhead < count) __builtin_prefetch(segments + order[k + kPrefetchAhead].index);
    moved[k] = segments[order[k].index];
  }
  std::memcpy(static_cast<void*>(segments), moved, count * sizeof(SegmentRecord));
}

}  // namespace

void SortSegmentsByDepth(SegmentRecord* segments, int64_t count) {
  Quicksort(segments, count);
}

void KeyAndSortSegments(SegmentRecord* segments, size_t count, const double* pointDepths,
                        size_t pointCount, RenderWorkspace& workspace) {
  DepthKey* keys = workspace.keys.Prepare(count);
  const KeyRange range = ComputeKeys(segments, count, pointDepths, pointCount, keys);
  // Strictly increasing already (a frame redrawn without a turn): the quicksort would leave
  // every record where it is.
  if (count < 2 || range.ascending) return;
  if (range.comparable && BucketSort(keys, count, range, workspace)) {
    MoveRecords(segments, count, workspace.sorted.data(), workspace);
    return;
  }
  Quicksort(keys, static_cast<int64_t>(count));
  MoveRecords(segments, count, keys, workspace);
}
