// The depth sort.
#include "render/depth_sort.h"

#include <utility>

namespace {

// One partition pass over [lo, hi] (at least two records). Leaves i > j; [lo, j] and [i, hi]
// are what remains to be sorted.
void Partition(SegmentRecord* s, int64_t lo, int64_t hi, int64_t& i, int64_t& j) {
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
void SortRange(SegmentRecord* s, int64_t lo, int64_t hi) {
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

}  // namespace

void SortSegmentsByDepth(SegmentRecord* segments, int64_t count) {
  if (count > 1) SortRange(segments, 0, count - 1);
}
