// Turning primitives into points and segments: merging by exact position, each edge and dot
// once in the order first given, the colour helpers, and point clouds in depth order.
#include "formats/wire_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <type_traits>
#include <vector>

#include "formats/cloud_order.h"
#include "scene/colour_codes.h"
#include "scene/scene_data.h"

namespace {

using Piece = WireBuilder::Piece;

// Segments as (kind, first, second, colour); a dot's second is 0.
using Seg = std::tuple<int, int32_t, int32_t, uint32_t>;

std::vector<Seg> Segments(const SceneData& scene) {
  std::vector<Seg> out;
  for (const SegmentRecord& s : scene.Segments) {
    out.emplace_back(s.Kind, s.First, s.Second, s.Colour);
    EXPECT_EQ(s.Radius, 0);
    EXPECT_EQ(s.Depth, 0);
  }
  return out;
}

std::vector<uint32_t> Merge(WireBuilder& b, const std::vector<Vec3>& positions) {
  std::vector<uint32_t> points(positions.size());
  b.MergePoints(positions, points.data());
  return points;
}

TEST(MeanColour, EachChannelRoundsHalvesToEven) {
  struct Case {
    uint8_t a, b, mean;
  };
  const Case cases[] = {{0, 0, 0},     {0, 1, 0},      {1, 2, 2},       {2, 3, 2},
                        {3, 4, 4},     {10, 20, 15},   {254, 255, 254}, {255, 255, 255},
                        {0, 255, 128}, {100, 103, 102}};
  for (const Case& c : cases) {
    // The same pair in each channel on its own, and the three at once.
    EXPECT_EQ(MeanColour(MakeColor(c.a, 0, 0), MakeColor(c.b, 0, 0)), MakeColor(c.mean, 0, 0));
    EXPECT_EQ(MeanColour(MakeColor(0, c.a, 0), MakeColor(0, c.b, 0)), MakeColor(0, c.mean, 0));
    EXPECT_EQ(MeanColour(MakeColor(0, 0, c.a), MakeColor(0, 0, c.b)), MakeColor(0, 0, c.mean));
    EXPECT_EQ(MeanColour(MakeColor(c.b, c.a, c.b), MakeColor(c.a, c.b, c.a)),
              MakeColor(c.mean, c.mean, c.mean));
  }
}

TEST(ChannelByte, ScalesByTwoFiftyFiveAndClips) {
  const std::pair<double, uint8_t> cases[] = {{0.0, 0},
                                              {1.0, 255},
                                              {0.5, 128} /* 127.5, half to even */,
                                              {0.2, 51},
                                              {1.0 / 255, 1},
                                              {254.0 / 255, 254},
                                              {-0.5, 0},
                                              {1.5, 255},
                                              {std::numeric_limits<double>::quiet_NaN(), 0},
                                              {std::numeric_limits<double>::infinity(), 255}};
  for (const auto& [value, byte] : cases) EXPECT_EQ(ChannelByte(value), byte) << value;
  // Every byte a file stores as a float in 0–1 comes back as it was.
  for (int c = 0; c < 256; ++c) EXPECT_EQ(ChannelByte(static_cast<float>(c) / 255.0f), c);
}

TEST(WireBuilder, MergesExactlyEqualPositionsOnly) {
  WireBuilder b(0, 0);
  const std::vector<Vec3> positions{{1, 2, 3},     {1, 2, 3.0000000000000004},
                                    {0, -0.0, 0},  {1, 2, 3},
                                    {0, 0, 0},     {-0.0, 0, -0.0},
                                    {1e300, 0, 0}, {1e300, 0, 0}};
  EXPECT_EQ(Merge(b, positions), (std::vector<uint32_t>{0, 1, 2, 0, 2, 2, 3, 3}));
  EXPECT_EQ(b.PointCount(), 4u);
  SceneData scene;
  b.Finish(scene);
  ASSERT_EQ(scene.Points.size(), 4u);
  // A merged point keeps the position it was first given, -0 included.
  EXPECT_TRUE(std::signbit(scene.Points[2].Pos.y));
  EXPECT_EQ(scene.Points[1].Pos.z, 3.0000000000000004);
}

TEST(WireBuilder, KeepsEachLineAndDotOnceInTheOrderFirstGiven) {
  WireBuilder b(4, 8);
  Merge(b, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  const uint32_t red = MakeColor(0, 0, 255);
  const uint32_t green = MakeColor(0, 255, 0);
  b.AddPieces(std::vector<Piece>{{0, 1, red},
                                 {1, 0, green},  // the same line the other way
                                 {2, 2, red},    // a dot
                                 {1, 2, green},
                                 {2, 2, green},  // the same dot again
                                 {3, 0, green},
                                 {0, 3, red}});
  EXPECT_EQ(b.LineCount(), 3u);
  EXPECT_EQ(b.DotCount(), 1u);
  SceneData scene;
  b.Finish(scene);
  EXPECT_EQ(Segments(scene),
            (std::vector<Seg>{{0, 0, 1, red}, {1, 2, 0, red}, {0, 1, 2, green}, {0, 3, 0, green}}));
}

TEST(WireBuilder, LoneDotsAreNeverMerged) {
  WireBuilder b(0, 0);
  const uint32_t white = MakeColor(255, 255, 255);
  b.AddLoneDot({1, 1, 1}, white);
  b.AddLoneDot({1, 1, 1}, MakeColor(1, 2, 3));
  EXPECT_EQ(Merge(b, {{1, 1, 1}}), (std::vector<uint32_t>{2}));
  SceneData scene;
  b.Finish(scene);
  EXPECT_EQ(scene.Points.size(), 3u);
  EXPECT_EQ(Segments(scene), (std::vector<Seg>{{1, 0, 0, white}, {1, 1, 0, MakeColor(1, 2, 3)}}));
}

// Enough corners and edges to grow both tables many times over from their smallest size: every
// merge and every repeated edge must still find what the table held before it grew.
TEST(WireBuilder, TablesGrowWithoutLosingEntries) {
  constexpr uint32_t kSide = 300;
  WireBuilder b(16, 16);
  std::vector<Vec3> grid;
  for (uint32_t i = 0; i < kSide; ++i) {
    for (uint32_t j = 0; j < kSide; ++j) grid.push_back(Vec3{i * 0.1, j * 0.1, 0});
  }
  std::vector<uint32_t> points = Merge(b, grid);
  for (uint32_t k = 0; k < points.size(); ++k) ASSERT_EQ(points[k], k);
  // Every corner once more, in reverse: all merged.
  std::vector<Vec3> reversed(grid.rbegin(), grid.rend());
  points = Merge(b, reversed);
  for (uint32_t k = 0; k < points.size(); ++k) ASSERT_EQ(points[k], kSide * kSide - 1 - k);
  // The grid's edges twice, the second time reversed.
  std::vector<Piece> edges;
  for (uint32_t i = 0; i + 1 < kSide; ++i) {
    for (uint32_t j = 0; j < kSide; ++j) {
      edges.push_back({i * kSide + j, (i + 1) * kSide + j, 7});
      edges.push_back({j * kSide + i, j * kSide + i + 1, 7});
    }
  }
  b.AddPieces(edges);
  for (Piece& p : edges) std::swap(p.first, p.second);
  b.AddPieces(edges);
  EXPECT_EQ(b.LineCount(), edges.size());
  EXPECT_EQ(b.PointCount(), size_t{kSide} * kSide);
}

// Points as (z, colour) in the order a scene holds them; every dot on its own point.
std::vector<std::pair<double, uint32_t>> CloudOf(const SceneData& scene) {
  std::vector<std::pair<double, uint32_t>> out;
  EXPECT_EQ(scene.Segments.size(), scene.Points.size());
  for (size_t k = 0; k < scene.Segments.size(); ++k) {
    const SegmentRecord& s = scene.Segments[k];
    EXPECT_EQ(s.Kind, 1);
    EXPECT_EQ(s.First, static_cast<int32_t>(k));
    EXPECT_EQ(s.Radius, 0);
    out.emplace_back(scene.Points[k].Pos.z, s.Colour);
  }
  return out;
}

// Both kinds of point, on values every float holds: the last four agree in the upper bits the
// buckets look at.
template <class Item>
void ExpectAscendingZWithEqualZInFileOrder() {
  const std::vector<double> z{3, -1,    2,     -1,          0.0, -0.0,        -7.5,
                              2, 1e-30, -1e30, 1 + 0x1p-23, 1,   1 + 0x1p-22, 1};
  CloudBuilder<Item> cloud(z.size());
  for (size_t k = 0; k < z.size(); ++k) {
    const auto x = static_cast<double>(k);
    if constexpr (std::is_same_v<Item, FloatCloudPoint>) {
      cloud.Add(FloatCloudPoint{static_cast<float>(x), static_cast<float>(-x),
                                static_cast<float>(z[k]), static_cast<uint32_t>(k)});
    } else {
      cloud.Add(CloudPoint{Vec3{x, -x, z[k]}, static_cast<uint32_t>(k), 0});
    }
  }
  SceneData scene;
  cloud.Finish(scene);
  std::vector<std::pair<double, uint32_t>> expected;
  for (uint32_t k : {9, 6, 1, 3, 4, 5, 8, 11, 13, 10, 12, 2, 7, 0}) {
    const bool single = std::is_same_v<Item, FloatCloudPoint>;
    expected.emplace_back(single ? static_cast<float>(z[k]) : z[k], k);
  }
  EXPECT_EQ(CloudOf(scene), expected);
  // Each point keeps its own x and y.
  for (const PointRecord& p : scene.Points) EXPECT_EQ(p.Pos.y, -p.Pos.x);
  EXPECT_EQ(scene.Points[0].Pos.x, 9);
}

TEST(CloudBuilder, PointsInAscendingZWithEqualZInFileOrder) {
  ExpectAscendingZWithEqualZInFileOrder<CloudPoint>();
  ExpectAscendingZWithEqualZInFileOrder<FloatCloudPoint>();
}

TEST(CloudBuilder, TheOtherColoursWhenAskedAndNoMoreThanItsRoom) {
  CloudBuilder<CloudPoint> cloud(2);
  cloud.Add(CloudPoint{Vec3{0, 0, 1}, 10, 20});
  cloud.Add(CloudPoint{Vec3{0, 0, 0}, 11, 21});
  EXPECT_THROW(cloud.Add(CloudPoint{}), std::length_error);
  SceneData scene;
  cloud.Finish(scene, true);
  EXPECT_EQ(CloudOf(scene), (std::vector<std::pair<double, uint32_t>>{{0, 21}, {1, 20}}));
}

// Many points whose z differ only below the bits the buckets look at, in reverse: the exact
// pass must neither take quadratic time nor lose the order.
TEST(CloudBuilder, ReversedRunsTheBucketsCannotTellApart) {
  constexpr size_t kCount = 300'000;
  CloudBuilder<CloudPoint> cloud(kCount);
  for (size_t k = 0; k < kCount; ++k) {
    cloud.Add(CloudPoint{Vec3{0, 0, 1 + static_cast<double>(kCount - k) * 0x1p-50},
                         static_cast<uint32_t>(k), 0});
  }
  SceneData scene;
  cloud.Finish(scene);
  const auto points = CloudOf(scene);
  for (size_t k = 0; k < kCount; ++k) {
    ASSERT_EQ(points[k].second, kCount - 1 - k);
  }
}

TEST(PutCloudInDepthOrder, OnlyScenesOfOneDotAPoint) {
  const auto cloud = [] {
    SceneData s;
    for (int k = 0; k < 3; ++k) {
      s.Points.push_back(PointRecord{{0, 0, 2.0 - k}, {}, 0, 0});
      SegmentRecord dot{};
      dot.Kind = 1;
      dot.First = k;
      dot.Colour = static_cast<uint32_t>(k);
      s.Segments.push_back(dot);
    }
    return s;
  };
  SceneData scene = cloud();
  PutCloudInDepthOrder(scene);
  EXPECT_EQ(CloudOf(scene), (std::vector<std::pair<double, uint32_t>>{{0, 2}, {1, 1}, {2, 0}}));
  // A line, a circle, or a dot on another point than its own: left as it is.
  for (int change = 0; change < 3; ++change) {
    SceneData other = cloud();
    if (change == 0) other.Segments[1].Kind = 0, other.Segments[1].Second = 2;
    if (change == 1) other.Segments[1].Radius = 0.5;
    if (change == 2) other.Segments[1].First = 2;
    const std::vector<SegmentRecord> before = other.Segments;
    PutCloudInDepthOrder(other);
    ASSERT_EQ(other.Segments.size(), before.size());
    EXPECT_EQ(other.Points[0].Pos.z, 2) << change;
    for (size_t k = 0; k < before.size(); ++k) {
      EXPECT_EQ(other.Segments[k].First, before[k].First) << change;
      EXPECT_EQ(other.Segments[k].Kind, before[k].Kind) << change;
    }
  }
}

}  // namespace
