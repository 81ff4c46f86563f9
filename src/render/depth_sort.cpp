// The depth sort.
//
// The quicksort is what the program defines, and with equal depths its order is only known by
// running it. When every depth is different, though, there is exactly one ascending order,
// and any correct sort finds it. So a frame first sorts small (Depth, index) keys by a bucket
// sort, which is quick on the nearly sorted order a turning model leaves from frame to frame,
// checks that the result strictly increases, and only when it does not (a tie, -0.0 beside
// +0.0, a NaN left in a segment that is never drawn) runs the quicksort itself, on the keys.
// Either way the records are then moved once, into their new places, with their new depths.
// Depths that never fall but tie (a point cloud's first frame) are the one case the quicksort
// is cheap to follow on the records themselves: it only reverses runs of equal depths.
//
// With several threads each pass is split so that the result cannot depend on how: the keys
// are computed over ranges of segments that share nothing; the bucket sort, whose result is
// the one ascending order, deals the keys out by ranges of buckets that are then sorted each
// on its own; and the quicksort, after a partition pass, leaves two ranges that it sorts
// independently of each other (each only permutes its own range, by what that range holds),
// so the ranges of one level are partitioned at once and the deeper ones handed out whole.
#include "render/depth_sort.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "render/depth_sort_testing.h"
#include "render/pass_parts.h"
#include "render/render_workspace.h"
#include "scene/worker_pool.h"

