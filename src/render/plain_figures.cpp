// The toolkit's aliased line and ellipse, step for step: the raster painter's cosmetic line
// (26.6 fixed-point ends, a 16.16 walk along the major axis, clipped first in floating point to
// one pixel around the frame) and its midpoint ellipse (in double precision, four spans a
// step, the fill between them).
#include "render/plain_figures.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

// Writes one pixel where the frame and the band have it.
struct PixelSink {
  const FramePixels& frame;
  RowBand rows;  // already cut to the frame
  uint32_t pixel;

  bool Has(int64_t x, int64_t y) const {
    return x >= 0 && x < frame.width && y >= rows.top && y < rows.bottom;
  }
  void Put(int64_t x, int64_t y) const {
    if (Has(x, y)) frame.At(static_cast<int32_t>(x), static_cast<int32_t>(y)) = pixel;
  }
  // `length` pixels from (x, y) rightward.
  void Span(int64_t x, int64_t y, int64_t length) const {
    if (y < rows.top || y >= rows.bottom || length <= 0) return;
    const int64_t from = std::max<int64_t>(x, 0);
    const int64_t to = std::min<int64_t>(x + length, frame.width);
    if (from >= to) return;
    uint32_t* row = &frame.At(0, static_cast<int32_t>(y));
    std::fill(row + from, row + to, pixel);
  }
};

RowBand InFrame(const FramePixels& frame, RowBand band) {
  return RowBand{std::max(band.top, 0), std::min(band.bottom, frame.height)};
}

// The painter's first, rough clip: in floating point, to one pixel beyond every edge of the
// frame, each end moved along the line (x first, then y, each from the values so far). False
// when the line lies wholly beyond one of those edges.
bool ClipToFrameBox(double& x1, double& y1, double& x2, double& y2, double xmin, double xmax,
                    double ymin, double ymax) {
  if (x1 < xmin) {
    if (x2 <= xmin) return false;
    y1 += (y2 - y1) / (x2 - x1) * (xmin - x1);
    x1 = xmin;
  } else if (x1 > xmax) {
    if (x2 >= xmax) return false;
    y1 += (y2 - y1) / (x2 - x1) * (xmax - x1);
    x1 = xmax;
  }
  if (x2 < xmin) {
    y2 += (y2 - y1) / (x2 - x1) * (xmin - x2);
    x2 = xmin;
  } else if (x2 > xmax) {
    y2 += (y2 - y1) / (x2 - x1) * (xmax - x2);
    x2 = xmax;
  }
  if (y1 < ymin) {
    if (y2 <= ymin) return false;
    x1 += (x2 - x1) / (y2 - y1) * (ymin - y1);
    y1 = ymin;
  } else if (y1 > ymax) {
    if (y2 >= ymax) return false;
    x1 += (x2 - x1) / (y2 - y1) * (ymax - y1);
    y1 = ymax;
  }
  if (y2 < ymin) {
    x2 += (x2 - x1) / (y2 - y1) * (ymin - y2);
    y2 = ymin;
  } else if (y2 > ymax) {
    x2 += (x2 - x1) / (y2 - y1) * (ymax - y2);
    y2 = ymax;
  }
  return true;
}

// 26.6 fixed point, truncated toward zero as the painter converts.
int32_t ToFixed26(double v) {
  return static_cast<int32_t>(v * 64.);
}

// a / b in 16.16 fixed point, truncated toward zero.
int32_t FixedDivide(int32_t a, int32_t b) {
  if (std::abs(a) > 0x7fff) return static_cast<int32_t>((int64_t{a} * 65536) / b);
  return (a * 65536) / b;
}

