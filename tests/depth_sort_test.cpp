// The bound on the depth sort's quicksort: natural depths stay far from the level limit,
// crafted ones reach it and are still sorted, quickly, the same with any number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "render/depth_sort.h"
#include "render/depth_sort_testing.h"
#include "render/render_workspace.h"
#include "scene/worker_pool.h"
#include "support/adversarial_depths.h"

namespace {

// Depths of the shapes models give: ties of a few values, runs already sorted or reversed,
// nearly sorted with noise, a periodic wave of many short rings (a grid in its file order).
std::vector<double> Shaped(const std::string& shape, int n, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> unit(-1, 1);
  std::vector<double> d(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    if (shape == "three values") d[k] = static_cast<double>(rng() % 3);
    if (shape == "sixty-four values") d[k] = static_cast<double>(rng() % 64);
    if (shape == "sorted with ties") d[k] = k / 4;
    if (shape == "reversed with ties") d[k] = (n - k) / 4;
    if (shape == "nearly sorted") d[k] = k + unit(rng) * 30;
    if (shape == "rings") d[k] = std::round(std::cos(k % 1000 * 0.00628) * 500);
    if (shape == "random") d[k] = unit(rng);
  }
  return d;
}

TEST(DepthSortLimit, NaturalDepthsStayFarBelowTheLimit) {
  std::mt19937_64 rng(5);
  for (const char* shape : {"three values", "sixty-four values", "sorted with ties",
                            "reversed with ties", "nearly sorted", "rings", "random"}) {
    for (const int n : {1000, 100000, 1000000}) {
      const int levels = QuicksortLevels(Shaped(shape, n, rng));
      EXPECT_LE(4 * levels, QuicksortLevelLimit(static_cast<size_t>(n)))
          << shape << " of " << n << ": " << levels << " levels";
    }
  }
}

TEST(DepthSortLimit, SmallModelsKeepThePlainOrderWhateverTheirShape) {
  // Up to some thousands of segments even the quicksort's worst case, about count / 2 levels,
  // stays within the limit.
  for (const int n : {2, 100, 1000, 4000}) {
    const int levels = QuicksortLevels(AdversarialDepths(n));
    EXPECT_GE(levels, n / 4) << n;
    EXPECT_LE(levels, QuicksortLevelLimit(static_cast<size_t>(n))) << n;
  }
}

bool Ascending(const std::vector<double>& d) {
  return std::is_sorted(d.begin(), d.end());
}

TEST(DepthSortLimit, PastTheLimitTheHeapSortFinishesEveryRange) {
  std::mt19937_64 rng(9);
  for (const int limit : {1, 2, 3, 7}) {
    for (const int n : {0, 1, 2, 3, 10, 1000}) {
      for (const char* shape : {"three values", "random", "reversed with ties"}) {
        const std::vector<double> depths = Shaped(shape, n, rng);
        std::vector<double> sorted = depths;
        const bool heap = QuicksortWithLevelLimit(sorted, limit);
        std::vector<double> expected = depths;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(sorted, expected) << shape << " of " << n << ", limit " << limit;
        EXPECT_EQ(heap, QuicksortLevels(depths) > limit) << shape << " of " << n;
      }
    }
  }
}

TEST(DepthSortLimit, CraftedDepthsReachTheLimitAndAreSortedTheSameOnAnyThreads) {
  // Dots whose depths defeat the middle pivot, with one tie so that the quicksort runs: the
  // plain quicksort would make about count² / 4 comparisons (minutes a frame at this size).
  constexpr int kCount = 30000;
  const std::vector<double> depths = AdversarialDepths(kCount, true);
  const int limit = QuicksortLevelLimit(kCount);
  std::vector<double> alone = depths;
  ASSERT_TRUE(QuicksortWithLevelLimit(alone, limit)) << "the heap sort took over";
  EXPECT_TRUE(Ascending(alone));

  std::vector<std::vector<uint32_t>> orders;
  for (const int threads : {1, 2, 3}) {
    WorkerPool pool(threads);
    std::vector<SegmentRecord> segments;
    for (int k = 0; k < kCount; ++k) {
      segments.push_back(SegmentRecord{1, 0, static_cast<uint32_t>(k), -1, 0, depths[k]});
    }
    RenderWorkspace workspace;
    KeyAndSortSegments(segments, segments.size(), nullptr, 0, workspace, pool);
    std::vector<double> result;
    std::vector<uint32_t> order;
    for (const SegmentRecord& s : segments) {
      result.push_back(s.Depth);
      order.push_back(s.Colour);
    }
    EXPECT_EQ(result, alone) << threads << " threads";
    orders.push_back(order);
  }
  EXPECT_EQ(orders[1], orders[0]);
  EXPECT_EQ(orders[2], orders[0]);
}

}  // namespace