namespace {

// ---------------------------------------------------------------- the quicksort

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

// The same pass over a range whose depths never decrease, without the scans. There i stops at
// the first depth equal to the pivot and j at the last, and they swap their way inwards through
// those equal depths until they cross: the pass reverses that run and changes nothing else, so
// the range's depths still never decrease for the passes below it. Finding the run costs its
// length, where Partition's scans cost the range's.
template <class Item>
void PartitionInOrder(Item* s, int64_t lo, int64_t hi, int64_t& i, int64_t& j) {
  const int64_t middle = lo + (hi - lo) / 2;
  const double pivot = s[middle].Depth;
  i = middle;
  j = middle;
  while (i > lo && !(s[i - 1].Depth < pivot)) --i;
  while (j < hi && !(s[j + 1].Depth > pivot)) ++j;
  for (; i < j; ++i, --j) std::swap(s[i], s[j]);
  if (i == j) {  // the middle of an odd run, swapped with itself
    ++i;
    --j;
  }
}

template <class Item>
bool Deeper(const Item& a, const Item& b) {
  return a.Depth < b.Depth;
}

// A heap sort by Depth: never more than about 2 n log2 n comparisons, whatever the depths.
// NaN depths compare as neither smaller nor larger; the heap stays a heap all the same and the
// result is some order, as the quicksort's is.
template <class Item>
void HeapSort(Item* s, int64_t n) {
  const auto siftDown = [s](int64_t root, int64_t end) {
    for (;;) {
      int64_t child = 2 * root + 1;
      if (child >= end) return;
      if (child + 1 < end && Deeper(s[child], s[child + 1])) ++child;
      if (!Deeper(s[root], s[child])) return;
      std::swap(s[root], s[child]);
      root = child;
    }
  };
  for (int64_t root = n / 2 - 1; root >= 0; --root) siftDown(root, n);
  for (int64_t end = n - 1; end > 0; --end) {
    std::swap(s[0], s[end]);
    siftDown(0, end);
  }
}

// The algorithm sorts [lo, j] and then [i, hi]. The two ranges are disjoint and each sort only
// permutes its own range by what that range holds, so doing the smaller one first by recursion
// and the larger one next by looping gives the same final order, with a call depth of at most
// log2(count) on any input instead of up to count / 2.
//
// `level` counts partition passes from the whole array down (1 for the first), whichever way
// the ranges are walked. A range still unsorted below `limit` levels is finished by the heap
// sort: depths chosen to defeat the middle pivot would otherwise cost count² / 4 comparisons
// a frame, and hold a thumbnailer or a free spin for seconds. Past the limit the order of
// equal depths can differ from the plain quicksort's, and only there; the limit (LevelLimit)
// is set so far beyond what models reach that only input built to reach it does, or a model
// of hundreds of thousands of segments whose depths run in one long wave with ties in it,
// on which the plain quicksort itself would take minutes a frame. `deepest` learns the
// deepest level reached: beyond `limit` when the heap sort ran.
//
// `Walk::InOrder`: the range's depths never decrease (nor hold a NaN), and each pass is
// PartitionInOrder, which leaves them so. Its passes jump from the middle of one range to the
// middle of the next, each a wait on memory; so a range that has become small enough for the
// caches is first read through once, in order, which tells whether it holds a tie at all (the
// quicksort leaves one without where it is, as the heap sort would), and then sorted as
// `Walk::InOrderCached`, without that reading again.
enum class Walk { Plain, InOrder, InOrderCached };
constexpr int64_t kCachedRange = 4096;

// Every depth below the next. Reads every one whatever it finds, which brings the range into
// the caches for the in-order walk.
template <class Item>
bool StrictlyIncreasing(const Item* items, int64_t count) {
  bool rising = true;
  for (int64_t i = 1; i < count; ++i) rising &= items[i - 1].Depth < items[i].Depth;
  return rising;
}

template <Walk kWalk = Walk::Plain, class Item>
void SortRange(Item* s, int64_t lo, int64_t hi, int level, int limit, int& deepest) {
  while (lo < hi) {
    if constexpr (kWalk == Walk::InOrder) {
      if (hi - lo < kCachedRange) {
        if (!StrictlyIncreasing(s + lo, hi - lo + 1)) {
          SortRange<Walk::InOrderCached>(s, lo, hi, level, limit, deepest);
        }
        return;
      }
    }
    if (level > limit) {
      HeapSort(s + lo, hi - lo + 1);
      deepest = std::max(deepest, level);
      return;
    }
    deepest = std::max(deepest, level);
    int64_t i;
    int64_t j;
    if constexpr (kWalk == Walk::Plain) {
      Partition(s, lo, hi, i, j);
    } else {
      PartitionInOrder(s, lo, hi, i, j);
    }
    ++level;
    if (j - lo < hi - i) {
      if (lo < j) SortRange<kWalk>(s, lo, j, level, limit, deepest);
      lo = i;
    } else {
      if (i < hi) SortRange<kWalk>(s, i, hi, level, limit, deepest);
      hi = j;
    }
  }
}

// The quicksort's level limit. A level costs at most one pass over the range, so the limit
// bounds the quicksort's work to about limit × count comparisons before the heap sort's
// n log n finishes the job. Two terms:
// - 20 log2(count): the deepest level over the benchmark models and random models with many
//   ties, from their file order and turned frame after frame, is 98 levels for a million
//   segments (a torus grid in its file order, 4.9 log2 count; the others stay below 2.7 log2
//   count; bench/sort_levels_bench.cpp), so this is about four times that;
// - 2^26 / count: a model small enough that 2^26 comparisons are cheap keeps the plain order
//   however it is shaped. The middle pivot does badly on a depth that rises and falls in one
//   long wave (a big circle seen edge-on in its file order goes about count / 4 deep, and
//   hundreds of levels even with its depths rounded to a few digits), so up to some tens of
//   thousands of segments those shapes still sort exactly as the plain quicksort does.
int LevelLimit(size_t count) {
  const int byShape = 20 * std::bit_width(count);  // 20 ⌈log2(count + 1)⌉
  constexpr size_t kAllowance = size_t{1} << 26;
  const size_t byWork = kAllowance / std::max<size_t>(count, 1);
  return static_cast<int>(
      std::max<size_t>(static_cast<size_t>(byShape), std::min<size_t>(byWork, 1 << 30)));
}

struct QuickRange {
  int64_t lo;
  int64_t hi;
  int level;
};

// Ranges smaller than this are not worth a thread of their own.
int64_t ParallelQuicksortMin() {
  return 4 * static_cast<int64_t>(SmallestPart());
}

// The quicksort over several threads: the ranges of one level partitioned at once until there
// are enough of them to keep every thread busy, then each sorted whole as SortRange sorts it.
void Quicksort(DepthKey* keys, int64_t count, WorkerPool& pool) {
  const int limit = LevelLimit(static_cast<size_t>(count));
  int unused = 0;
  if (pool.Threads() == 1 || count < 2 * ParallelQuicksortMin()) {
    SortRange(keys, 0, count - 1, 1, limit, unused);
    return;
  }
  // Fewer than `wanted` ranges split into at most twice as many.
  constexpr size_t kMaxWanted = 64;
  const size_t wanted = std::min<size_t>(kMaxWanted, 4 * static_cast<size_t>(pool.Threads()));
  const int64_t small = std::max<int64_t>(ParallelQuicksortMin(), count / (8 * pool.Threads()));
  std::array<QuickRange, 2 * kMaxWanted> ranges;
  std::array<std::array<QuickRange, 2>, 2 * kMaxWanted> halves;
  size_t n = 1;
  ranges[0] = QuickRange{0, count - 1, 1};
  // A level at a time, while the ranges are few and large; small ones are sorted whole on the
  // way. Every level is one partition deeper, so this ends.
  while (n > 0 && n < wanted) {
    pool.Run(n, [&](size_t k) {
      const QuickRange r = ranges[k];
      halves[k][0] = halves[k][1] = QuickRange{0, -1, 0};
      if (r.hi - r.lo < small || r.level > limit) {
        int ignored = 0;
        SortRange(keys, r.lo, r.hi, r.level, limit, ignored);
        return;
      }
      int64_t i;
      int64_t j;
      Partition(keys, r.lo, r.hi, i, j);
      halves[k][0] = QuickRange{r.lo, j, r.level + 1};
      halves[k][1] = QuickRange{i, r.hi, r.level + 1};
    });
    size_t next = 0;
    for (size_t k = 0; k < n; ++k) {
      for (const QuickRange& h : halves[k]) {
        if (h.lo < h.hi) ranges[next++] = h;
      }
    }
    n = next;
  }
  pool.Run(n, [&](size_t k) {
    int ignored = 0;
    SortRange(keys, ranges[k].lo, ranges[k].hi, ranges[k].level, limit, ignored);
  });
}

// ---------------------------------------------------------------- the keys

bool ValidIndex(int32_t index, size_t pointCount) {
  return static_cast<uint32_t>(index) < pointCount;  // a negative index wraps far above
}

// The depth keys read two point depths per segment at random; fetching them a few segments
// ahead overlaps those misses instead of waiting for each in turn.
constexpr size_t kPrefetchAhead = 16;

KeyRange ComputeKeys(const SegmentRecord* segments, size_t begin, size_t end, const double* z,
                     size_t pointCount, DepthKey* keys) {
  KeyRange range;
  double previous = -std::numeric_limits<double>::infinity();
  for (size_t k = begin; k < end; ++k) {
    if (k + kPrefetchAhead < end) {
      const SegmentRecord& ahead = segments[k + kPrefetchAhead];
      if (ValidIndex(ahead.First, pointCount)) __builtin_prefetch(z + ahead.First);
      if (ValidIndex(ahead.Second, pointCount)) __builtin_prefetch(z + ahead.Second);
    }
    const SegmentRecord& s = segments[k];
    double d = s.Depth;
    if (ValidIndex(s.First, pointCount)) {
      const double z1 = z[s.First];
      if (s.Kind != 0) {
        d = z1;
      } else if (ValidIndex(s.Second, pointCount)) {
        d = (z1 + z[s.Second]) * 0.5;
      }
    }
    keys[k] = DepthKey{d, static_cast<uint32_t>(k), 0};
    range.lowest = std::min(range.lowest, d);
    range.highest = std::max(range.highest, d);
    range.comparable = range.comparable && d == d;
    range.ascending = range.ascending && previous < d;
    range.inOrder = range.inOrder && previous <= d;
    previous = d;
  }
  if (begin < end) {
    range.first = keys[begin].Depth;
    range.last = previous;
    range.empty = false;
  }
  return range;
}

// `a` followed by `b`, as if one range.
KeyRange Join(const KeyRange& a, const KeyRange& b) {
  if (a.empty) return b;
  if (b.empty) return a;
  KeyRange r;
  r.lowest = std::min(a.lowest, b.lowest);
  r.highest = std::max(a.highest, b.highest);
  r.first = a.first;
  r.last = b.last;
  r.comparable = a.comparable && b.comparable;
  r.ascending = a.ascending && b.ascending && a.last < b.first;
  r.inOrder = a.inOrder && b.inOrder && a.last <= b.first;
  r.empty = false;
  return r;
}

KeyRange ComputeAllKeys(const SegmentRecord* segments, size_t count, const double* z,
                        size_t pointCount, DepthKey* keys, RenderWorkspace& w, WorkerPool& pool) {
  const Split split = SplitFor(count, pool.Threads(), kKeyPartsPerThread);
  if (split.parts == 1) return ComputeKeys(segments, 0, count, z, pointCount, keys);
  KeyRange* ranges = w.keyRanges.Prepare(split.parts);
  pool.Run(split.parts, [&](size_t k) {
    ranges[k] = ComputeKeys(segments, split.Begin(k), split.Begin(k + 1), z, pointCount, keys);
  });
  KeyRange all;
  for (size_t k = 0; k < split.parts; ++k) all = Join(all, ranges[k]);
  return all;
}

// ---------------------------------------------------------------- the bucket sort

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

// Puts `keys` in ascending order, nearly in order as they are: true when they strictly
// increase. Depths crowded together could make the insertion sort quadratic; past a few
// shifts a key it gives way to a sort that is never worse than n log n.
bool FinishAscending(DepthKey* keys, size_t count) {
  switch (InsertionSort(keys, count, 4 * count + 1024)) {
    case Order::Strict:
      return true;
    case Order::Tie:
      return false;
    case Order::Unfinished:
      break;
  }
  std::sort(keys, keys + count, Deeper<DepthKey>);
  return StrictlyIncreasing(keys, static_cast<int64_t>(count));
}

// Where a depth falls among `buckets` buckets over [lowest, lowest + span]: a subtraction, a
// product and a floor, each rounding monotonically, so every bucket lies wholly below the next.
struct Bucketing {
  double lowest;
  double scale;
  double lastBucket;
  uint32_t operator()(double depth) const {
    // 0 ≤ depth − lowest ≤ span, so the product is finite and not negative.
    return static_cast<uint32_t>(std::min((depth - lowest) * scale, lastBucket));
  }
};

// Sorts `keys` into `sorted` by buckets over [lowest, highest], leaving `keys` in their order
// for the quicksort should it be needed: most keys have a bucket to themselves, and the rest
// share theirs with one or two, so an insertion sort finishes the job. False when some depths
// are equal (then the quicksort must decide their order).
bool BucketSort(DepthKey* keys, size_t count, const Bucketing& bucketOf, size_t bucketCount,
                DepthKey* sorted, RenderWorkspace& w) {
  uint32_t* starts = w.buckets.Prepare(bucketCount);
  std::fill(starts, starts + bucketCount, 0);
  // The keys are only read: their buckets are worked out again below rather than written back
  // here, which would cost a pass of writes over all of them.
  for (size_t k = 0; k < count; ++k) ++starts[bucketOf(keys[k].Depth)];
  uint32_t start = 0;
  for (size_t b = 0; b < bucketCount; ++b) {
    const uint32_t n = starts[b];
    starts[b] = start;
    start += n;
  }
  for (size_t k = 0; k < count; ++k) sorted[starts[bucketOf(keys[k].Depth)]++] = keys[k];
  return FinishAscending(sorted, count);
}

// Below this many keys one thread sorts them all.
size_t ParallelBucketMin() {
  return 16 * SmallestPart();
}
// The first pass deals the keys out among this many ranges of buckets.
constexpr size_t kDealt = 4096;
// A range of buckets holding more keys than this is sorted in place.
constexpr size_t kScratchKeys = size_t{1} << 16;

// The bucket sort over several threads. First every part of the keys counts how many fall in
// each of kDealt ranges of buckets, and the keys are dealt out to those ranges in `sorted`,
// each part writing its keys after those of the parts before it; then the ranges, which lie
// wholly below one another, are each sorted by their buckets on their own, through a thread's
// scratch array small enough to stay in its cache.
bool ParallelBucketSort(DepthKey* keys, size_t count, const Bucketing& bucketOf, size_t bucketCount,
                        DepthKey* sorted, RenderWorkspace& w, WorkerPool& pool) {
  const size_t dealt = std::min(kDealt, bucketCount);
  const int fineBits = std::countr_zero(bucketCount) - std::countr_zero(dealt);
  const Split split = SplitFor(count, pool.Threads(), kKeyPartsPerThread);
  uint32_t* counts = w.dealCounts.Prepare(split.parts * dealt);
  pool.Run(split.parts, [&](size_t part) {
    uint32_t* c = counts + part * dealt;
    std::fill(c, c + dealt, 0);
    for (size_t k = split.Begin(part); k < split.Begin(part + 1); ++k) {
      ++c[bucketOf(keys[k].Depth) >> fineBits];
    }
  });
  // counts[part][range] becomes where that part's keys of that range start; ranges[] where
  // each range starts.
  uint32_t* ranges = w.dealStarts.Prepare(dealt + 1);
  uint32_t start = 0;
  for (size_t r = 0; r < dealt; ++r) {
    ranges[r] = start;
    for (size_t part = 0; part < split.parts; ++part) {
      const uint32_t n = counts[part * dealt + r];
      counts[part * dealt + r] = start;
      start += n;
    }
  }
  ranges[dealt] = start;
  pool.Run(split.parts, [&](size_t part) {
    uint32_t* c = counts + part * dealt;
    for (size_t k = split.Begin(part); k < split.Begin(part + 1); ++k) {
      const uint32_t bucket = bucketOf(keys[k].Depth);
      sorted[c[bucket >> fineBits]++] = DepthKey{keys[k].Depth, keys[k].index, bucket};
    }
  });

  // Each task takes consecutive ranges holding about an equal share of the keys.
  const size_t tasks = 8 * static_cast<size_t>(pool.Threads());
  uint32_t* firsts = w.dealTasks.Prepare(tasks + 1);
  size_t r = 0;
  for (size_t t = 0; t < tasks; ++t) {
    firsts[t] = static_cast<uint32_t>(r);
    const size_t goal = count / tasks * (t + 1);
    while (r < dealt && ranges[r] < goal) ++r;
  }
  firsts[tasks] = static_cast<uint32_t>(dealt);
  w.PrepareKeyScratch(pool.Threads(), kScratchKeys);
  std::atomic<bool> strict{true};
  const uint32_t fineMask = (uint32_t{1} << fineBits) - 1;
  pool.Run(tasks, [&](size_t t) {
    DepthKey* scratch = w.KeyScratch(WorkerPool::CurrentThread());
    std::array<uint32_t, (size_t{1} << 21) / kDealt + 1> fine;  // every bucket of one range
    for (size_t range = firsts[t]; range < firsts[t + 1] && strict.load(std::memory_order_relaxed);
         ++range) {
      DepthKey* part = sorted + ranges[range];
      const size_t n = ranges[range + 1] - ranges[range];
      if (n < 2) continue;
      if (n > kScratchKeys || fineBits == 0) {
        if (!FinishAscending(part, n)) strict = false;
        continue;
      }
      const size_t fineCount = fineMask + 1;
      std::fill(fine.begin(), fine.begin() + fineCount, 0);
      for (size_t k = 0; k < n; ++k) ++fine[part[k].bucket & fineMask];
      uint32_t at = 0;
      for (size_t b = 0; b < fineCount; ++b) {
        const uint32_t m = fine[b];
        fine[b] = at;
        at += m;
      }
      for (size_t k = 0; k < n; ++k) scratch[fine[part[k].bucket & fineMask]++] = part[k];
      if (!FinishAscending(scratch, n)) strict = false;
      std::memcpy(static_cast<void*>(part), scratch, n * sizeof(DepthKey));
    }
  });
  if (!strict) return false;
  // Inside each range the order is strict; between ranges the buckets say so, but the check
  // costs nothing.
  for (size_t range = 1; range < dealt; ++range) {
    const uint32_t at = ranges[range];
    if (at > 0 && at < count && !(sorted[at - 1].Depth < sorted[at].Depth)) return false;
  }
  return true;
}

// The keys in ascending order in `sorted`, when they strictly increase; false otherwise (a tie,
// or a range that cannot be cut into buckets).
bool SortDistinct(DepthKey* keys, size_t count, const KeyRange& range, RenderWorkspace& w,
                  WorkerPool& pool) {
  const double span = range.highest - range.lowest;
  if (!std::isfinite(span) || !(span > 0)) return false;
  const size_t bucketCount = SortBuckets(count);
  const double scale = static_cast<double>(bucketCount) / span;
  if (!std::isfinite(scale)) return false;
  const Bucketing bucketOf{range.lowest, scale, static_cast<double>(bucketCount - 1)};
  DepthKey* sorted = w.sorted.Prepare(count);
  if (pool.Threads() == 1 || count < ParallelBucketMin()) {
    return BucketSort(keys, count, bucketOf, bucketCount, sorted, w);
  }
  return ParallelBucketSort(keys, count, bucketOf, bucketCount, sorted, w, pool);
}

}  // namespace

