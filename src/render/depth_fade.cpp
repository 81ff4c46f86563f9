// Depth fade.
#include "render/depth_fade.h"

#include <algorithm>
#include <cmath>

#include "scene/single.h"

float FadeFactor(bool fade, double depth, float zmin, float zmax) {
  // The range is taken in double precision, never as a float difference.
  const double range = double{zmax} - double{zmin};
  if (!fade || range == 0) return 1.0f;
  return ToSingle(std::min(std::max((depth - zmin) * 1.2 / range, 0.5), 1.0));
}

// The products are exact in double (8 × 24 significant bits); nearbyint in the default rounding
// mode rounds halves to even.
uint8_t FadeOnBlack(uint8_t s, float f) {
  return static_cast<uint8_t>(std::nearbyint(static_cast<double>(s) * double{f}));
}

uint8_t FadeOnWhite(uint8_t s, float whiteFraction) {
  return static_cast<uint8_t>(s + std::nearbyint((255.0 - s) * double{whiteFraction}));
}
