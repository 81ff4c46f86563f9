// The frame renderer: projection, depth range and fade, the depth sort and its exact order,
// culling and clipping, the four drawing forms, and the failure guard.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "reference_render.h"
#include "support/adversarial_depths.h"
#include "render/depth_fade.h"
#include "render/depth_sort_testing.h"
#include "render/frame_pixels.h"
#include "scene/colour_codes.h"
#include "test_support.h"

namespace {

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kWhite = 0xFFFFFFFFu;

// The frame pixel of a colour given as red, green, blue.
uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return kOpaque | MakeColor(b, g, r);
}

// A form with a sized frame and a reset camera, and a model built by hand. With Scale 1 a model
// point (x, y) lands at (⌊W/2⌋ + x, ⌊H/2⌋ − y).
struct ModelFrame : FormFixture {
  ModelFrame(int width, int height, double scale = 1) {
    form.FormResize(width + FrameWidthAllowance, height + FrameHeightAllowance);
    form.NewView();
    form.Scale = scale;
  }
  int32_t AddPoint(double x, double y, double z) {
    form.Points.push_back(PointRecord{Vec3{x, y, z}, {}, 0, 0});
    form.PointCount = static_cast<int32_t>(form.Points.size());
    return form.PointCount - 1;
  }
  void AddLine(int32_t first, int32_t second, uint32_t colour) {
    form.Segments.push_back(SegmentRecord{0, 0, colour, first, second, 0});
    form.SegmentCount = static_cast<int32_t>(form.Segments.size());
  }
  void AddDot(int32_t point, double radius, uint32_t colour) {
    form.Segments.push_back(SegmentRecord{1, radius, colour, point, 0, 0});
    form.SegmentCount = static_cast<int32_t>(form.Segments.size());
    form.CircleRadius = std::max(form.CircleRadius, radius);
  }
  // Renders and insists that the frame was shown without a message.
  void RenderOk() {
    const int before = controls.FramesPresented;
    form.Render();
    ASSERT_TRUE(controls.Messages.empty()) << controls.Messages.front();
    ASSERT_EQ(controls.FramesPresented, before + 1);
  }
  void RenderFails() {
    const int before = controls.FramesPresented;
    form.Render();
    ASSERT_EQ(controls.Messages, std::vector<std::string>{"Error rendering model"});
    EXPECT_EQ(controls.FramesPresented, before) << "a failed frame is not presented";
  }
  uint32_t Pixel(int x, int y) const { return form.FrameBitmap.pixel(x, y); }
  int CountNot(uint32_t background) const {
    int n = 0;
    for (int y = 0; y < form.FrameBitmap.height(); ++y) {
      for (int x = 0; x < form.FrameBitmap.width(); ++x) n += Pixel(x, y) != background;
    }
    return n;
  }
  const SegmentRecord& ByColour(uint32_t colour) const {
    return *std::find_if(form.Segments.begin(), form.Segments.end(),
                         [&](const SegmentRecord& s) { return s.Colour == colour; });
  }
};

// ---------------------------------------------------------------- projection and depth

TEST(FrameRenderer, ProjectsOrthographicallyAboutTheFrameCentre) {
  ModelFrame m(601, 593, 29);
  m.AddPoint(1, 2, 5);
  m.AddPoint(1, 2, -7);
  m.AddLine(0, 1, MakeColor(255, 255, 255));
  m.RenderOk();
  for (const PointRecord& p : m.form.Points) {
    EXPECT_EQ(p.ScreenX, 329.0);
    EXPECT_EQ(p.ScreenY, 238.0);
    EXPECT_EQ(p.View.x, 1.0);
    EXPECT_EQ(p.View.y, 2.0);
  }
  EXPECT_EQ(m.form.Segments[0].Depth, -1.0) << "a line's depth is the mean of its ends";

  // Pan is in model units, added before scaling; a 1-pixel-wide frame has its origin at 0.
  ModelFrame narrow(1, 9, 3);
  narrow.form.PanX = 0.5;
  narrow.AddPoint(-0.5, 0, 0);
  narrow.AddDot(0, 0, MakeColor(0, 0, 255));
  narrow.RenderOk();
  EXPECT_EQ(narrow.form.Points[0].ScreenX, 0.0);
  EXPECT_EQ(narrow.Pixel(0, 4), Rgb(255, 0, 0));
}