void RenderWorkspace::Reserve(size_t points, size_t segments, size_t spareSegments, int threads) {
  depths.Prepare(points);
  screen.Prepare(points);
  keys.Prepare(segments);
  sorted.Prepare(segments);
  buckets.Prepare(SortBuckets(segments));
  ReserveSpare(spareSegments);
  if (threads > 1) {
    const size_t parts = kKeyPartsPerThread * static_cast<size_t>(threads);
    keyRanges.Prepare(parts);
    dealCounts.Prepare(parts * kDealt);
    dealStarts.Prepare(kDealt + 1);
    dealTasks.Prepare(8 * static_cast<size_t>(threads) + 1);
    PrepareKeyScratch(threads, kScratchKeys);
    PrepareProjectionScratch(threads, kProjectionBlock);
    projectedBlocks.Prepare((points + kProjectionBlock - 1) / kProjectionBlock);
    figures.Prepare(segments);
    bandLists.Prepare(static_cast<size_t>(MostBands(threads)) * segments);
    bandCounts.Prepare(kDrawPartsPerThread * static_cast<size_t>(threads * MostBands(threads)));
    partFailures.Prepare(kDrawPartsPerThread * static_cast<size_t>(threads));
  }
}

void SortSegmentsByDepth(SegmentRecord* segments, int64_t count) {
  int unused = 0;
  if (count > 1) {
    SortRange(segments, 0, count - 1, 1, LevelLimit(static_cast<size_t>(count)), unused);
  }
}

