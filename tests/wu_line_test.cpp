// Anti-aliased lines, pixel for pixel: the fixed-point walk, the blend, every clipping rule, and
// the plain path for horizontal, vertical and zero-length lines.
#include <gtest/gtest.h>

#include <QPainter>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "render/frame_pixels.h"
#include "support/toolkit_drawing.h"
#include "test_support.h"

namespace {

constexpr uint32_t kBlack = 0xFF000000u;

// A form whose frame is width × height pixels, black, with its row table built.
struct LineFrame : FormFixture {
  LineFrame(int width, int height) {
    form.FormResize(width + FrameWidthAllowance, height + FrameHeightAllowance);
  }
  uint8_t Byte(int x, int y, int channel) const {
    return form.FrameBitmap.constScanLine(y)[4 * x + channel];
  }
  uint8_t Red(int x, int y) const { return Byte(x, y, 2); }
  uint32_t Pixel(int x, int y) const { return form.FrameBitmap.pixel(x, y); }
  void Fill(uint32_t pixel) { form.FrameBitmap.fill(pixel); }
};

bool SamePixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return false;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) != b.pixel(x, y)) return false;
    }
  }
  return true;
}

TEST(WuLine, ShallowLineBlendsTheTwoPixelsAroundTheIdealLine) {
  // (0, 0)–(3, 1): step 682; the red bytes of both rows, green and blue untouched.
  LineFrame f(4, 2);
  f.form.WuLine(0, 0, 3, 1, 255, 0, 0);
  const uint8_t row0[4] = {255, 226, 141, 0};
  const uint8_t row1[4] = {0, 140, 225, 254};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(f.Red(x, 0), row0[x]) << x;
    EXPECT_EQ(f.Red(x, 1), row1[x]) << x;
    for (int y = 0; y < 2; ++y) {
      EXPECT_EQ(f.Byte(x, y, 0), 0);
      EXPECT_EQ(f.Byte(x, y, 1), 0);
      EXPECT_EQ(f.Byte(x, y, 3), 0xFF) << "the fourth byte is never touched";
    }
  }
  // The same line drawn from its other end gives the same pixels.
  LineFrame g(4, 2);
  g.form.WuLine(3, 1, 0, 0, 255, 0, 0);
  EXPECT_TRUE(SamePixels(f.form.FrameBitmap, g.form.FrameBitmap));
}

TEST(WuLine, HalfFractionBlendsTruncateEachTermSeparately) {
  // (0, 0)–(2, 1): step 1024, so at x = 1 the line passes exactly between rows 0 and 1.
  struct Case {
    uint8_t line;
    uint32_t background;
    uint8_t expected;
  };
  for (const Case c :
       {Case{255, 0xFF000000u, 190}, Case{0, 0xFFFFFFFFu, 63}, Case{255, 0xFFFFFFFFu, 254}}) {
    LineFrame f(3, 2);
    f.Fill(c.background);
    f.form.WuLine(0, 0, 2, 1, c.line, c.line, c.line);
    for (int channel = 0; channel < 3; ++channel) {
      EXPECT_EQ(f.Byte(1, 0, channel), c.expected) << int{c.line};
      EXPECT_EQ(f.Byte(1, 1, channel), c.expected) << int{c.line};
    }
    EXPECT_EQ(f.Byte(1, 0, 3), 0xFF);
  }
}

TEST(WuLine, DiagonalTakesTheSteepPathAndNeedsRoomForTheFarPixel) {
  const uint32_t pattern = 0xFF112233u;
  LineFrame f(6, 6);
  f.Fill(pattern);
  f.form.WuLine(0, 0, 4, 4, 10, 20, 30);
  for (int i = 0; i <= 4; ++i) {
    EXPECT_EQ(f.Pixel(i, i), 0xFF0A141Eu) << i;
    EXPECT_EQ(f.Pixel(i + 1, i), pattern) << "far pixel read and written back unchanged";
  }
  EXPECT_EQ(f.Pixel(5, 5), pattern) << "the walk ends at the end point";

  // Five pixels wide: the last step's right-hand neighbour would be outside, so (4, 4) stays.
  LineFrame narrow(5, 5);
  narrow.Fill(pattern);
  narrow.form.WuLine(0, 0, 4, 4, 10, 20, 30);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(narrow.Pixel(i, i), 0xFF0A141Eu) << i;
  EXPECT_EQ(narrow.Pixel(4, 4), pattern);
}