TEST(FrameRenderer, FadesLinearlyOverTheDepthRangeWithHalvesToEven) {
  ModelFrame m(41, 11);
  m.AddPoint(-10, 0, -1);            // zmin: f = 0.5
  m.AddPoint(0, 0, 0);               // f = 0.6 as a 32-bit float
  m.AddPoint(10, 0, 1);              // zmax: f = 1
  m.AddPoint(5, 0, 2.0 / 3 - 0.01);  // just short of 5/6 of the range
  m.AddDot(0, 0, MakeColor(1, 3, 255));
  m.AddDot(1, 0, MakeColor(255, 255, 255));
  m.AddDot(2, 0, MakeColor(7, 8, 9));
  m.AddDot(3, 0, MakeColor(200, 200, 200));
  m.RenderOk();
  EXPECT_EQ(m.Pixel(10, 5), Rgb(128, 2, 0)) << "255 → 128, 3 → 2, 1 → 0";
  EXPECT_EQ(m.Pixel(20, 5), Rgb(153, 153, 153));
  EXPECT_EQ(m.Pixel(30, 5), Rgb(9, 8, 7)) << "at zmax the colour is the segment's own";
  EXPECT_LT(m.Pixel(25, 5) & 0xFF, 200u);

  // On white, far segments fade toward white.
  m.form.WhiteBack = true;
  m.form.Segments.clear();
  m.AddDot(0, 0, MakeColor(40, 40, 40));
  m.AddDot(1, 0, MakeColor(0, 0, 0));
  m.AddDot(2, 0, MakeColor(7, 8, 9));
  m.RenderOk();
  EXPECT_EQ(m.Pixel(10, 5), Rgb(148, 148, 148));
  EXPECT_EQ(m.Pixel(20, 5), Rgb(102, 102, 102));
  EXPECT_EQ(m.Pixel(30, 5), Rgb(9, 8, 7));
  EXPECT_EQ(m.Pixel(0, 0), kWhite);

  // With fade off every segment has its own colour on either background.
  m.form.Fade = false;
  m.RenderOk();
  EXPECT_EQ(m.Pixel(10, 5), Rgb(40, 40, 40));
  EXPECT_EQ(m.Pixel(20, 5), Rgb(0, 0, 0));
  m.form.WhiteBack = false;
  m.RenderOk();
  EXPECT_EQ(m.Pixel(10, 5), Rgb(40, 40, 40));
  EXPECT_EQ(m.Pixel(0, 0), kBlack);
}

TEST(FrameRenderer, FadeFactorAndChannelRounding) {
  EXPECT_EQ(FadeFactor(true, -1, -1, 1), 0.5f);
  EXPECT_EQ(FadeFactor(true, 0, -1, 1), 0.6f);
  EXPECT_EQ(FadeFactor(true, 1, -1, 1), 1.0f);
  EXPECT_EQ(FadeFactor(true, 2.0 / 3, -1, 1), 1.0f) << "5/6 of the range and beyond";
  EXPECT_EQ(FadeFactor(true, 3, 3, 3), 1.0f) << "an empty range gives full colour";
  EXPECT_EQ(FadeFactor(false, -1, -1, 1), 1.0f);
  EXPECT_EQ(FadeOnBlack(255, 0.5f), 128);
  EXPECT_EQ(FadeOnBlack(5, 0.5f), 2) << "2.5 rounds to even";
  EXPECT_EQ(FadeOnBlack(7, 0.5f), 4) << "3.5 rounds to even";
  EXPECT_EQ(FadeOnWhite(255, 0.5f), 255);
  EXPECT_EQ(FadeOnWhite(0, 1.0f - 0.6f), 102);
}