DepthOrder SortDepthKeys(SegmentRecord* segments, size_t count, const double* pointDepths,
                         size_t pointCount, RenderWorkspace& workspace, WorkerPool& pool) {
  DepthKey* keys = workspace.keys.Prepare(count);
  const KeyRange range =
      ComputeAllKeys(segments, count, pointDepths, pointCount, keys, workspace, pool);
  // Strictly increasing already (a frame redrawn without a turn): the quicksort would leave
  // every record where it is.
  if (range.ascending) return DepthOrder{keys, false};
  // In order but with ties (a point cloud's first frame: its points come in the order of their
  // depth there): the quicksort only reverses runs of equal depths, which is quickly done on
  // the records themselves, where they stand.
  if (range.inOrder) {
    for (size_t k = 0; k < count; ++k) segments[k].Depth = keys[k].Depth;
    int unused = 0;
    SortRange<Walk::InOrder>(segments, 0, static_cast<int64_t>(count) - 1, 1, LevelLimit(count),
                             unused);
    return DepthOrder{nullptr, false};
  }
  if (range.comparable && SortDistinct(keys, count, range, workspace, pool)) {
    return DepthOrder{workspace.sorted.data(), true};
  }
  Quicksort(keys, static_cast<int64_t>(count), pool);
  return DepthOrder{keys, true};
}

