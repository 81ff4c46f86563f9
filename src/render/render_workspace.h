// The renderer's working arrays, kept by the form from one frame to the next: compact copies of
// what the later passes read at random (a point's depth, its rounded frame position) and room
// for sorting. They only grow, so a frame of a model no larger than the last allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/records.h"

// A point's frame position rounded to pixels, with where it lies against the frame's edges in
// the low two bits of each coordinate: x holds (round(ScreenX) << 2) | left | right, where left
// (1) is ScreenX < 0 and right (2) is ScreenX >= W; y the same with 1 for ScreenY < 0 and 2 for
// ScreenY >= H. A point too far out for this (kFarScreen and beyond) has both x bits set and
// nothing else valid: drawing then works from its doubles. Eight bytes, so that the drawing
// pass's random reads of two ends per segment touch as few cache lines as possible.
struct ScreenPoint {
  int32_t x;
  int32_t y;
};

inline constexpr double kFarScreen = 268435456.0;  // 2^28: a rounded value shifted by 2 fits
inline constexpr int32_t kScreenLeft = 1;          // x bits (kScreenTop in y)
inline constexpr int32_t kScreenRight = 2;         // x bits (kScreenBottom in y)
inline constexpr int32_t kScreenEdges = 3;
inline constexpr ScreenPoint kFarPoint{kScreenEdges, 0};

inline bool IsFar(ScreenPoint p) {
  return (p.x & kScreenEdges) == kScreenEdges;
}
// The pixel coordinate (arithmetic shift: the rounded value, negative ones included).
inline int32_t PixelOf(int32_t packed) {
  return packed >> 2;
}

// One segment's sort key: its Depth and where it stood before the sort.
struct DepthKey {
  double Depth;
  uint32_t index;
  uint32_t bucket;
};

struct RenderWorkspace {
  std::vector<double> depths;        // View.z of every point
  std::vector<ScreenPoint> screen;   // every point's rounded position
  std::vector<DepthKey> keys;        // the segments' keys in their order before the sort
  std::vector<DepthKey> sorted;      // the keys after the sort
  std::vector<uint32_t> buckets;     // bucket boundaries of the sort (at most half a bucket
                                     // for each key)
  std::vector<SegmentRecord> moved;  // the records in their new order, before they go back

  // Room for a model of this size in every array at once, so that whichever way a frame's sort
  // goes, only the first frame of a larger model allocates.
  void Reserve(size_t points, size_t segments) {
    depths.reserve(points);
    screen.reserve(points);
    keys.reserve(segments);
    sorted.reserve(segments);
    buckets.reserve(segments / 2 + 2);
    moved.reserve(segments);
  }
};