TEST(FrameRenderer, EqualDepthsDrawFullColour) {
  ModelFrame m(21, 21);
  m.AddPoint(-3, 0, 4);
  m.AddPoint(3, 0, 4);
  m.AddLine(0, 1, MakeColor(10, 20, 30));
  m.RenderOk();
  for (int x = 7; x < 13; ++x) EXPECT_EQ(m.Pixel(x, 10), Rgb(30, 20, 10)) << x;
  EXPECT_EQ(m.Pixel(13, 10), kBlack) << "the end pixel of a horizontal line is not drawn";
}

// ---------------------------------------------------------------- the depth sort

// The sort exactly as the program defines it, recursing plainly, as the reference.
void ReferenceSortAll(std::vector<SegmentRecord>& s) {
  if (s.size() > 1) reference::Quicksort(s.data(), 0, static_cast<int64_t>(s.size()) - 1);
}

std::vector<uint32_t> Identities(const std::vector<SegmentRecord>& s) {
  std::vector<uint32_t> ids;
  for (const SegmentRecord& r : s) ids.push_back(r.Colour);
  return ids;
}

TEST(FrameRenderer, SortsSegmentsInTheExactOrderOfTheProgramsQuicksort) {
  ModelFrame m(64, 64, 4);
  std::mt19937 rng(3);
  for (int i = 0; i < 40; ++i) m.AddPoint(rng() % 9, rng() % 9, static_cast<double>(rng() % 4));
  // Few distinct depths, so ties abound; each segment's colour is its identity.
  for (uint32_t id = 0; id < 500; ++id) {
    if (rng() % 3 == 0) {
      m.AddDot(static_cast<int32_t>(rng() % 40), 0, id);
    } else {
      m.AddLine(static_cast<int32_t>(rng() % 40), static_cast<int32_t>(rng() % 40), id);
    }
  }
  for (int frame = 0; frame < 3; ++frame) {
    // Each frame starts from the order the last one left, under a turned camera.
    m.form.RotateCam(static_cast<uint8_t>(frame % 2), 0.3 * frame);
    std::vector<SegmentRecord> expected = m.form.Segments;
    m.RenderOk();
    for (SegmentRecord& s : expected) {
      const double z1 = m.form.Points[s.First].View.z;
      s.Depth = s.Kind != 0 ? z1 : (z1 + m.form.Points[s.Second].View.z) * 0.5;
    }
    ReferenceSortAll(expected);
    ASSERT_EQ(Identities(m.form.Segments), Identities(expected)) << "frame " << frame;
    for (size_t k = 1; k < m.form.Segments.size(); ++k) {
      ASSERT_LE(m.form.Segments[k - 1].Depth, m.form.Segments[k].Depth);
    }
  }
}

TEST(FrameRenderer, SortOrderMatchesTheReferenceOnShapedInputs) {
  const auto shaped = [](int n, int kind) {
    std::vector<SegmentRecord> s(n);
    for (int k = 0; k < n; ++k) {
      double d = 0;
      switch (kind) {
        case 0:
          d = k;
          break;  // sorted
        case 1:
          d = n - k;
          break;  // reversed
        case 2:
          d = std::min(k, n - k);
          break;  // organ pipe
        case 3:
          d = k % 3;
          break;  // three values
        default:
          d = 7;
          break;  // all equal
      }
      s[k] = SegmentRecord{1, 0, static_cast<uint32_t>(k), 0, 0, d};
    }
    return s;
  };
  for (int n : {0, 1, 2, 3, 5, 16, 257}) {
    for (int kind = 0; kind < 5; ++kind) {
      std::vector<SegmentRecord> mine = shaped(n, kind), expected = shaped(n, kind);
      SortSegmentsByDepth(mine.data(), n);
      ReferenceSortAll(expected);
      EXPECT_EQ(Identities(mine), Identities(expected)) << n << " " << kind;
    }
  }
}

