// Depth fade: far segments are drawn at half intensity toward the background colour. Inline:
// the drawing pass asks for a factor and three channels per segment.
#pragma once

#include <algorithm>
#include <cstdint>

#include "render/screen_geometry.h"
#include "scene/error.h"

// The fade factor of a segment at `depth`, as a 32-bit float in [0.5, 1]: 0.5 up to 5/12 of the
// depth range from zmin, rising linearly to 1 at 5/6 of it. 1 with fade off or an empty range.
inline float FadeFactor(bool fade, double depth, float zmin, float zmax) {
  // The range is taken in double precision, never as a float difference.
  const double range = double{zmax} - double{zmin};
  if (!fade || range == 0) return 1.0f;
  return ToSingle(std::min(std::max((depth - zmin) * 1.2 / range, 0.5), 1.0));
}

// One colour channel `s` drawn with factor `f`: toward black on the dark background, toward
// white on the white one (there `whiteFraction` is 1 − f, the caller's 32-bit float). Halves
// round to even. The products are exact in double (8 × 24 significant bits).
inline uint8_t FadeOnBlack(uint8_t s, float f) {
  return static_cast<uint8_t>(RoundInRange(static_cast<double>(s) * double{f}));
}

inline uint8_t FadeOnWhite(uint8_t s, float whiteFraction) {
  return static_cast<uint8_t>(s + RoundInRange((255.0 - s) * double{whiteFraction}));
}
