// The renderer's fast passes against the plain ones (tests/reference_render.h): on seeded
// random models full of the awkward cases, frame after frame under small turns, in every
// option combination, with and without the AVX2 forms, the pixels, the points' per-frame
// values and the segments' order and depths must come out the same to the bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "reference_render.h"
#include "render/depth_sort.h"
#include "render/depth_sort_testing.h"
#include "render/pass_parts_testing.h"
#include "render/render_workspace.h"
#include "render/wu_line.h"
#include "render/wu_line_testing.h"
#include "render/wu_line_walk.h"
#include "scene/worker_pool.h"
#include "test_support.h"

namespace {

// Pools of one, two and three threads, made once for all the tests.
std::shared_ptr<WorkerPool> Pool(int threads) {
  static const std::shared_ptr<WorkerPool> pools[] = {std::make_shared<WorkerPool>(1),
                                                      std::make_shared<WorkerPool>(2),
                                                      std::make_shared<WorkerPool>(3)};
  return pools[threads - 1];
}

// Runs the tests with the AVX2 forms allowed and with the portable ones, each with one, two and
// three threads; with more than one, the passes are cut into parts of a few items, so that the
// small models here take every branch of the passes over threads.
class RenderVariant : public ::testing::TestWithParam<std::tuple<bool, int>> {
 protected:
  void SetUp() override {
    AllowAvx2(std::get<0>(GetParam()));
    SetSmallestPart(Threads() > 1 ? 7 : 0);
  }
  void TearDown() override {
    AllowAvx2(true);
    SetSmallestPart(0);
  }
  int Threads() const { return std::get<1>(GetParam()); }
};

std::string ParamName(const ::testing::TestParamInfo<std::tuple<bool, int>>& info) {
  return std::string(std::get<0>(info.param) ? "Avx2WhereAvailable" : "Portable") + "On" +
         std::to_string(std::get<1>(info.param)) + "Threads";
}

uint64_t Bits(double v) {
  return std::bit_cast<uint64_t>(v);
}

// Every byte of every pixel, the fourth included.
bool SameBytes(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return false;
  for (int y = 0; y < a.height(); ++y) {
    if (std::memcmp(a.constScanLine(y), b.constScanLine(y), 4 * static_cast<size_t>(a.width()))) {
      return false;
    }
  }
  return true;
}

// The first difference between the two forms' results, or "" when there is none.
std::string Difference(const TForm1& fast, const TForm1& plain) {
  std::ostringstream out;
  for (size_t i = 0; i < plain.Points.size(); ++i) {
    const PointRecord &a = fast.Points[i], &b = plain.Points[i];
    if (Bits(a.View.x) != Bits(b.View.x) || Bits(a.View.y) != Bits(b.View.y) ||
        Bits(a.View.z) != Bits(b.View.z) || Bits(a.ScreenX) != Bits(b.ScreenX) ||
        Bits(a.ScreenY) != Bits(b.ScreenY)) {
      out << "point " << i;
      return out.str();
    }
  }
  for (size_t k = 0; k < plain.Segments.size(); ++k) {
    const SegmentRecord &a = fast.Segments[k], &b = plain.Segments[k];
    if (a.Kind != b.Kind || Bits(a.Radius) != Bits(b.Radius) || a.Colour != b.Colour ||
        a.First != b.First || a.Second != b.Second || Bits(a.Depth) != Bits(b.Depth)) {
      out << "segment " << k << ": depth " << a.Depth << " / " << b.Depth << ", colour " << a.Colour
          << " / " << b.Colour;
      return out.str();
    }
  }
  const QImage &fa = fast.FrameBitmap, &fb = plain.FrameBitmap;
  if (fa.size() != fb.size()) return "frame size";
  for (int y = 0; y < fb.height(); ++y) {
    if (std::memcmp(fa.constScanLine(y), fb.constScanLine(y),
                    4 * static_cast<size_t>(fb.width())) != 0) {
      for (int x = 0; x < fb.width(); ++x) {
        if (fa.pixel(x, y) != fb.pixel(x, y)) {
          out << "pixel (" << x << ", " << y << "): " << std::hex << fa.pixel(x, y) << " / "
              << fb.pixel(x, y);
          return out.str();
        }
      }
    }
  }
  return "";
}

// Two forms holding the same model and view: one drawn by Render, one by the plain passes.
struct TwinForms {
  FormFixture fast, plain;
  TwinForms(int width, int height, int threads) {
    fast.form.Workers = Pool(threads);
    fast.form.FormResize(width + FrameWidthAllowance, height + FrameHeightAllowance);
    plain.form.FormResize(width + FrameWidthAllowance, height + FrameHeightAllowance);
  }
  // Copies the model, the view and the options of `fast` to `plain`.
  void Mirror() {
    TForm1 &a = fast.form, &b = plain.form;
    b.Points = a.Points;
    b.Segments = a.Segments;
    b.PointCount = a.PointCount;
    b.SegmentCount = a.SegmentCount;
    b.Centre = a.Centre;
    b.Scale = a.Scale;
    b.ViewAxis = a.ViewAxis;
    b.UpAxis = a.UpAxis;
    b.RightAxis = a.RightAxis;
    b.PanX = a.PanX;
    b.PanY = a.PanY;
    b.AntiAlias = a.AntiAlias;
    b.Fade = a.Fade;
    b.FlipZ = a.FlipZ;
    b.WhiteBack = a.WhiteBack;
    b.FillCircles = a.FillCircles;
    b.CircleRadius = a.CircleRadius;
  }
  void Turn(uint8_t axis, double angle) {
    fast.form.RotateCam(axis, angle);
    plain.form.RotateCam(axis, angle);
  }
  // One frame each; the two must agree in everything, messages included.
  void RenderBoth(const std::string& what) {
    fast.form.Render();
    reference::Render(plain.form);
    ASSERT_EQ(fast.controls.Messages, plain.controls.Messages) << what;
    ASSERT_EQ(fast.controls.FramesPresented, plain.controls.FramesPresented) << what;
    ASSERT_EQ(Difference(fast.form, plain.form), "") << what;
  }
};

// A coordinate of one of several kinds: ordinary, on a coarse grid (equal depths), a zero of
// either sign, or far out.
double Coordinate(std::mt19937_64& rng, int kind) {
  std::uniform_real_distribution<double> unit(-1, 1);
  switch (kind) {
    case 0:
      return std::round(unit(rng) * 4) / 4;
    case 1:
      return rng() % 2 ? 0.0 : -0.0;
    case 2:
      return unit(rng) * 1e9;  // far beyond any frame, and beyond 32 bits once scaled
    case 3:
      return unit(rng) * 3e5;  // beyond the frame, within the compact positions
    default:
      return unit(rng);
  }
}

struct ModelShape {
  int points = 200;
  int segments = 400;
  int gridPercent = 30;  // coordinates on a coarse grid: ties in depth
  int zeroPercent = 5;   // coordinates ±0.0
  int farPercent = 2;    // coordinates far out
};

// Fills the fast form with a random model and view and mirrors it to the plain one.
void MakeModel(TwinForms& twins, std::mt19937_64& rng, const ModelShape& shape) {
  TForm1& form = twins.fast.form;
  form.NewView();
  form.Points.clear();
  form.Segments.clear();
  const auto percent = [&](int p) { return static_cast<int>(rng() % 100) < p; };
  const auto kind = [&]() {
    if (percent(shape.farPercent)) return rng() % 2 ? 2 : 3;
    if (percent(shape.zeroPercent)) return 1;
    if (percent(shape.gridPercent)) return 0;
    return 4;
  };
  for (int i = 0; i < shape.points; ++i) {
    Vec3 p{Coordinate(rng, kind()), Coordinate(rng, kind()), Coordinate(rng, kind())};
    // Negative x and y with z = -0.0 give a camera depth of -0.0 at the reset view.
    if (percent(shape.zeroPercent)) p = Vec3{-std::abs(p.x), -std::abs(p.y), -0.0};
    if (i > 0 && percent(10)) p = form.Points[rng() % form.Points.size()].Pos;  // duplicate
    form.Points.push_back(PointRecord{p, {}, 0, 0});
  }
  const auto anyPoint = [&]() { return static_cast<int32_t>(rng() % form.Points.size()); };
  const auto colour = [&]() {
    return percent(30) ? 0x00FFFFFFu : static_cast<uint32_t>(rng() & 0x00FFFFFFu);
  };
  double circleRadius = 0;
  for (int k = 0; k < shape.segments; ++k) {
    SegmentRecord s{0, 0, colour(), anyPoint(), anyPoint(), 0};
    const int form_ = static_cast<int>(rng() % 100);
    if (form_ < 20) {
      s.Kind = static_cast<uint8_t>(1 + rng() % 3);  // a dot, or a circle below
      if (rng() % 4 == 0) s.Radius = 0.02 + 0.05 * static_cast<double>(rng() % 3);
      circleRadius = std::max(circleRadius, s.Radius);
    } else if (form_ < 25) {
      s.Second = s.First;  // zero length
    } else if (form_ < 35 && s.First + 1 < static_cast<int32_t>(form.Points.size())) {
      s.Second = s.First + 1;  // a curve
    } else if (form_ < 37) {
      // A point that does not exist: never drawn, and its stale depth is sorted with the rest.
      s.First = rng() % 2 ? -1 : static_cast<int32_t>(form.Points.size() + rng() % 5);
      const double stale[] = {0.0, -0.0, 0.25, std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity()};
      s.Depth = stale[rng() % 5];
    }
    form.Segments.push_back(s);
  }
  form.PointCount = static_cast<int32_t>(form.Points.size());
  form.SegmentCount = static_cast<int32_t>(form.Segments.size());
  form.CircleRadius = percent(50) ? circleRadius : 0;  // also circles the loader did not count
  form.Scale = (40 + static_cast<double>(rng() % 400)) / 4;
  form.PanX = percent(30) ? static_cast<double>(static_cast<int>(rng() % 9) - 4) / 8 : 0;
  form.PanY = percent(30) ? static_cast<double>(static_cast<int>(rng() % 9) - 4) / 8 : 0;
  form.AntiAlias = rng() % 4 != 0;
  form.Fade = rng() % 4 != 0;
  form.FlipZ = rng() % 2;
  form.WhiteBack = rng() % 3 == 0;
  form.FillCircles = rng() % 2;
  twins.Mirror();
}

TEST_P(RenderVariant, RandomModelsGiveTheSamePixelsAndOrderFrameAfterFrame) {
  std::mt19937_64 rng(20240611);
  const int sizes[][2] = {{61, 47}, {128, 96}, {1, 1}, {2, 9}, {17, 2}};
  for (int model = 0; model < 120; ++model) {
    const auto* size = sizes[model % 5];
    TwinForms twins(size[0], size[1], Threads());
    ModelShape shape;
    shape.points = 2 + static_cast<int>(rng() % 300);
    shape.segments = static_cast<int>(rng() % 700);
    shape.gridPercent = static_cast<int>(rng() % 100);
    shape.zeroPercent = static_cast<int>(rng() % 20);
    shape.farPercent = static_cast<int>(rng() % 5);
    MakeModel(twins, rng, shape);
    // The reset view first (planes of equal depth, zeros of both signs), then small turns.
    for (int frame = 0; frame < 5; ++frame) {
      if (frame > 0) twins.Turn(static_cast<uint8_t>(rng() % 3), (rng() % 2 ? 1 : -1) * 0.003);
      if (frame == 3) twins.Turn(static_cast<uint8_t>(rng() % 2), 0.7);
      twins.RenderBoth("model " + std::to_string(model) + " frame " + std::to_string(frame));
      if (HasFatalFailure()) return;
    }
  }
}

TEST_P(RenderVariant, LargeTurningModelsKeepTheOrderOfThePlainSort) {
  // Enough segments for the sort's buckets and its read-ahead; a curve like the attractor's,
  // plus long lines and dots, distinct depths in one model and many ties in the other.
  std::mt19937_64 rng(7);
  for (const int gridPercent : {0, 100}) {
    TwinForms twins(301, 203, Threads());
    TForm1& form = twins.fast.form;
    form.NewView();
    Vec3 p{0.1, 0.2, 0.3};
    for (int i = 0; i < 30000; ++i) {
      p = Vec3{p.x + std::sin(i * 0.013) * 0.01, p.y + std::cos(i * 0.007) * 0.01,
               p.z + std::sin(i * 0.003 + 1) * 0.01};
      Vec3 q = p;
      if (gridPercent == 100) q = Vec3{std::round(p.x * 64) / 64, std::round(p.y * 64) / 64, 0};
      form.Points.push_back(PointRecord{q, {}, 0, 0});
      if (i > 0)
        form.Segments.push_back(SegmentRecord{0, 0, static_cast<uint32_t>(i), i - 1, i, 0});
      if (i % 7 == 0) form.Segments.push_back(SegmentRecord{1, 0, 0x00FF8040u, i, 0, 0});
      if (i % 11 == 0) {
        form.Segments.push_back(
            SegmentRecord{0, 0, 0x0000FF00u, i, static_cast<int32_t>(rng() % (i + 1)), 0});
      }
    }
    form.PointCount = static_cast<int32_t>(form.Points.size());
    form.SegmentCount = static_cast<int32_t>(form.Segments.size());
    form.ComputeScale();
    twins.Mirror();
    for (int frame = 0; frame < 6; ++frame) {
      twins.Turn(static_cast<uint8_t>(frame % 2), 0.003);
      twins.RenderBoth("grid " + std::to_string(gridPercent) + " frame " + std::to_string(frame));
      if (HasFatalFailure()) return;
    }
  }
}

TEST_P(RenderVariant, CloudsInDepthOrderKeepTheOrderOfThePlainSort) {
  // A cloud as the readers hand one over: dot k on point k, in ascending z with many equal z
  // (and zeroes of both signs), so that the first frame's depths never fall but tie; here the
  // records are sorted where they stand. Then a frame that fails in the drawing, and turns.
  std::mt19937_64 rng(12);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (const bool failing : {false, true}) {
    TwinForms twins(97, 71, Threads());
    TForm1& form = twins.fast.form;
    form.NewView();
    std::vector<double> zs(20000);
    for (double& z : zs) z = rng() % 3 ? std::round(unit(rng) * 300) / 256 : unit(rng);
    for (int k = 0; k < 40; ++k) zs[rng() % zs.size()] = rng() % 2 ? 0.0 : -0.0;
    std::stable_sort(zs.begin(), zs.end());
    for (size_t k = 0; k < zs.size(); ++k) {
      form.Points.push_back(PointRecord{{unit(rng), unit(rng), zs[k]}, {}, 0, 0});
      const auto circle = static_cast<uint8_t>(k % 97 == 0 ? 2 : 1);
      form.Segments.push_back(SegmentRecord{circle, circle == 2 ? 0.03 : 0.0,
                                            static_cast<uint32_t>(k), static_cast<int32_t>(k),
                                            0, 0});
    }
    if (failing) form.Segments[15000].Radius = 1e300;
    form.PointCount = static_cast<int32_t>(form.Points.size());
    form.SegmentCount = static_cast<int32_t>(form.Segments.size());
    form.ComputeScale();
    form.CircleRadius = 0.03;
    form.FillCircles = failing;
    twins.Mirror();
    for (int frame = 0; frame < 3; ++frame) {
      if (frame > 0) twins.Turn(1, 0.003);
      twins.RenderBoth((failing ? "failing cloud frame " : "cloud frame ") + std::to_string(frame));
      if (HasFatalFailure()) return;
      if (frame == 0) {
        // The frame's depths were in file order with ties: the quicksort moved equal ones.
        std::vector<double> depthOf(zs.size());
        size_t moved = 0;
        for (size_t k = 0; k < zs.size(); ++k) {
          const SegmentRecord& s = twins.plain.form.Segments[k];
          depthOf[s.Colour] = s.Depth;
          moved += s.Colour != k;
        }
        EXPECT_TRUE(std::is_sorted(depthOf.begin(), depthOf.end()));
        EXPECT_GT(moved, 0u);
      }
    }
    EXPECT_EQ(twins.fast.controls.Messages.size(), failing ? 3u : 0u);
  }
}

TEST_P(RenderVariant, AFailedFrameLeavesWhatThePlainPassesLeave) {
  // Part way through the points: a depth beyond the floats, a screen position beyond the
  // doubles, and a camera-space value beyond the doubles (under a turned camera).
  const Vec3 faults[] = {{0.5, 0.5, 1e39}, {1e307, 0.5, 0.1}, {1.5e308, 1.5e308, 1.5e308}};
  for (const Vec3& fault : faults) {
    TwinForms twins(40, 30, Threads());
    std::mt19937_64 rng(3);
    MakeModel(twins, rng, ModelShape{});
    twins.fast.form.Scale = 50;
    twins.fast.form.Points[57].Pos = fault;
    twins.Mirror();
    twins.Turn(1, 0.3);
    twins.RenderBoth("fault at " + std::to_string(fault.x));
    if (HasFatalFailure()) return;
    EXPECT_EQ(twins.fast.controls.Messages, std::vector<std::string>{"Error rendering model"});
  }
  // Part way through the drawing, after the sort: a circle whose pixel radius overflows.
  for (const bool antiAlias : {true, false}) {
    TwinForms twins(40, 30, Threads());
    std::mt19937_64 rng(4);
    MakeModel(twins, rng, ModelShape{});
    TForm1& form = twins.fast.form;
    form.AntiAlias = antiAlias;
    form.Segments[321] = SegmentRecord{1, 1e300, 0x00FF00FFu, 9, 0, 0};
    twins.Mirror();
    twins.RenderBoth(antiAlias ? "radius overflow" : "radius overflow, plain");
    if (HasFatalFailure()) return;
    EXPECT_EQ(twins.fast.controls.Messages, std::vector<std::string>{"Error rendering model"});
  }
}

INSTANTIATE_TEST_SUITE_P(Render, RenderVariant,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(1, 2, 3)),
                         ParamName);

