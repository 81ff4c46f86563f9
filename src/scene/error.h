// The program's one error type, and the checks that turn a floating-point fault into it.
// Floating-point faults do not trap in C++: where a division by zero, an overflow or an invalid
// operation counts as an error, the result is tested here and raised as the fault it would have
// been, always with that fault's one text.
#pragma once

#include <cmath>
#include <stdexcept>

#include "scene/records.h"

// An error no handler catches: it ends the current event and the window shows its text in the
// generic error box (the headless command prints it and fails).
class KestrelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the user is told when an allocation fails where nothing better can be said: never the
// allocator's own text.
inline constexpr char kOutOfMemoryText[] = "Out of memory";

enum class FloatFault { Overflow, Invalid, DivisionByZero };

[[noreturn]] inline void ThrowFloatFault(FloatFault fault) {
  switch (fault) {
    case FloatFault::Overflow:
      throw KestrelError("Floating point overflow");
    case FloatFault::Invalid:
      throw KestrelError("Invalid floating point operation");
    case FloatFault::DivisionByZero:
      break;
  }
  throw KestrelError("Floating point division by zero");
}

inline bool IsFinite(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// `value` when it is finite; a NaN is an invalid operation, an infinity an overflow.
inline double CheckedResult(double value) {
  if (std::isnan(value)) ThrowFloatFault(FloatFault::Invalid);
  if (std::isinf(value)) ThrowFloatFault(FloatFault::Overflow);
  return value;
}

// numerator / denominator, checked: a zero denominator is a division by zero, or an invalid
// operation when the numerator is zero too.
inline double CheckedDivide(double numerator, double denominator) {
  if (denominator == 0) {
    ThrowFloatFault(numerator == 0 ? FloatFault::Invalid : FloatFault::DivisionByZero);
  }
  return CheckedResult(numerator / denominator);
}

// Whether `value` rounds to a finite float (not NaN, not at or beyond the float range).
inline bool FitsSingle(double value) {
  // 2^128 − 2^103: the half-way point above FLT_MAX, from which rounding gives infinity.
  constexpr double kOverflow = 340282356779733661637539395458142568448.0;
  return std::fabs(value) < kOverflow;
}

// Rounds `value` to the nearest float, for the few working values held as 32-bit floats. A
// value that is not finite or that rounds beyond the float range is an overflow, never a silent
// infinity.
inline float ToSingle(double value) {
  if (!FitsSingle(value)) ThrowFloatFault(FloatFault::Overflow);
  return static_cast<float>(value);
}