// The painter's walk: one pixel per major step from the end with the smaller major coordinate,
// the minor coordinate in 16.16 fixed point starting half a pixel in when it grows. Only the
// steps whose row lies in [top, bottom) are handed to `put` (and maybe a few more, which `put`
// leaves out): the others are stepped over in one go, as the walk would pass them.
template <class Put>
[[gnu::always_inline]] inline void WalkCosmetic(int32_t ix1, int32_t iy1, int32_t ix2, int32_t iy2,
                                                const FramePixels& frame, RowBand rows,
                                                const Put& put) {
  const int32_t xmax = frame.width + 1, ymax = frame.height + 1;
  int32_t x1, y1, x2, y2;
  // Within one pixel of the frame (unsigned: -1 wraps to the bottom of the range).
  const auto inBox = [](int32_t v, int32_t most) {
    return static_cast<uint64_t>(int64_t{v} + 1) <= static_cast<uint64_t>(int64_t{most} + 1);
  };
  if (inBox(ix1, xmax) && inBox(ix2, xmax) && inBox(iy1, ymax) && inBox(iy2, ymax)) {
    // Nothing to clip: the ends are whole pixels, exactly so in 26.6.
    x1 = ix1 * 64;
    y1 = iy1 * 64;
    x2 = ix2 * 64;
    y2 = iy2 * 64;
  } else {
    double rx1 = ix1, ry1 = iy1, rx2 = ix2, ry2 = iy2;
    if (!ClipToFrameBox(rx1, ry1, rx2, ry2, -1.0, xmax, -1.0, ymax)) return;
    x1 = ToFixed26(rx1);
    y1 = ToFixed26(ry1);
    x2 = ToFixed26(rx2);
    y2 = ToFixed26(ry2);
  }
  const int32_t dx = std::abs(x2 - x1);
  const int32_t dy = std::abs(y2 - y1);
  if (dx < dy) {
    if (y1 > y2) {
      std::swap(y1, y2);
      std::swap(x1, x2);
    }
    const int32_t xinc = FixedDivide(x2 - x1, y2 - y1);
    int32_t x = x1 * 1024;  // 26.6 to 16.16
    int32_t y = (y1 + 32) >> 6;
    int32_t ys = (y2 + 32) >> 6;
    const int32_t round = xinc > 0 ? 32 : 0;
    if (y == ys) return;
    x += ((y * 64 + round - y1) * xinc) >> 6;
    // The rows are the major steps here: those before the band are passed in one go.
    if (y < rows.top) {
      x += (rows.top - y) * xinc;
      y = rows.top;
    }
    ys = std::min(ys, rows.bottom);
    for (; y < ys; ++y, x += xinc) put(x >> 16, y);
  } else {
    if (dx == 0) return;
    if (x1 > x2) {
      std::swap(x1, x2);
      std::swap(y1, y2);
    }
    const int32_t yinc = FixedDivide(y2 - y1, x2 - x1);
    int32_t y = y1 * 1024;
    int32_t x = (x1 + 32) >> 6;
    int32_t xs = (x2 + 32) >> 6;
    const int32_t round = yinc > 0 ? 32 : 0;
    if (x == xs) return;
    y += ((x * 64 + round - x1) * yinc) >> 6;
    // The row moves with the steps: when it may leave the band, only the steps while it lies
    // in it, give or take one, are walked.
    if ((std::min(y1, y2) >> 6) - 1 < rows.top || (std::max(y1, y2) >> 6) + 1 >= rows.bottom) {
      const int64_t low = int64_t{rows.top} * 65536, high = int64_t{rows.bottom} * 65536;
      int64_t first = 0, last = xs - x - 1;
      if (yinc > 0) {
        if (y < low) first = (low - y) / yinc;
        if (y >= high) return;
        last = std::min<int64_t>(last, (high - y) / yinc + 1);
      } else if (yinc < 0) {
        if (y >= high) first = (y - high) / -yinc;
        if (y < low) return;
        last = std::min<int64_t>(last, (y - low) / -yinc + 1);
      } else if (y < low || y >= high) {
        return;
      }
      if (first > last) return;
      y += static_cast<int32_t>(first) * yinc;
      xs = x + static_cast<int32_t>(last) + 1;
      x += static_cast<int32_t>(first);
    }
    for (; x < xs; ++x, y += yinc) put(x, y >> 16);
  }
}

}  // namespace

void DrawPlainLinePixels(const FramePixels& frame, RowBand band, int32_t x1, int32_t y1, int32_t x2,
                         int32_t y2, uint32_t pixel) {
  const PixelSink sink{frame, InFrame(frame, band), pixel};
  if (sink.rows.top >= sink.rows.bottom || frame.width <= 0) return;
  const int64_t dx = std::abs(int64_t{x2} - x1);
  const int64_t dy = std::abs(int64_t{y2} - y1);
  if (dx == 0 && dy == 0) return;
  // Ends a pixel apart (most lines of a dense curve) within one pixel of the frame, where the
  // painter does not clip: its walk takes one step, which draws the start whichever way the
  // line is given.
  if (dx <= 1 && dy <= 1 && x1 >= -1 && x1 <= frame.width + 1 && y1 >= -1 &&
      y1 <= frame.height + 1 && x2 >= -1 && x2 <= frame.width + 1 && y2 >= -1 &&
      y2 <= frame.height + 1) {
    sink.Put(x1, y1);
    return;
  }
  // The painter walks from the lower end: given forward, its pixels are the line's, start
  // drawn and end not; given backward, it draws the end and not the start, so the end is
  // left as it was and the start drawn.
  const bool forward = dx >= dy ? x1 < x2 : y1 < y2;
  if (forward) {
    WalkCosmetic(x1, y1, x2, y2, frame, sink.rows, [&](int32_t x, int32_t y) { sink.Put(x, y); });
    return;
  }
  WalkCosmetic(x1, y1, x2, y2, frame, sink.rows, [&](int32_t x, int32_t y) {
    if (x != x2 || y != y2) sink.Put(x, y);
  });
  sink.Put(x1, y1);
}

