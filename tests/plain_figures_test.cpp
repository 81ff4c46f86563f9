// The plain figures the renderer draws itself, held to the toolkit's painter pixel for pixel on
// many random lines and ellipses (inside the frame, across its edges, far beyond it), on any
// background, and drawn band by band as the threads draw them.
#include "render/plain_figures.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/toolkit_drawing.h"

namespace {

// An image with its row table, filled with noise so that every pixel a figure leaves alone is
// seen to be left alone.
struct Canvas {
  Canvas(int w, int h, uint64_t seed) : image(w, h, QImage::Format_RGB32) {
    std::mt19937_64 rng(seed);
    for (int y = 0; y < h; ++y) {
      rows.push_back(image.scanLine(y));
      for (int x = 0; x < w; ++x) image.setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFFu));
    }
  }
  FramePixels Pixels() { return FramePixels{rows.data(), image.width(), image.height()}; }
  QImage image;
  std::vector<uint8_t*> rows;
};

bool Same(const QImage& a, const QImage& b) {
  for (int y = 0; y < a.height(); ++y) {
    if (std::memcmp(a.constScanLine(y), b.constScanLine(y), 4 * static_cast<size_t>(a.width()))) {
      return false;
    }
  }
  return true;
}

// The frame cut into bands of random heights, drawn one after another in a random order.
template <class Draw>
void InRandomBands(int height, std::mt19937_64& rng, const Draw& draw) {
  std::vector<RowBand> bands;
  for (int top = 0; top < height;) {
    const int bottom = std::min(height, top + 1 + static_cast<int>(rng() % 9));
    bands.push_back(RowBand{top, bottom});
    top = bottom;
  }
  std::shuffle(bands.begin(), bands.end(), rng);
  for (const RowBand& band : bands) draw(band);
}

const int kSizes[][2] = {{23, 17}, {1, 1}, {2, 9}, {64, 3}, {3, 64}, {301, 203}};

TEST(PlainFigures, LinesAreTheToolkitsLines) {
  std::mt19937_64 rng(17);
  for (const auto& size : kSizes) {
    const int w = size[0], h = size[1];
    Canvas ours(w, h, 1), toolkit(w, h, 1), banded(w, h, 1);
    QPainter painter(&toolkit.image);
    const auto coordinate = [&](int extent) -> int32_t {
      switch (rng() % 10) {
        case 0:  // as far as the renderer ever hands a line (2^24 beyond the frame)
          return static_cast<int32_t>(rng() % 33554433) - 16777216;
        case 1:
          return static_cast<int32_t>(rng() % 4001) - 2000;
        case 2:  // on and around the edges
          return rng() % 2 ? static_cast<int32_t>(rng() % 5) - 2
                           : extent + static_cast<int32_t>(rng() % 5) - 2;
        default:
          return static_cast<int32_t>(rng() % (extent + 40)) - 20;
      }
    };
    const int lines = w * h > 10000 ? 3000 : 6000;
    for (int i = 0; i < lines; ++i) {
      int32_t x1 = coordinate(w), y1 = coordinate(h), x2 = coordinate(w), y2 = coordinate(h);
      if (i % 7 == 0) y2 = y1 + (x2 - x1) * (rng() % 2 ? 1 : -1);  // diagonals
      if (i % 11 == 0) x2 = x1;                                    // vertical
      if (i % 13 == 0) y2 = y1;                                    // horizontal
      if (i % 5 == 0) {  // ends at most a pixel apart, as a dense curve's are
        x2 = x1 + static_cast<int32_t>(rng() % 3) - 1;
        y2 = y1 + static_cast<int32_t>(rng() % 3) - 1;
      }
      const uint32_t pixel = 0xFF000000u | static_cast<uint32_t>(rng() & 0xFFFFFFu);
      painter.setPen(PlainPen(QColor(pixel)));
      DrawPlainLine(painter, toolkit.Pixels(), x1, y1, x2, y2, pixel);
      DrawPlainLinePixels(ours.Pixels(), RowBand{0, h}, x1, y1, x2, y2, pixel);
      InRandomBands(h, rng, [&](RowBand band) {
        DrawPlainLinePixels(banded.Pixels(), band, x1, y1, x2, y2, pixel);
      });
      const std::string line = std::to_string(w) + "x" + std::to_string(h) + ": (" +
                               std::to_string(x1) + "," + std::to_string(y1) + ")-(" +
                               std::to_string(x2) + "," + std::to_string(y2) + ")";
      ASSERT_TRUE(Same(ours.image, toolkit.image)) << line;
      ASSERT_TRUE(Same(banded.image, toolkit.image)) << line << " in bands";
    }
  }
}

TEST(PlainFigures, EllipsesAreTheToolkitsEllipses) {
  std::mt19937_64 rng(23);
  for (const auto& size : kSizes) {
    const int w = size[0], h = size[1];
    for (const bool filled : {false, true}) {
      Canvas ours(w, h, 2), toolkit(w, h, 2), banded(w, h, 2);
      QPainter painter(&toolkit.image);
      for (int i = 0; i < 3000; ++i) {
        // Boxes at least 2 pixels wide and high (a circle of a radius above one pixel), mostly
        // small, some across the edges, a few reaching as far as the toolkit draws them.
        int32_t left = static_cast<int32_t>(rng() % (w + 60)) - 30;
        int32_t top = static_cast<int32_t>(rng() % (h + 60)) - 30;
        int32_t across = 2 + static_cast<int32_t>(rng() % (i % 5 == 0 ? 300 : 40));
        int32_t down = i % 3 == 0 ? across : 2 + static_cast<int32_t>(rng() % 40);
        if (i % 97 == 0) {
          across = static_cast<int32_t>(rng() % kEllipseCoordinateLimit) + 2;
          down = across;
          left = w / 2 - across / 2;
          top = h / 2 - down / 2;
        }
        const int32_t right = left + across, bottom = top + down;
        const uint32_t pixel = 0xFF000000u | static_cast<uint32_t>(rng() & 0xFFFFFFu);
        painter.setPen(PlainPen(QColor(pixel)));
        if (filled) {
          painter.setBrush(QColor(pixel));
        } else {
          painter.setBrush(Qt::NoBrush);
        }
        DrawEllipseInBox(painter, left, top, right, bottom);
        DrawEllipsePixels(ours.Pixels(), RowBand{0, h}, left, top, right, bottom, pixel, filled);
        InRandomBands(h, rng, [&](RowBand band) {
          DrawEllipsePixels(banded.Pixels(), band, left, top, right, bottom, pixel, filled);
        });
        const std::string box = std::to_string(w) + "x" + std::to_string(h) +
                                (filled ? " filled (" : " (") + std::to_string(left) + "," +
                                std::to_string(top) + ")-(" + std::to_string(right) + "," +
                                std::to_string(bottom) + ")";
        ASSERT_TRUE(Same(ours.image, toolkit.image)) << box;
        ASSERT_TRUE(Same(banded.image, toolkit.image)) << box << " in bands";
      }
    }
  }
}

}  // namespace