// ---------------------------------------------------------------- the sort alone

std::vector<SegmentRecord> WithDepths(const std::vector<double>& depths) {
  std::vector<SegmentRecord> s;
  for (size_t k = 0; k < depths.size(); ++k) {
    s.push_back(SegmentRecord{1, 0, static_cast<uint32_t>(k), -1, 0, depths[k]});
  }
  return s;
}

// The keyed sort (every segment names no point, so every Depth stays as given) with one, two
// and three threads against the plain quicksort, by identity and by every depth's bits.
void ExpectSameSort(const std::vector<double>& depths, const std::string& what) {
  std::vector<SegmentRecord> plain = WithDepths(depths);
  if (plain.size() > 1)
    reference::Quicksort(plain.data(), 0, static_cast<int64_t>(plain.size()) - 1);
  for (const int threads : {1, 2, 3}) {
    std::vector<SegmentRecord> fast = WithDepths(depths);
    RenderWorkspace workspace;
    KeyAndSortSegments(fast, fast.size(), nullptr, 0, workspace, *Pool(threads));
    for (size_t k = 0; k < plain.size(); ++k) {
      ASSERT_EQ(fast[k].Colour, plain[k].Colour) << what << ", " << threads << " threads, at " << k;
      ASSERT_EQ(Bits(fast[k].Depth), Bits(plain[k].Depth)) << what << " at " << k;
    }
  }
}