TEST(FrameRenderer, SortSurvivesAdversarialDepthsOnASmallStack) {
  constexpr int kCount = 20000;
  const std::vector<double> depths = AdversarialDepths(kCount);
  std::vector<SegmentRecord> expected(kCount), mine;
  for (int k = 0; k < kCount; ++k) {
    expected[k] = SegmentRecord{1, 0, static_cast<uint32_t>(k), 0, 0, depths[k]};
  }
  mine = expected;
  const int referenceDepth = reference::Quicksort(expected.data(), 0, kCount - 1);
  ASSERT_GT(referenceDepth, kCount / 4) << "the input is meant to drive the plain recursion deep";

  // 128 KiB would not hold thousands of frames of a plain recursion.
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 128 * 1024);
  pthread_t thread;
  const auto run = [](void* p) -> void* {
    auto* v = static_cast<std::vector<SegmentRecord>*>(p);
    SortSegmentsByDepth(v->data(), static_cast<int64_t>(v->size()));
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, &mine), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_EQ(Identities(mine), Identities(expected));
}

// ---------------------------------------------------------------- dots and circles

TEST(FrameRenderer, PointOfOnePixelRadiusIsADotAndJustAboveItACircle) {
  ModelFrame m(21, 21);
  m.AddPoint(0, 0, 0);
  m.AddDot(0, 1.0, MakeColor(0, 255, 0));
  m.RenderOk();
  EXPECT_EQ(m.CountNot(kBlack), 1);
  EXPECT_EQ(m.Pixel(10, 10), Rgb(0, 255, 0));

  m.form.Segments[0].Radius = 1.0000001;  // rounds to the float just above 1
  m.RenderOk();
  EXPECT_GT(m.CountNot(kBlack), 1);
  // The box is (9, 9, 11, 11); its right column and bottom row stay outside.
  for (int y = 0; y < 21; ++y) {
    for (int x = 0; x < 21; ++x) {
      if (m.Pixel(x, y) != kBlack) {
        EXPECT_TRUE(x >= 9 && x <= 10 && y >= 9 && y <= 10) << x << "," << y;
      }
    }
  }
}

TEST(FrameRenderer, CirclesOutlineOrFillTheirBoxWithoutRightColumnAndBottomRow) {
  for (const bool fill : {false, true}) {
    ModelFrame m(41, 41);
    m.form.FillCircles = fill;
    m.AddPoint(0, 0, 0);
    m.AddDot(0, 5, MakeColor(0, 0, 255));  // box (15, 15, 25, 25)
    m.RenderOk();
    int minX = 99, minY = 99, maxX = -1, maxY = -1;
    for (int y = 0; y < 41; ++y) {
      for (int x = 0; x < 41; ++x) {
        if (m.Pixel(x, y) == kBlack) continue;
        EXPECT_EQ(m.Pixel(x, y), Rgb(255, 0, 0));
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
      }
    }
    EXPECT_EQ(minX, 15);
    EXPECT_EQ(minY, 15);
    EXPECT_EQ(maxX, 24);
    EXPECT_EQ(maxY, 24);
    EXPECT_EQ(m.Pixel(20, 20), fill ? Rgb(255, 0, 0) : kBlack);
  }
}