TEST(WuLine, LastRowAndLastColumnGetNoPairStartedOnThem) {
  // Shallow, near row H − 1 at every step: nothing at all.
  LineFrame shallow(5, 3);
  shallow.form.WuLine(0, 2, 4, 3, 255, 255, 255);
  // Steep, near column W − 1 at every step.
  LineFrame steep(3, 5);
  steep.form.WuLine(2, 0, 3, 4, 255, 255, 255);
  for (const LineFrame* f : {&shallow, &steep}) {
    for (int y = 0; y < f->form.FrameBitmap.height(); ++y) {
      for (int x = 0; x < f->form.FrameBitmap.width(); ++x) EXPECT_EQ(f->Pixel(x, y), kBlack);
    }
  }
  // One row higher the same shallow line draws its first steps into rows 1 and 2.
  LineFrame higher(5, 3);
  higher.form.WuLine(0, 1, 4, 2, 255, 255, 255);
  EXPECT_EQ(higher.Pixel(0, 1), 0xFFFFFFFFu);
  EXPECT_EQ(higher.Pixel(0, 2), kBlack);
}

TEST(WuLine, LinesOutsideTheFrameDrawNothing) {
  struct Line {
    int x1, y1, x2, y2;
  };
  const Line lines[] = {
      {20, 1, 40, 3},    // shallow, wholly right: ends at once
      {1, 20, 3, 40},    // steep, wholly below
      {-5, -9, 7, -3},   // shallow, above: walked, nothing drawn
      {-5, 12, 7, 18},   // shallow, below
      {-9, -5, -3, 7},   // steep, left
      {12, -5, 18, 7},   // steep, right
      {-40, 3, -20, 4},  // shallow, wholly left
  };
  for (const Line& l : lines) {
    LineFrame f(10, 10);
    f.form.WuLine(l.x1, l.y1, l.x2, l.y2, 255, 255, 255);
    for (int y = 0; y < 10; ++y) {
      for (int x = 0; x < 10; ++x) ASSERT_EQ(f.Pixel(x, y), kBlack) << l.x1 << "," << l.y1;
    }
  }
}

TEST(WuLine, ClippedLinesDrawExactlyWhereTheWholeLineWould) {
  // A frame whose left and top edges are cut off must show the lower-right part of a larger
  // frame holding the whole line: skipped steps only advance the position. The one difference
  // allowed is the far pixel of a pair whose near pixel lies just outside the left edge (or top
  // edge): the cut frame does not draw that step at all, so its column 0 (row 0) keeps the
  // background there.
  constexpr int kW = 23, kH = 17, kCut = 40;
  constexpr uint32_t kBackground = 0xFF405060u;
  std::mt19937 rng(7);
  const auto coord = [&](int size) { return static_cast<int>(rng() % (size + 80)) - kCut; };
  int edgeSkips = 0;
  for (int i = 0; i < 2000; ++i) {
    const int x1 = coord(kW), y1 = coord(kH), x2 = coord(kW), y2 = coord(kH);
    const uint8_t r = rng() % 256, g = rng() % 256, b = rng() % 256;
    LineFrame part(kW, kH);
    LineFrame whole(kW + kCut, kH + kCut);
    part.Fill(kBackground);
    whole.Fill(kBackground);
    part.form.WuLine(x1, y1, x2, y2, r, g, b);
    whole.form.WuLine(x1 + kCut, y1 + kCut, x2 + kCut, y2 + kCut, r, g, b);
    const bool steep = std::abs(y2 - y1) >= std::abs(x2 - x1);
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const uint32_t mine = part.Pixel(x, y), full = whole.Pixel(x + kCut, y + kCut);
        if (mine == full) continue;
        const bool farOfOutsideNear = (steep ? x : y) == 0 && mine == kBackground;
        ASSERT_TRUE(farOfOutsideNear)
            << "(" << x1 << "," << y1 << ")-(" << x2 << "," << y2 << ") at " << x << "," << y;
        ++edgeSkips;
      }
    }
  }
  EXPECT_GT(edgeSkips, 0) << "the edge rule was exercised";
}

