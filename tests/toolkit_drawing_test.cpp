// The figures left to the toolkit's painter: the plain line's start and end pixels, and the
// ellipse's box.
#include <gtest/gtest.h>

#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "render/frame_pixels.h"
#include "support/toolkit_drawing.h"

namespace {

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kRed = 0xFFFF0000u;

struct Canvas {
  explicit Canvas(int size) : image(size, size, QImage::Format_RGB32), rows(size) {
    image.fill(kBlack);
    for (int y = 0; y < size; ++y) rows[y] = image.scanLine(y);
  }
  FramePixels Pixels() { return FramePixels{rows.data(), image.width(), image.height()}; }
  void Line(int x1, int y1, int x2, int y2) {
    QPainter p(&image);
    p.setPen(PlainPen(QColor(kRed)));
    DrawPlainLine(p, Pixels(), x1, y1, x2, y2, kRed);
  }
  QImage image;
  std::vector<uint8_t*> rows;
};

TEST(PlainLine, DrawsTheStartPixelAndOnePixelPerStepButNotTheEnd) {
  constexpr int kSize = 40;
  std::mt19937 rng(1);
  for (int i = 0; i < 4000; ++i) {
    const int x1 = rng() % kSize, y1 = rng() % kSize;
    int x2 = rng() % kSize, y2 = rng() % kSize;
    if (i % 4 == 0) y2 = y1 + (x2 - x1) * (rng() % 2 ? 1 : -1);  // diagonals too
    if (y2 < 0 || y2 >= kSize) continue;
    Canvas forward(kSize), backward(kSize);
    forward.Line(x1, y1, x2, y2);
    backward.Line(x2, y2, x1, y1);
    const int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
    std::vector<int> perStep(kSize, 0);
    int lit = 0;
    for (int y = 0; y < kSize; ++y) {
      for (int x = 0; x < kSize; ++x) {
        const uint32_t p = forward.image.pixel(x, y);
        if (p == kBlack) continue;
        ASSERT_EQ(p, kRed);
        ++lit;
        ++perStep[dx >= dy ? x : y];
        // Both directions cover the same pixels between the two ends.
        const bool end = (x == x1 && y == y1) || (x == x2 && y == y2);
        if (!end) {
          ASSERT_EQ(backward.image.pixel(x, y), kRed) << x << "," << y;
        }
      }
    }
    char line[64];
    std::snprintf(line, sizeof line, "(%d,%d)-(%d,%d)", x1, y1, x2, y2);
    ASSERT_EQ(lit, std::max(dx, dy)) << line;
    for (int n : perStep) ASSERT_LE(n, 1) << line;
    if (lit > 0) {
      ASSERT_EQ(forward.image.pixel(x1, y1), kRed) << line;
      ASSERT_EQ(forward.image.pixel(x2, y2), kBlack) << line;
      ASSERT_EQ(backward.image.pixel(x2, y2), kRed) << line;
      ASSERT_EQ(backward.image.pixel(x1, y1), kBlack) << line;
    }
  }
}

TEST(PlainLine, ClippedBackwardLinesKeepTheRule) {
  Canvas c(10);
  c.Line(15, 4, 2, 4);  // starts right of the canvas
  for (int x = 3; x < 10; ++x) EXPECT_EQ(c.image.pixel(x, 4), kRed) << x;
  EXPECT_EQ(c.image.pixel(2, 4), kBlack);
  Canvas d(10);
  d.Line(6, 3, -20, -1);  // ends left of it
  EXPECT_EQ(d.image.pixel(6, 3), kRed);
  EXPECT_EQ(d.image.pixel(0, 0), kBlack);
}

TEST(Ellipse, BoxesBeyondTheToolkitsReachAreNotDrawn) {
  for (const int reach : {kEllipseCoordinateLimit, kEllipseCoordinateLimit + 1}) {
    Canvas c(20);
    {
      QPainter p(&c.image);
      p.setPen(PlainPen(QColor(kRed)));
      p.setBrush(QColor(kRed));
      // A huge filled circle whose right edge runs down the middle of the canvas.
      DrawEllipseInBox(p, -reach, -reach / 2, 11, reach / 2);
    }
    const bool drawn = reach <= kEllipseCoordinateLimit;
    EXPECT_EQ(c.image.pixel(2, 10), drawn ? kRed : kBlack) << reach;
    EXPECT_EQ(c.image.pixel(15, 10), kBlack) << "never flooded past the edge";
  }
}

}  // namespace
