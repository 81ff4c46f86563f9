// The plain value types every unit shares: the vector, the two model records, the frame
// rectangle. Fixed layout, no behaviour; they live in contiguous arrays and move as a whole.
#pragma once

#include <cstdint>

struct Vec3 {
  double x;
  double y;
  double z;
};

// The pan pair (PanX, PanY).
struct Vec2 {
  double x;
  double y;
};

// One model point. Only Pos comes from a file; the rest is rewritten by every frame.
struct PointRecord {
  Vec3 Pos;
  Vec3 View;
  double ScreenX;
  double ScreenY;
};

// One drawable item: Kind 0 is a line First→Second, any other Kind the point First drawn as a
// dot or a circle of Radius. Colour is a pixel value: bits 0–7 blue, 8–15 green, 16–23 red.
//
// Made as {Kind, Radius, Colour, First, Second, Depth}, but held with the doubles first and
// Kind last, which packs it into 32 bytes rather than 40: every frame moves the whole array,
// and a cloud holds one record a point.
struct SegmentRecord {
  SegmentRecord() = default;
  constexpr SegmentRecord(uint8_t kind, double radius, uint32_t colour, int32_t first,
                          int32_t second, double depth)
      : Radius(radius), Depth(depth), Colour(colour), First(first), Second(second), Kind(kind) {}

  double Radius;
  double Depth;
  uint32_t Colour;
  int32_t First;
  int32_t Second;
  uint8_t Kind;
};
static_assert(sizeof(SegmentRecord) == 32);

struct TRect {
  int32_t Left;
  int32_t Top;
  int32_t Right;
  int32_t Bottom;
};