TEST(WuLine, EndsBeyondTwoToTheTwentiethStayOnTheSameLine) {
  // Past 2^20 the fixed point is carried in 64 bits: a line of the same slope through the same
  // pixels draws the same pixels, however far away its ends are.
  LineFrame near45(7, 7), far45(7, 7);
  near45.form.WuLine(0, 0, 4, 4, 200, 100, 50);
  far45.form.WuLine(-(1 << 22), -(1 << 22), 4, 4, 200, 100, 50);
  EXPECT_TRUE(SamePixels(near45.form.FrameBitmap, far45.form.FrameBitmap));

  LineFrame nearHalf(6, 4), farHalf(6, 4);
  nearHalf.form.WuLine(0, 0, 8, 4, 255, 255, 255);  // slope 1/2: step 1024
  farHalf.form.WuLine(-(1 << 21), -(1 << 20), 1 << 21, 1 << 20, 255, 255, 255);
  EXPECT_TRUE(SamePixels(nearHalf.form.FrameBitmap, farHalf.form.FrameBitmap));
  EXPECT_EQ(farHalf.Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(farHalf.Pixel(1, 0), 0xFFBEBEBEu);  // f = 1024: 190
}

TEST(WuLine, NeverWritesOutsideTheFrameWhateverTheEnds) {
  // The row table points into a larger buffer with a guard band around the frame; wild lines,
  // up to the 32-bit limits, must leave the band as it was.
  constexpr int kW = 9, kH = 7, kBand = 16;
  constexpr int kStride = kW + 2 * kBand;
  LineFrame f(kW, kH);
  std::vector<uint32_t> buffer(static_cast<size_t>(kStride) * (kH + 2 * kBand), 0xA5A5A5A5u);
  for (int y = 0; y < kH; ++y) {
    f.form.ScanLines[y] = reinterpret_cast<uint8_t*>(&buffer[(y + kBand) * kStride + kBand]);
  }
  const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -(1 << 20),    -1,       0, 3, kW - 1, kW,
                              kH,        (1 << 20),     INT32_MAX - 1, INT32_MAX};
  std::mt19937 rng(11);
  const auto pick = [&]() -> int32_t {
    if (rng() % 2) return extremes[rng() % std::size(extremes)];
    return static_cast<int32_t>(rng() % 40) - 15;
  };
  for (int i = 0; i < 20000; ++i) f.form.WuLine(pick(), pick(), pick(), pick(), 1, 2, 3);
  for (int y = 0; y < kH + 2 * kBand; ++y) {
    for (int x = 0; x < kStride; ++x) {
      const bool inFrame = x >= kBand && x < kBand + kW && y >= kBand && y < kBand + kH;
      if (!inFrame) {
        ASSERT_EQ(buffer[y * kStride + x], 0xA5A5A5A5u) << x << "," << y;
      }
    }
  }
}

