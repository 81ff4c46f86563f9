// The renderer's working arrays, kept by the form from one frame to the next: compact copies of
// what the later passes read at random (a point's depth, its rounded frame position) and room
// for sorting. They only grow, so a frame of a model no larger than the last allocates nothing.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
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

// Where a coordinate lies against the frame's edges 0 and `limit`: kScreenLeft before 0,
// kScreenRight at or beyond `limit` (kScreenTop and kScreenBottom for a y).
inline int32_t EdgeBits(double v, double limit) {
  return (v < 0 ? kScreenLeft : 0) | (v >= limit ? kScreenRight : 0);
}

// The same for a figure reaching `margin` beyond v on either side: it lies beyond an edge only
// when all of it does.
inline int32_t EdgeBits(double v, double limit, double margin) {
  return (v + margin < 0 ? kScreenLeft : 0) | (v - margin >= limit ? kScreenRight : 0);
}

// The bound test of every segment: nothing of it can show when both ends lie beyond the same
// edge of the frame. A point segment gives its one end twice.
inline bool BeyondOneEdge(ScreenPoint a, ScreenPoint b) {
  return (((a.x & b.x) | (a.y & b.y)) & kScreenEdges) != 0;
}
// The pixel coordinate (arithmetic shift: the rounded value, negative ones included).
inline int32_t PixelOf(int32_t packed) {
  return packed >> 2;
}

// How many buckets the depth sort spreads `keys` keys over: about two for each, so that most
// keys have a bucket of their own and the few that share one are quickly put in order, yet the
// bucket counts stay within a few megabytes.
inline size_t SortBuckets(size_t keys) {
  return std::clamp<size_t>(std::bit_floor(keys) * 2, 2, size_t{1} << 21);
}

// One segment's sort key: its Depth and where it stood before the sort.
struct DepthKey {
  double Depth;
  uint32_t index;
  uint32_t bucket;
};

// What the depth sort learns of a run of keys on the way.
struct KeyRange {
  double lowest = std::numeric_limits<double>::infinity();
  double highest = -std::numeric_limits<double>::infinity();
  double first = 0;        // the first key's depth, when there is one
  double last = 0;         // the last key's
  bool comparable = true;  // no NaN
  bool ascending = true;   // already strictly increasing
  bool inOrder = true;     // never decreasing (ties allowed), no NaN
  bool empty = true;
};

// What one segment is drawn as, kept for the bands that draw it: a line's ends (a, b)–(c, d),
// an ellipse's box (a, b, c, d) or a dot at (a, b), in pixels; the colour as a whole pixel;
// the kind of figure.
struct Figure {
  int32_t a, b, c, d;
  uint32_t colour;
  uint8_t kind;
};

// An entry of a band's list of figures: a dot held in the entry itself (kDotEntry, its colour,
// its y and its x from the high bits down), or else a figure's place in the figures, marked
// kWholeFigure when it reaches into no other band.
inline constexpr uint64_t kDotEntry = uint64_t{1} << 63;
inline constexpr uint64_t kWholeFigure = uint64_t{1} << 62;

// A point's projection before it is written to the point, and a block of them: how far the
// block got (the points before `failedAt` all done; at `failedAt` nothing, or the View and
// the screen position written, as far as the plain loop gets with it) and its depths' range.
struct ProjectedPoint {
  Vec3 view;
  double x, y;
};
struct ProjectedBlock {
  enum Reached : uint8_t { kNothing, kViewAndScreen, kAll };
  size_t failedAt;
  Reached reached;
  bool computed;
  double lowest, highest;
};
inline constexpr size_t kProjectionBlock = 2048;

// An array of plain values that each frame rewrites before it reads them: it keeps its
// storage from frame to frame, grows only, and never spends a pass initialising what the frame
// will write anyway.
template <class T>
class FrameArray {
 public:
  // Room for `count` values; what they hold is unspecified. Allocates only to grow.
  T* Prepare(size_t count) {
    if (count > capacity_) {
      data_.reset();  // the old storage goes before the new is taken
      capacity_ = 0;
      data_ = std::make_unique_for_overwrite<T[]>(count);
      capacity_ = count;
    }
    return data_.get();
  }
  T* data() const { return data_.get(); }

 private:
  std::unique_ptr<T[]> data_;
  size_t capacity_ = 0;
};

struct RenderWorkspace {
  FrameArray<double> depths;       // View.z of every point
  FrameArray<ScreenPoint> screen;  // every point's rounded position
  FrameArray<DepthKey> keys;       // the segments' keys in their order before the sort
  FrameArray<DepthKey> sorted;     // the keys after the bucket sort
  FrameArray<uint32_t> buckets;    // the bucket sort's bucket boundaries
  FrameArray<KeyRange> keyRanges;  // what each part of the keys holds
  FrameArray<uint32_t> dealCounts, dealStarts, dealTasks;  // the bucket sort over threads
  std::vector<FrameArray<DepthKey>> scratch;               // a few keys for each thread
  FrameArray<ProjectedBlock> projectedBlocks;              // the projection over threads
  std::vector<FrameArray<ProjectedPoint>> projected;       // a block for each thread
  FrameArray<Figure> figures;                              // the drawing in bands
  FrameArray<uint64_t> bandLists;                          // each band's figures, part after part
  FrameArray<uint32_t> bandCounts;                         // how many each part has in each band
  FrameArray<uint8_t> bandOfRow;
  FrameArray<std::exception_ptr> partFailures;
  // The records in their new order are gathered here, and then this and the form's array
  // change places: the old array is the next frame's room.
  std::vector<SegmentRecord> spare;

  // Room for `count` records in `spare`: allocates only to grow.
  std::vector<SegmentRecord>& PrepareSpare(size_t count) {
    if (spare.size() != count) {
      ReserveSpare(count);
      spare.resize(count);
    }
    return spare;
  }
  // The same room, taken but not yet filled: a frame whose records stay where they are (a
  // cloud's first) never touches its pages.
  void ReserveSpare(size_t count) {
    if (spare.capacity() < count) {
      std::vector<SegmentRecord>().swap(spare);  // old room first
      spare.reserve(count);
    }
  }
  // Room for a block of `count` projected points, and for `count` scratch keys, for each of
  // `threads` threads: made before the threads start, since they only look their own up.
  void PrepareProjectionScratch(int threads, size_t count) {
    PrepareEach(projected, threads, count);
  }
  void PrepareKeyScratch(int threads, size_t count) { PrepareEach(scratch, threads, count); }
  ProjectedPoint* ProjectionScratch(int thread) {
    return projected[static_cast<size_t>(thread)].data();
  }
  DepthKey* KeyScratch(int thread) { return scratch[static_cast<size_t>(thread)].data(); }

  // Room for a model of this size in every array at once, so that whichever way a frame's sort
  // goes, only the first frame of a larger model allocates.
  void Reserve(size_t points, size_t segments, size_t spareSegments, int threads);

 private:
  template <class T>
  static void PrepareEach(std::vector<FrameArray<T>>& arrays, int threads, size_t count) {
    if (arrays.size() < static_cast<size_t>(threads)) arrays.resize(static_cast<size_t>(threads));
    for (int t = 0; t < threads; ++t) arrays[static_cast<size_t>(t)].Prepare(count);
  }
};
