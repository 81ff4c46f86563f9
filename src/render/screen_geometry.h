// Turning the renderer's screen positions (doubles) into the 32-bit pixel coordinates that
// drawing takes, without ever converting a value that does not fit.
#pragma once

#include <cmath>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Rounds a value known to lie well within the 32-bit range (|value| < 2^30) to the nearest
// integer in the current rounding mode, halves to even by default: what nearbyint does, but
// by the processor's own conversion instead of a library call, which matters a few million
// times a frame.
inline int32_t RoundInRange(double value) {
#if defined(__SSE2__)
  return _mm_cvtsd_si32(_mm_set_sd(value));
#else
  return static_cast<int32_t>(std::nearbyint(value));
#endif
}

// Rounds to the nearest integer, halves to even. False, leaving `out` alone, when `value` is
// not finite or the result does not fit a 32-bit signed integer.
inline bool RoundToInt32(double value, int32_t& out) {
  if (std::fabs(value) < 1073741824.0) {  // 2^30
    out = RoundInRange(value);
    return true;
  }
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return false;  // NaN fails too
  out = static_cast<int32_t>(rounded);
  return true;
}

struct PixelLine {
  int32_t x1, y1, x2, y2;
};

// Distance, in pixels, that the box used for clipping far-off lines keeps from every frame edge.
inline constexpr double kLineClipMargin = 16777216.0;  // 2^24

// Rounds a line's two ends to pixels. When every coordinate fits, they are just rounded, which
// keeps the line's pixels exact however long it is. When one does not, the line is first cut to
// a box kLineClipMargin wider than the frame on every side: each end that lies outside moves
// along the line to the box edge, computed from the other end so that a far-off end costs no
// precision near the frame. False when the line misses that box (nothing of it can show).
bool RoundLine(double x1, double y1, double x2, double y2, int32_t width, int32_t height,
               PixelLine& out);