TEST(FrameRenderer, CullsPointsByTheModelsLargestCircle) {
  // Centre 5 pixels left of the frame, within CircleRadius × Scale = 10: drawn, partly.
  ModelFrame m(41, 21);
  m.AddPoint(-25, 0, 0);
  m.AddDot(0, 10, MakeColor(255, 255, 255));
  m.RenderOk();
  EXPECT_GT(m.CountNot(kBlack), 0);
  for (int y = 0; y < 21; ++y) {
    for (int x = 5; x < 41; ++x) EXPECT_EQ(m.Pixel(x, y), kBlack);
  }
  // 11 pixels left: culled, although a radius larger than CircleRadius would reach in.
  ModelFrame culled(41, 21);
  culled.AddPoint(-31, 0, 0);
  culled.AddDot(0, 15, MakeColor(255, 255, 255));
  culled.form.CircleRadius = 10;
  culled.RenderOk();
  EXPECT_EQ(culled.CountNot(kBlack), 0);

  // A dot whose rounded position falls outside is not drawn, though it passed the cull test.
  ModelFrame edge(41, 21);
  edge.AddPoint(20.6, 0, 0);  // ScreenX 40.6 < 41, rounds to 41
  edge.AddDot(0, 0, MakeColor(255, 255, 255));
  edge.RenderOk();
  EXPECT_EQ(edge.CountNot(kBlack), 0);
}

TEST(FrameRenderer, LaterSegmentsCoverEarlierOnes) {
  ModelFrame m(21, 21);
  m.AddPoint(0, 0, 1);   // nearest
  m.AddPoint(0, 0, -1);  // farthest, same pixel
  m.AddDot(0, 0, MakeColor(0, 255, 0));
  m.AddDot(1, 0, MakeColor(0, 0, 255));
  m.RenderOk();
  EXPECT_EQ(m.Pixel(10, 10), Rgb(0, 255, 0));
  EXPECT_EQ(m.form.Segments[1].Colour, MakeColor(0, 255, 0)) << "nearest sorted last";
}

TEST(FrameRenderer, PainterFiguresAndDirectPixelsKeepPaintersOrder) {
  // Circles go through the toolkit's painter, dots and blended lines straight into the rows;
  // whichever is nearer must end up on top.
  for (const bool circleNear : {false, true}) {
    ModelFrame m(41, 41);
    m.form.FillCircles = true;
    m.AddPoint(0, 0, circleNear ? 1 : -1);     // circle centre, box (15, 15, 25, 25)
    m.AddPoint(0, 0, circleNear ? -1 : 1);     // dot at the centre pixel
    m.AddPoint(-15, -2, circleNear ? -1 : 1);  // a line across the circle: (5, 22)–(35, 22)
    m.AddPoint(15, -2, circleNear ? -1 : 1);
    m.form.Fade = false;
    m.AddDot(0, 5, MakeColor(0, 0, 255));
    m.AddDot(1, 0, MakeColor(0, 255, 0));
    m.AddLine(2, 3, MakeColor(255, 0, 0));
    m.RenderOk();
    EXPECT_EQ(m.Pixel(20, 20), circleNear ? Rgb(255, 0, 0) : Rgb(0, 255, 0)) << circleNear;
    EXPECT_EQ(m.Pixel(20, 22), circleNear ? Rgb(255, 0, 0) : Rgb(0, 0, 255)) << circleNear;
    EXPECT_EQ(m.Pixel(8, 22), Rgb(0, 0, 255)) << "the line outside the circle";
  }
}

// ---------------------------------------------------------------- lines, clipping, plain mode

// Every lit pixel lies within `tolerance` of the line through (x0, y0) with slope `slope`.
void ExpectNearLine(const ModelFrame& m, double x0, double y0, double slope, double tolerance) {
  for (int y = 0; y < m.form.FrameBitmap.height(); ++y) {
    for (int x = 0; x < m.form.FrameBitmap.width(); ++x) {
      if (m.Pixel(x, y) != kBlack) {
        EXPECT_LE(std::fabs(y - (y0 + (x - x0) * slope)), tolerance) << x << "," << y;
      }
    }
  }
}

