// Deterministic models for the benchmarks, written straight into a form's arrays as a loader
// would leave them (fitted with NewView and ComputeScale; no frame drawn yet).
#pragma once

#include <cstdint>

#include "scene/scene_model.h"

// A small deterministic generator (SplitMix64): the same numbers on every platform.
class BenchRandom {
 public:
  explicit BenchRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  // Uniform in the ball of radius 1.
  Vec3 InBall();
  uint32_t Colour();

 private:
  uint64_t state_;
};

// `points` points along a Lorenz attractor (σ 10, ρ 28, β 8/3, fourth-order Runge–Kutta), joined
// by points − 1 short lines whose colour runs along the curve.
void MakeLorenzCurve(TForm1& form, int32_t points);

// `lines` lines between random points of the unit ball, in random colours, or, when `colours`
// is above 0, in that many random colours.
void MakeRandomLines(TForm1& form, int32_t lines, uint64_t seed, int32_t colours = 0);

// `dots` one-pixel points at random places in the unit ball.
void MakeDots(TForm1& form, int32_t dots, uint64_t seed);

// `circles` point circles of the given radius (model units) at random places in the unit ball.
void MakeCircles(TForm1& form, int32_t circles, double radius, uint64_t seed);

// A torus of `rings` rings of `around` points each, every ring closed by `around` lines: a
// regular grid, so many lines share a depth.
void MakeTorusGrid(TForm1& form, int32_t rings, int32_t around);

// `segments` lines and dots (one in four) between random points whose coordinates take only
// `steps` values on each axis: few distinct depths, many ties.
void MakeTiedModel(TForm1& form, int32_t segments, int32_t steps, uint64_t seed);
