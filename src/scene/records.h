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
// Packed to 32 bytes (Radius after Kind at a 4-byte offset) rather than 40: every frame moves
// the whole array, and a cloud holds one record a point.
#pragma pack(push, 4)
struct alignas(8) SegmentRecord {
  uint8_t Kind;
  double Radius;
  uint32_t Colour;
  int32_t First;
  int32_t Second;
  double Depth;
};
#pragma pack(pop)
static_assert(sizeof(SegmentRecord) == 32);

struct TRect {
  int32_t Left;
  int32_t Top;
  int32_t Right;
  int32_t Bottom;
};