TEST(FrameRenderer, LinesReachingFarOutsideAreClippedAndLinesBesideTheFrameSkipped) {
  for (const double far : {1e6, 1e12, 1e300}) {
    ModelFrame m(101, 61);
    m.AddPoint(-40, 20, 0);                  // screen (10, 10)
    m.AddPoint(-40 + 2 * far, 20 - far, 0);  // along slope 1/2, far to the right
    m.AddLine(0, 1, MakeColor(255, 255, 255));
    m.RenderOk();
    EXPECT_EQ(m.Pixel(10, 10), kWhite) << far;
    int lastColumn = 0;
    for (int y = 0; y < 61; ++y) lastColumn += m.Pixel(100, y) != kBlack;
    EXPECT_GT(lastColumn, 0) << far;
    ExpectNearLine(m, 10, 10, 0.5, 1.5);
  }
  ModelFrame beside(101, 61);
  beside.AddPoint(-55, 20, 0);  // screen x −5
  beside.AddPoint(-1e9, -20, 0);
  beside.AddLine(0, 1, MakeColor(255, 255, 255));
  beside.RenderOk();
  EXPECT_EQ(beside.CountNot(kBlack), 0);
}

TEST(FrameRenderer, HugeButFiniteScreenPositionsAreDrawnSafely) {
  ModelFrame m(31, 21, 1e200);
  m.AddPoint(-1, 0, 0);
  m.AddPoint(1, 0, 0);
  m.AddPoint(1, 1, 0);
  m.AddLine(0, 1, MakeColor(255, 255, 255));  // across the whole frame on row 10
  m.AddDot(2, 0, MakeColor(255, 0, 0));       // far outside
  m.RenderOk();
  for (int x = 0; x < 31; ++x) EXPECT_EQ(m.Pixel(x, 10), kWhite) << x;
  EXPECT_EQ(m.CountNot(kBlack), 31);
}

TEST(FrameRenderer, PlainModeDrawsOnePixelLinesWithoutTheEndPixel) {
  ModelFrame m(41, 21);
  m.form.AntiAlias = false;
  m.form.Fade = false;
  m.AddPoint(-15, 5, 0);                   // screen (5, 5)
  m.AddPoint(5, -2, 1);                    // screen (25, 12)
  m.AddLine(1, 0, MakeColor(30, 20, 10));  // drawn from (25, 12) toward (5, 5)
  m.AddPoint(10, 8, 0);                    // a dot at (30, 2)
  m.AddDot(2, 0, MakeColor(30, 20, 10));
  m.RenderOk();
  EXPECT_EQ(m.Pixel(25, 12), Rgb(10, 20, 30));
  EXPECT_EQ(m.Pixel(5, 5), kBlack);
  EXPECT_EQ(m.Pixel(30, 2), Rgb(10, 20, 30));
  EXPECT_EQ(m.CountNot(kBlack), 21);
  for (int y = 0; y < 21; ++y) {
    for (int x = 0; x < 41; ++x) {
      if (m.Pixel(x, y) != kBlack) {
        EXPECT_EQ(m.Pixel(x, y), Rgb(10, 20, 30));
      }
    }
  }
  // Back to anti-aliasing: the same frame storage, the row table still right.
  m.form.AntiAlias = true;
  m.RenderOk();
  EXPECT_EQ(m.Pixel(5, 5), Rgb(10, 20, 30)) << "the blended walk starts exactly on its pixel";
  EXPECT_EQ(m.form.ScanLines[0], m.form.FrameBitmap.constBits());
}

TEST(FrameRenderer, RebuildsTheRowTableWhenTheFrameStorageMoved) {
  ModelFrame m(21, 21);
  m.AddPoint(-5, 0, 0);
  m.AddPoint(5, 0, 0);
  m.AddLine(0, 1, MakeColor(255, 255, 255));
  m.RenderOk();
  const QImage kept = m.form.FrameBitmap;  // shares the storage: the next frame must detach
  m.form.Segments[0].Colour = MakeColor(0, 0, 255);
  m.RenderOk();
  EXPECT_EQ(m.Pixel(5, 10), Rgb(255, 0, 0));
  EXPECT_EQ(kept.pixel(5, 10), kWhite) << "the copy keeps the old frame";
  EXPECT_NE(m.form.FrameBitmap.constBits(), kept.constBits());
  EXPECT_EQ(m.form.ScanLines[0], m.form.FrameBitmap.constBits());
  EXPECT_EQ(m.form.ScanLines[20], m.form.FrameBitmap.constScanLine(20));
}

