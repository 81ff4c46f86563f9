// Anti-aliased lines: an 11-bit fixed-point walk along the major axis that blends the two
// pixels straddling the ideal line with an opacity of 1 − d², straight into the frame's rows.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "render/colour_codes.h"
#include "scene/scene_model.h"

namespace {

constexpr int kFractionBits = 11;
constexpr int64_t kOne = int64_t{1} << kFractionBits;  // one pixel in fixed point
constexpr int64_t kFractionMask = kOne - 1;

// Line components in the pixel's byte order: blue, green, red.
struct LineColour {
  uint32_t k[3];
};

// Blends the near and the far pixel of one step. The two terms of each channel are truncated
// separately before they are added, so f = 1024 over equal colours loses one step (255 → 254);
// that is the picture users know, so it stays. Byte 3 is neither read nor written.
inline void BlendPair(uint8_t* nearPixel, uint8_t* farPixel, uint32_t f, const LineColour& c) {
  const uint32_t w = static_cast<uint32_t>(kOne) - f;
  for (int i = 0; i < 3; ++i) {
    const uint32_t k = c.k[i];
    const uint32_t kfw = k * f * w;  // < 2^28, and every sum below stays under 2^31
    nearPixel[i] = static_cast<uint8_t>(((kfw + nearPixel[i] * f * f) >> 22) + ((k * w) >> 11));
    farPixel[i] = static_cast<uint8_t>(((kfw + farPixel[i] * w * w) >> 22) + ((k * f) >> 11));
  }
}

// The walk in fixed point is held in 64 bits. Up to 2^20 in every coordinate and difference
// this gives exactly the values a 32-bit walk gives; beyond that it simply goes on being the
// same line instead of wrapping, so far-off ends neither misplace the visible part nor overflow.
// Positions before the first visible major coordinate are skipped in one step; they draw nothing
// and only advance the minor position, so the pixels are those of the full walk.
struct Walk {
  int64_t start;  // first major coordinate
  int64_t end;    // last major coordinate, inclusive
  int64_t minor;  // minor coordinate at `start`, fixed point
  int64_t step;   // minor advance per major step, fixed point
};

// Clips the walk to the major range [0, majorSize − 1]. False when nothing is left.
bool ClipWalk(Walk& walk, int64_t majorSize) {
  const int64_t last = std::min(walk.end, majorSize - 1);
  if (last < walk.start) return false;
  if (walk.start < 0) {
    walk.minor += walk.step * -walk.start;  // |step × skipped| ≤ 2^11 × |minor difference|
    walk.start = 0;
  }
  walk.end = last;
  return walk.start <= walk.end;
}

// The walk from the end with the smaller major coordinate to the other one.
Walk MakeWalk(int64_t majorA, int64_t minorA, int64_t majorB, int64_t minorB) {
  if (majorB < majorA) {
    std::swap(majorA, majorB);
    std::swap(minorA, minorB);
  }
  const int64_t majorSpan = majorB - majorA;  // > 0 on both blended paths
  const int64_t minorSpan = minorB - minorA;
  // Truncating division of the magnitude, the sign following the minor direction.
  const int64_t magnitude = (std::abs(minorSpan) * kOne) / majorSpan;
  return Walk{majorA, majorB, minorA * kOne, minorSpan < 0 ? -magnitude : magnitude};
}

// The toolkit's plain line for horizontal, vertical and zero-length lines: the pixels from the
// start toward the end, the start included and the end not, overwritten with the opaque colour
// exactly as the toolkit's 1-pixel pen writes them (tests compare the two pixel for pixel).
// Writing them here keeps the anti-aliased frame free of any toolkit painter.
void AxisLine(uint8_t* const* rows, int64_t width, int64_t height, int64_t x1, int64_t y1,
              int64_t x2, int64_t y2, uint32_t pixel) {
  if (x1 == x2 && y1 == y2) return;
  if (y1 == y2) {
    if (y1 < 0 || y1 >= height) return;
    const int64_t from = std::max<int64_t>(x1 < x2 ? x1 : x2 + 1, 0);
    const int64_t to = std::min<int64_t>(x1 < x2 ? x2 - 1 : x1, width - 1);
    auto* row = reinterpret_cast<uint32_t*>(rows[y1]);
    for (int64_t x = from; x <= to; ++x) row[x] = pixel;
  } else {
    if (x1 < 0 || x1 >= width) return;
    const int64_t from = std::max<int64_t>(y1 < y2 ? y1 : y2 + 1, 0);
    const int64_t to = std::min<int64_t>(y1 < y2 ? y2 - 1 : y1, height - 1);
    for (int64_t y = from; y <= to; ++y) reinterpret_cast<uint32_t*>(rows[y])[x1] = pixel;
  }
}

}  // namespace

void TForm1::WuLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t r, uint8_t g,
                    uint8_t b) {
  const int64_t width = FrameBitmap.width();
  const int64_t height = FrameBitmap.height();
  uint8_t* const* rows = ScanLines.data();
  const int64_t dx = std::abs(int64_t{x2} - x1);
  const int64_t dy = std::abs(int64_t{y2} - y1);

  if (dx == 0 || dy == 0) {
    AxisLine(rows, width, height, x1, y1, x2, y2, 0xFF000000u | MakeColor(b, g, r));
    return;
  }

  const LineColour colour{{b, g, r}};
  if (dy < dx) {
    // Shallow: x is the major axis; pixel pairs are stacked in a column.
    Walk walk = MakeWalk(x1, y1, x2, y2);
    if (!ClipWalk(walk, width)) return;
    int64_t yf = walk.minor;
    for (int64_t x = walk.start; x <= walk.end; ++x, yf += walk.step) {
      if (yf < 0) continue;
      const int64_t row = yf >> kFractionBits;
      if (row > height - 2) continue;  // the far pixel would fall below the frame
      BlendPair(rows[row] + 4 * x, rows[row + 1] + 4 * x, static_cast<uint32_t>(yf & kFractionMask),
                colour);
    }
  } else {
    // Steep (a 45° line included): y is the major axis; pixel pairs side by side in a row.
    Walk walk = MakeWalk(y1, x1, y2, x2);
    if (!ClipWalk(walk, height)) return;
    int64_t xf = walk.minor;
    for (int64_t y = walk.start; y <= walk.end; ++y, xf += walk.step) {
      if (xf < 0) continue;
      const int64_t column = xf >> kFractionBits;
      if (column > width - 2) continue;  // the far pixel would fall right of the frame
      uint8_t* nearPixel = rows[y] + 4 * column;
      BlendPair(nearPixel, nearPixel + 4, static_cast<uint32_t>(xf & kFractionMask), colour);
    }
  }
}
