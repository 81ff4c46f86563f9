// The quicksort's adversary.
#include "support/adversarial_depths.h"

#include <cstddef>
#include <utility>

std::vector<double> AdversarialDepths(int n, bool withTie) {
  const int gas = n;
  std::vector<int> value(static_cast<size_t>(n), gas);
  int solid = 0, candidate = -1;
  const auto compare = [&](int x, int y) {
    if (value[x] == gas && value[y] == gas) value[x == candidate ? x : y] = solid++;
    if (value[x] == gas) {
      candidate = x;
    } else if (value[y] == gas) {
      candidate = y;
    }
    return value[x] - value[y];
  };
  std::vector<int> id(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) id[k] = k;
  // The partitions of a range depend only on what it holds, so the order in which the two
  // halves are sorted does not matter; the smaller first keeps the recursion shallow.
  const auto sort = [&](auto&& self, int lo, int hi) -> void {
    while (lo < hi) {
      const int pivot = id[lo + (hi - lo) / 2];
      int i = lo, j = hi;
      do {
        while (compare(id[i], pivot) < 0) ++i;
        while (compare(id[j], pivot) > 0) --j;
        if (i <= j) std::swap(id[i++], id[j--]);
      } while (i <= j);
      if (j - lo < hi - i) {
        if (lo < j) self(self, lo, j);
        lo = i;
      } else {
        if (i < hi) self(self, i, hi);
        hi = j;
      }
    }
  };
  if (n > 1) sort(sort, 0, n - 1);
  std::vector<double> depths(value.begin(), value.end());
  if (withTie) {
    for (double& d : depths) {
      if (d == 2) d = 1;
    }
  }
  return depths;
}