namespace {

// The spans of one step of the midpoint ellipse: (x, y) relative to the box's middle, and
// `length` pixels of outline from there, mirrored into the four quarters, with the fill
// between the left and right outline spans of the top and of the bottom row.
void EllipseStep(const PixelSink& sink, int32_t x, int32_t y, int32_t length, int32_t left,
                 int32_t top, int32_t width, int32_t height, bool filled) {
  if (length == 0) return;
  const int32_t midx = left + (width + 1) / 2;
  const int32_t midy = top + (height + 1) / 2;
  x = x + midx;
  y = midy - y;
  const int32_t leftX = midx + (midx - x) - (length - 1) - (width & 1);
  const int32_t leftLength = std::min(length, x - leftX);
  const int32_t bottomY = midy + (midy - y) - (height & 1);
  if (filled && leftX + leftLength < x) {
    const int32_t fillX = leftX + leftLength - 1;
    const int32_t fillLength = std::max(0, x - fillX);
    sink.Span(fillX, y, fillLength);
    if (y < bottomY) sink.Span(fillX, bottomY, fillLength);
  }
  sink.Span(leftX, y, leftLength);
  sink.Span(x, y, length);
  if (y < bottomY) {
    sink.Span(leftX, bottomY, leftLength);
    sink.Span(x, bottomY, length);
  }
}

}  // namespace

void DrawEllipsePixels(const FramePixels& frame, RowBand band, int32_t left, int32_t top,
                       int32_t right, int32_t bottom, uint32_t pixel, bool filled) {
  const auto within = [](int32_t v) {
    return v >= -kEllipseCoordinateLimit && v <= kEllipseCoordinateLimit;
  };
  if (!within(left) || !within(top) || !within(right) || !within(bottom)) return;
  // The painter's box is one pixel narrower and lower than the figure's: a 1-pixel outline of
  // a w × h box covers w + 1 columns and h + 1 rows.
  const int32_t width = right - left - 1;
  const int32_t height = bottom - top - 1;
  if (width <= 0 || height <= 0) return;
  const PixelSink sink{frame, InFrame(frame, band), pixel};
  if (sink.rows.top >= sink.rows.bottom || frame.width <= 0) return;
  // Rows of the figure outside the band need not be walked at all.
  if (top + height < sink.rows.top || top >= sink.rows.bottom) return;

  const double a = static_cast<double>(width) / 2;
  const double b = static_cast<double>(height) / 2;
  double d = b * b - (a * a * b) + 0.25 * a * a;
  int32_t x = 0;
  int32_t y = (height + 1) / 2;
  int32_t startx = x;
  // Region 1: x steps, y follows.
  while (a * a * (2 * y - 1) > 2 * b * b * (x + 1)) {
    if (d < 0) {
      d += b * b * (2 * x + 3);
      ++x;
    } else {
      d += b * b * (2 * x + 3) + a * a * (-2 * y + 2);
      EllipseStep(sink, startx, y, x - startx + 1, left, top, width, height, filled);
      startx = ++x;
      --y;
    }
  }
  EllipseStep(sink, startx, y, x - startx + 1, left, top, width, height, filled);
  // Region 2: y steps, x follows.
  d = b * b * (x + 0.5) * (x + 0.5) + a * a * ((y - 1) * (y - 1) - b * b);
  const int32_t miny = height & 1;
  while (y > miny) {
    if (d < 0) {
      d += b * b * (2 * x + 2) + a * a * (-2 * y + 3);
      ++x;
    } else {
      d += a * a * (-2 * y + 3);
    }
    --y;
    EllipseStep(sink, x, y, 1, left, top, width, height, filled);
  }
}