void ApplyDepthOrder(std::vector<SegmentRecord>& segments, size_t count, const DepthOrder& order,
                     RenderWorkspace& w) {
  const DepthKey* keys = order.keys;
  if (!order.moved) {
    if (keys == nullptr) return;
    for (size_t k = 0; k < count; ++k) segments[k].Depth = keys[k].Depth;
    return;
  }
  // Gathering reads that do not wait for one another are much quicker than following the
  // permutation's cycles in place; the gathered copy then simply takes the old one's place.
  std::vector<SegmentRecord>& moved = w.PrepareSpare(segments.size());
  const SegmentRecord* from = segments.data();
  SegmentRecord* to = moved.data();
  for (size_t k = 0; k < count; ++k) {
    if (k + kPrefetchAhead < count) __builtin_prefetch(from + keys[k + kPrefetchAhead].index);
    to[k] = from[keys[k].index];
    to[k].Depth = keys[k].Depth;
  }
  if (count < segments.size()) {
    std::memcpy(static_cast<void*>(to + count), from + count,
                (segments.size() - count) * sizeof(SegmentRecord));
  }
  segments.swap(moved);
}

void KeyAndSortSegments(std::vector<SegmentRecord>& segments, size_t count,
                        const double* pointDepths, size_t pointCount, RenderWorkspace& workspace,
                        WorkerPool& pool) {
  const DepthOrder order =
      SortDepthKeys(segments.data(), count, pointDepths, pointCount, workspace, pool);
  ApplyDepthOrder(segments, count, order, workspace);
}

// ---------------------------------------------------------------- for tests and benchmarks

int QuicksortLevelLimit(size_t count) {
  return LevelLimit(count);
}

namespace {
struct Plain {
  double Depth;
};
}  // namespace

int QuicksortLevels(std::vector<double> depths) {
  std::vector<Plain> items(depths.size());
  for (size_t k = 0; k < depths.size(); ++k) items[k].Depth = depths[k];
  int deepest = 0;
  if (items.size() > 1) {
    SortRange(items.data(), 0, static_cast<int64_t>(items.size()) - 1, 1,
              std::numeric_limits<int>::max(), deepest);
  }
  return deepest;
}

bool QuicksortWithLevelLimit(std::vector<double>& depths, int limit) {
  std::vector<Plain> items(depths.size());
  for (size_t k = 0; k < depths.size(); ++k) items[k].Depth = depths[k];
  int deepest = 0;
  if (items.size() > 1) {
    SortRange(items.data(), 0, static_cast<int64_t>(items.size()) - 1, 1, limit, deepest);
  }
  for (size_t k = 0; k < depths.size(); ++k) depths[k] = items[k].Depth;
  return deepest > limit;
}