TEST(KeyedDepthSort, MatchesTheQuicksortOnShapedDepths) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> unit(-1, 1);
  const double inf = std::numeric_limits<double>::infinity();
  // 70,000 and more: the sorts over several threads.
  for (const int n : {0, 1, 2, 3, 17, 1000, 70000, 300000}) {
    std::vector<double> distinct(n), ties(n), zeros(n), cluster(n), nearlySorted(n), specials(n);
    for (int k = 0; k < n; ++k) {
      distinct[k] = unit(rng);
      ties[k] = std::round(unit(rng) * 8);
      zeros[k] = rng() % 2 ? 0.0 : -0.0;
      // All but one crowded into one bucket: the insertion sort must give way.
      cluster[k] = k == 0 ? 1e6 : 1.0 + unit(rng) * 1e-9;
      nearlySorted[k] = k + unit(rng) * 40;
      specials[k] = rng() % 10 == 0 ? (rng() % 2 ? inf : -inf) : unit(rng);
    }
    std::vector<double> reversed = distinct;
    std::sort(reversed.rbegin(), reversed.rend());
    std::vector<double> nans = distinct;
    for (int k = 0; k < n; k += 50) nans[k] = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> oneTie = nearlySorted;
    if (n > 10) oneTie[n / 2] = oneTie[n / 3];
    std::vector<double> signedZeroes = distinct;
    if (n > 10) {
      signedZeroes[1] = 0.0;
      signedZeroes[n - 2] = -0.0;
    }
    std::vector<double> huge = distinct;
    for (double& d : huge) d *= 1.7e308;  // a span beyond the doubles
    // In order with ties, as a point cloud's first frame gives them: runs of equal depths
    // among distinct ones, long runs, and a run of zeroes of both signs among infinities.
    std::vector<double> inOrder(n), inOrderLong = ties, inOrderSpecial = specials;
    for (int k = 0; k < n; ++k) inOrder[k] = rng() % 4 ? unit(rng) : std::round(unit(rng) * 50);
    for (int k = 0; k < n; k += 3) inOrderSpecial[k] = rng() % 2 ? 0.0 : -0.0;
    for (std::vector<double>* v : {&inOrder, &inOrderLong, &inOrderSpecial}) {
      std::stable_sort(v->begin(), v->end());
    }
    const std::string size = " of " + std::to_string(n);
    ExpectSameSort(distinct, "distinct" + size);
    ExpectSameSort(ties, "ties" + size);
    ExpectSameSort(zeros, "zeros" + size);
    ExpectSameSort(cluster, "cluster" + size);
    ExpectSameSort(nearlySorted, "nearly sorted" + size);
    ExpectSameSort(specials, "infinities" + size);
    ExpectSameSort(reversed, "reversed" + size);
    ExpectSameSort(oneTie, "one tie" + size);
    ExpectSameSort(nans, "NaN" + size);
    ExpectSameSort(signedZeroes, "signed zeroes" + size);
    ExpectSameSort(huge, "huge span" + size);
    ExpectSameSort(inOrder, "in order with ties" + size);
    ExpectSameSort(inOrderLong, "in order, long runs" + size);
    ExpectSameSort(inOrderSpecial, "in order, signed zeroes and infinities" + size);
  }
}