TEST(WuLine, HorizontalAndVerticalLinesAreSolidWithoutTheirEndPixel) {
  const uint32_t colour = 0xFF0A141Eu;  // red 10, green 20, blue 30
  LineFrame f(8, 8);
  f.Fill(0xFF777777u);
  f.form.WuLine(2, 5, 6, 5, 10, 20, 30);
  for (int x = 2; x <= 5; ++x) EXPECT_EQ(f.Pixel(x, 5), colour) << "overwritten, not blended";
  EXPECT_EQ(f.Pixel(6, 5), 0xFF777777u);
  EXPECT_EQ(f.Pixel(1, 5), 0xFF777777u);

  LineFrame back(8, 8);
  back.form.WuLine(6, 5, 2, 5, 10, 20, 30);
  for (int x = 3; x <= 6; ++x) EXPECT_EQ(back.Pixel(x, 5), colour);
  EXPECT_EQ(back.Pixel(2, 5), kBlack);

  LineFrame up(8, 8);
  up.form.WuLine(3, 7, 3, 1, 10, 20, 30);
  for (int y = 2; y <= 7; ++y) EXPECT_EQ(up.Pixel(3, y), colour);
  EXPECT_EQ(up.Pixel(3, 1), kBlack);

  LineFrame dot(8, 8);
  dot.form.WuLine(4, 4, 4, 4, 255, 255, 255);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) EXPECT_EQ(dot.Pixel(x, y), kBlack) << "zero length draws nothing";
  }
}

TEST(WuLine, AxisLinesMatchTheToolkitsOnePixelLine) {
  // The pixels the toolkit's flat-ended 1-pixel pen gives for the same rule (start drawn, end
  // not): forward as given; backward as the forward line one pixel further along, which for a
  // horizontal or vertical line covers exactly the pixels after the end up to the start.
  constexpr int kW = 13, kH = 11;
  std::mt19937 rng(5);
  for (int i = 0; i < 3000; ++i) {
    const int a = static_cast<int>(rng() % 31) - 9, b = static_cast<int>(rng() % 31) - 9;
    const int fixed = static_cast<int>(rng() % 15) - 2;
    const bool horizontal = rng() % 2;
    const int x1 = horizontal ? a : fixed, x2 = horizontal ? b : fixed;
    const int y1 = horizontal ? fixed : a, y2 = horizontal ? fixed : b;
    const uint8_t r = rng() % 256, g = rng() % 256, bl = rng() % 256;

    LineFrame mine(kW, kH);
    mine.Fill(0xFF302010u);
    mine.form.WuLine(x1, y1, x2, y2, r, g, bl);

    QImage expected(kW, kH, QImage::Format_RGB32);
    expected.fill(0xFF302010u);
    {
      QPainter p(&expected);
      p.setPen(QPen(QBrush(QColor(r, g, bl)), 1, Qt::SolidLine, Qt::FlatCap));
      if (x1 != x2 || y1 != y2) {  // the toolkit would draw a zero-length line as a dot
        const bool forward = horizontal ? x1 < x2 : y1 < y2;
        const int sx = horizontal && !forward ? 1 : 0, sy = !horizontal && !forward ? 1 : 0;
        if (forward) {
          p.drawLine(QPoint(x1, y1), QPoint(x2, y2));
        } else {
          p.drawLine(QPoint(x2 + sx, y2 + sy), QPoint(x1 + sx, y1 + sy));
        }
      }
    }
    ASSERT_TRUE(SamePixels(mine.form.FrameBitmap, expected))
        << "(" << x1 << "," << y1 << ")-(" << x2 << "," << y2 << ")";

    // And the renderer's own plain line through the painter gives the same pixels.
    QImage plain(kW, kH, QImage::Format_RGB32);
    plain.fill(0xFF302010u);
    std::vector<uint8_t*> rows(kH);
    for (int y = 0; y < kH; ++y) rows[y] = plain.scanLine(y);
    {
      QPainter p(&plain);
      p.setPen(PlainPen(QColor(r, g, bl)));
      DrawPlainLine(p, FramePixels{rows.data(), kW, kH}, x1, y1, x2, y2,
                    0xFF000000u | (uint32_t{r} << 16) | (uint32_t{g} << 8) | bl);
    }
    ASSERT_TRUE(SamePixels(plain, expected));
  }
}

}  // namespace
