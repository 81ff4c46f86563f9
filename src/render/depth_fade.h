// Depth fade: far segments are drawn at half intensity toward the background colour.
#pragma once

#include <cstdint>

// The fade factor of a segment at `depth`, as a 32-bit float in [0.5, 1]: 0.5 up to 5/12 of the
// depth range from zmin, rising linearly to 1 at 5/6 of it. 1 with fade off or an empty range.
float FadeFactor(bool fade, double depth, float zmin, float zmax);

// One colour channel `s` drawn with factor `f`: toward black on the dark background, toward
// white on the white one (there `whiteFraction` is 1 − f, the caller's 32-bit float). Halves
// round to even.
uint8_t FadeOnBlack(uint8_t s, float f);
uint8_t FadeOnWhite(uint8_t s, float whiteFraction);
