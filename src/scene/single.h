// Storing a double into one of the few working values held as a 32-bit float.
#pragma once

#include <cmath>

#include "scene/scene_model.h"

// Rounds `value` to the nearest float. A value that is not finite or that rounds beyond the
// float range is an overflow, never a silent infinity: it throws KestrelError.
inline float ToSingle(double value) {
  // 2^128 − 2^103: the half-way point above FLT_MAX, from which rounding gives infinity.
  constexpr double kOverflow = 340282356779733661637539395458142568448.0;
  if (!(std::fabs(value) < kOverflow)) throw KestrelError("Floating point overflow");
  return static_cast<float>(value);
}
