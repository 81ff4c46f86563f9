// Wheel rotation arrives in units of which 120 make one notch; each whole notch is one zoom
// step, and what is left over waits, with its sign, for the next wheel event.
#pragma once

#include <cstdint>

inline constexpr int32_t WheelNotch = 120;

struct WheelSplit {
  int64_t steps;      // whole notches: positive away from the user, negative toward
  int32_t remainder;  // what is carried, always within (−120, 120), with the sum's sign
};

// Adds `delta` to the carried rotation and splits the sum into whole notches and the rest.
// The sum is taken in 64 bits, so no pair of 32-bit inputs can overflow it.
constexpr WheelSplit SplitWheelRotation(int32_t carried, int32_t delta) {
  const int64_t sum = int64_t{carried} + int64_t{delta};
  return WheelSplit{sum / WheelNotch, static_cast<int32_t>(sum % WheelNotch)};
}
