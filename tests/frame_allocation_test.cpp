// A frame of a model that was drawn before allocates nothing: every heap allocation of the
// test program is counted (malloc and its kin, which operator new and Qt both come down to),
// and steady frames through every path of the renderer's own drawing must add none.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "scene/worker_pool.h"
#include "support/counting_allocator.h"
#include "test_support.h"

namespace {

// Pools of one, two and three threads, made before anything is counted.
std::shared_ptr<WorkerPool> Pool(int threads) {
  static const std::shared_ptr<WorkerPool> pools[] = {std::make_shared<WorkerPool>(1),
                                                      std::make_shared<WorkerPool>(2),
                                                      std::make_shared<WorkerPool>(3)};
  return pools[threads - 1];
}

struct SteadyFrames : FormFixture {
  explicit SteadyFrames(int threads) {
    form.Workers = Pool(threads);
    if (!kCountingAllocations) return;
    form.FormResize(301 + FrameWidthAllowance, 203 + FrameHeightAllowance);
    form.NewView();
  }
  void Finish() {
    form.PointCount = static_cast<int32_t>(form.Points.size());
    form.SegmentCount = static_cast<int32_t>(form.Segments.size());
    form.ComputeScale();
  }
  // Allocations of three frames, each after a turn, once two frames have been drawn.
  uint64_t CountSteady(double turn = 0.003) {
    const int presented = controls.FramesPresented;
    for (int k = 0; k < 2; ++k) {
      form.RotateCam(1, turn);
      form.Render();
    }
    const uint64_t before = AllocationCount();
    for (int k = 0; k < 3; ++k) {
      form.RotateCam(static_cast<uint8_t>(k % 2), turn);
      form.Render();
    }
    const uint64_t count = AllocationCount() - before;
    EXPECT_TRUE(controls.Messages.empty()) << controls.Messages.front();
    EXPECT_EQ(controls.FramesPresented, presented + 5);
    return count;
  }
};

#define SKIP_UNLESS_COUNTING() \
  if (!kCountingAllocations) GTEST_SKIP() << "allocations are not counted under a sanitizer"

TEST(AllocationCounter, SeesTheAllocationsItShould) {
  SKIP_UNLESS_COUNTING();
  // Inside the toolkit's library, and through operator new (out of the optimiser's sight).
  uint64_t before = AllocationCount();
  { const QImage image(64, 64, QImage::Format_RGB32); }
  EXPECT_GE(AllocationCount() - before, 1u);
  void* (*volatile allocate)(size_t) = ::operator new;
  before = AllocationCount();
  ::operator delete(allocate(100));
  EXPECT_EQ(AllocationCount() - before, 1u);
}

// Every test on one, two and three threads: with several, the projection, the sorts and the
// drawing in bands take their threaded paths (the models are large enough for that).
class FrameAllocations : public ::testing::TestWithParam<int> {};

TEST_P(FrameAllocations, TheFirstFrameOfAModelMayAllocateTheNextOnesNotInEveryMode) {
  SKIP_UNLESS_COUNTING();
  SteadyFrames f(GetParam());
  // A curve with distinct depths (the bucketed sort), dots, circles, short and long lines,
  // lines along the axes and of no length.
  for (int i = 0; i < 70000; ++i) {
    const double t = i * 0.003;
    f.form.Points.push_back(PointRecord{Vec3{std::sin(t), std::cos(t * 1.3), t * 0.01}, {}, 0, 0});
    if (i > 0) f.form.Segments.push_back(SegmentRecord{0, 0, 0x00A0B0C0u, i - 1, i, 0});
    if (i % 5 == 0) f.form.Segments.push_back(SegmentRecord{1, 0, 0x00FF0000u, i, 0, 0});
    if (i % 97 == 0) f.form.Segments.push_back(SegmentRecord{0, 0, 0x0000FF00u, i, i / 2, 0});
    if (i % 89 == 0) f.form.Segments.push_back(SegmentRecord{0, 0, 0x0000FF00u, i, i, 0});
    if (i % 101 == 0) f.form.Segments.push_back(SegmentRecord{2, 0.03, 0x00FF00FFu, i, 0, 0});
  }
  f.Finish();
  const uint64_t first = AllocationCount();
  f.form.Render();
  EXPECT_GT(AllocationCount(), first) << "the first frame sizes the working arrays";
  // Anti-aliased and plain, circles filled and hollow, dark and white background, mirrored,
  // with and without fade.
  for (const bool antiAlias : {true, false}) {
    for (const bool fill : {false, true}) {
      f.form.AntiAlias = antiAlias;
      f.form.FillCircles = fill;
      f.form.WhiteBack = fill;
      f.form.FlipZ = !fill;
      f.form.Fade = antiAlias;
      EXPECT_EQ(f.CountSteady(), 0u) << (antiAlias ? "anti-aliased" : "plain")
                                     << (fill ? ", filled circles" : ", hollow circles");
    }
  }
}

TEST_P(FrameAllocations, TiesFarPointsAndCrowdedDepthsAllocateNothing) {
  SKIP_UNLESS_COUNTING();
  // A flat grid: rows of equal depth whichever way it turns about its up axis, so the
  // quicksort itself decides the order; with a few lines to points far outside the frame.
  SteadyFrames grid(GetParam());
  for (int i = 0; i < 40000; ++i) {
    grid.form.Points.push_back(PointRecord{Vec3{i % 200 * 0.01, i / 200 * 0.01, 0}, {}, 0, 0});
    if (i % 200 != 0) grid.form.Segments.push_back(SegmentRecord{0, 0, 0x00FFFFFFu, i - 1, i, 0});
  }
  for (int i = 0; i < 20; ++i) {
    grid.form.Points.push_back(PointRecord{Vec3{1e9 * (i - 10), 3e8, 0.5 * i}, {}, 0, 0});
    grid.form.Segments.push_back(SegmentRecord{0, 0, 0x0000FFFFu, i * 100, 40000 + i, 0});
  }
  grid.Finish();
  grid.form.Scale = 40;  // fitted to the far points it would be too small to matter
  grid.form.Render();
  EXPECT_EQ(grid.CountSteady(), 0u);

  // Depths crowded into one bucket beside one far away, turned a long way between frames: the
  // buckets' insertion sort gives up and a full sort takes over.
  SteadyFrames crowd(GetParam());
  std::srand(1);
  for (int i = 0; i < 5000; ++i) {
    const double x = (std::rand() % 10000) * 1e-12, z = (std::rand() % 10000) * 1e-12;
    crowd.form.Points.push_back(PointRecord{Vec3{x, (i % 100) * 0.01, z}, {}, 0, 0});
    crowd.form.Segments.push_back(SegmentRecord{1, 0, 0x00FFFFFFu, i, 0, 0});
  }
  crowd.form.Points.push_back(PointRecord{Vec3{0, 0, 1e3}, {}, 0, 0});
  crowd.form.Segments.push_back(SegmentRecord{1, 0, 0x00FFFFFFu, 5000, 0, 0});
  crowd.Finish();
  crowd.form.Scale = 100;
  crowd.form.Render();
  EXPECT_EQ(crowd.CountSteady(0.9), 0u);
}

INSTANTIATE_TEST_SUITE_P(Threads, FrameAllocations, ::testing::Values(1, 2, 3));

TEST(WorkerPoolAllocations, AJobAllocatesNothing) {
  SKIP_UNLESS_COUNTING();
  for (const int threads : {2, 3}) {
    WorkerPool& pool = *Pool(threads);
    std::vector<int> out(64);
    pool.Run(out.size(), [&](size_t i) { out[i] = static_cast<int>(i); });
    const uint64_t before = AllocationCount();
    for (int job = 0; job < 20; ++job) {
      pool.Run(out.size(), [&](size_t i) { out[i] += job; });
    }
    EXPECT_EQ(AllocationCount() - before, 0u) << threads;
  }
}

}  // namespace