// ---------------------------------------------------------------- choices and failures

TEST(FrameRenderer, NoPointsGiveTheBackgroundOnly) {
  ModelFrame m(21, 21);
  m.form.WhiteBack = true;
  m.AddLine(0, 1, MakeColor(0, 0, 0));  // names points that do not exist
  m.AddDot(0, 0, MakeColor(0, 0, 0));
  m.RenderOk();
  EXPECT_EQ(m.CountNot(kWhite), 0);
}

TEST(FrameRenderer, SegmentsNamingMissingPointsAreSkippedAndKeepTheirDepth) {
  ModelFrame m(21, 21);
  m.AddPoint(-5, 0, 0);
  m.AddPoint(5, 0, 0);
  m.AddLine(0, 5, 1);
  m.AddLine(-1, 0, 2);
  m.AddDot(7, 0, 3);
  m.AddLine(1, INT32_MIN, 4);
  m.AddLine(0, 1, MakeColor(255, 255, 255));
  for (SegmentRecord& s : m.form.Segments) s.Depth = 42;
  m.RenderOk();
  for (uint32_t id = 1; id <= 4; ++id) EXPECT_EQ(m.ByColour(id).Depth, 42.0) << id;
  EXPECT_EQ(m.ByColour(MakeColor(255, 255, 255)).Depth, 0.0);
  EXPECT_EQ(m.CountNot(kBlack), 10);
}

TEST(FrameRenderer, AnEmptyFrameIsProjectedAndSortedButNotDrawn) {
  FormFixture f;
  f.form.NewView();
  f.form.Scale = 1;
  f.form.Points.push_back(PointRecord{Vec3{1, 2, 3}, {}, 0, 0});
  f.form.Points.push_back(PointRecord{Vec3{0, 0, -3}, {}, 0, 0});
  f.form.PointCount = 2;
  f.form.Segments = {SegmentRecord{1, 0, 1, 0, 0, 0}, SegmentRecord{1, 0, 2, 1, 0, 0}};
  f.form.SegmentCount = 2;
  f.form.Render();  // the frame has no pixels yet
  EXPECT_TRUE(f.controls.Messages.empty());
  EXPECT_EQ(f.form.Segments[0].Colour, 2u);
  EXPECT_EQ(f.form.Points[0].ScreenX, 1.0);
}

TEST(FrameRenderer, OverflowAndInvalidValuesFailTheFrame) {
  {
    ModelFrame m(21, 21, 1e300);
    m.AddPoint(1e10, 0, 0);  // screen x overflows
    m.AddDot(0, 0, 1);
    m.RenderFails();
    EXPECT_EQ(m.controls.MessageDetails, std::vector<std::string>{"Floating point overflow"});
  }
  {
    ModelFrame m(21, 21);
    m.AddPoint(0, 0, 1e39);  // beyond the 32-bit float range of zmax
    m.AddDot(0, 0, 1);
    m.RenderFails();
  }
  {
    ModelFrame m(21, 21);
    m.AddPoint(0, 0, 0);
    m.AddPoint(std::nan(""), 0, 0);
    m.AddLine(0, 1, 1);
    m.RenderFails();
  }
  {
    ModelFrame m(21, 21, 1e30);
    m.AddPoint(0, 0, 0);
    m.AddDot(0, 1e10, 1);  // cull radius beyond the float range
    m.RenderFails();
  }
}

}  // namespace