// ---------------------------------------------------------------- the line alone

// Band by band, as the threads draw: the frame cut into bands of random heights drawn in a
// random order.
template <class Draw>
void InRandomBands(int height, std::mt19937_64& rng, const Draw& draw) {
  std::vector<wu_line::Rows> bands;
  for (int top = 0; top < height;) {
    const int bottom = std::min(height, top + 1 + static_cast<int>(rng() % 7));
    bands.push_back(wu_line::Rows{top, bottom});
    top = bottom;
  }
  std::shuffle(bands.begin(), bands.end(), rng);
  for (const wu_line::Rows& band : bands) draw(band);
}

TEST(LineDrawers, PortableAndAvx2MatchThePlainLineOnRandomLinesWholeAndInBands) {
  std::mt19937_64 rng(5);
  const int sizes[][2] = {{23, 17}, {1, 1}, {2, 2}, {64, 3}, {3, 64}};
  for (const auto& size : sizes) {
    const int w = size[0], h = size[1];
    QImage images[5];
    std::vector<uint8_t*> rows[5];
    FramePixels frames[5];
    for (int i = 0; i < 5; ++i) {
      images[i] = QImage(w, h, QImage::Format_RGB32);
      images[i].fill(0xFF405060u);
      for (int y = 0; y < h; ++y) rows[i].push_back(images[i].scanLine(y));
      frames[i] = FramePixels{rows[i].data(), w, h};
    }
    const auto coordinate = [&]() -> int32_t {
      switch (rng() % 8) {
        case 0:
          return static_cast<int32_t>(rng() % 4000001) - 2000000;  // beyond 2^20
        case 1:
          return static_cast<int32_t>(rng() % 2001) - 1000;
        default:
          return static_cast<int32_t>(rng() % 90) - 20;
      }
    };
    for (int i = 0; i < 4000; ++i) {
      const int32_t x1 = coordinate(), y1 = coordinate(), x2 = coordinate(), y2 = coordinate();
      const uint8_t r = rng() % 256, g = rng() % 256, b = rng() % 256;
      reference::WuLine(frames[0], x1, y1, x2, y2, r, g, b);
      DrawWuLinePortable(frames[1], x1, y1, x2, y2, r, g, b);
      if (ProcessorHasAvx2()) {
        DrawWuLineAvx2(frames[2], x1, y1, x2, y2, r, g, b);
      } else {
        DrawWuLinePortable(frames[2], x1, y1, x2, y2, r, g, b);
      }
      InRandomBands(h, rng, [&](wu_line::Rows band) {
        wu_line::PortableLines::DrawInRows(frames[3], band, x1, y1, x2, y2, r, g, b);
#ifdef KESTREL_HAVE_AVX2_PATH
        if (ProcessorHasAvx2()) {
          wu_line::Avx2Lines::DrawInRows(frames[4], band, x1, y1, x2, y2, r, g, b);
          return;
        }
#endif
        wu_line::PortableLines::DrawInRows(frames[4], band, x1, y1, x2, y2, r, g, b);
      });
      for (int k = 1; k < 5; ++k) {
        ASSERT_TRUE(SameBytes(images[k], images[0]))
            << w << "x" << h << " line " << i << " (" << x1 << "," << y1 << ")-(" << x2 << "," << y2
            << "), drawer " << k;
      }
    }
  }
}

}  // namespace
