// Turns the primitives of a mesh into the model's points and segments: faces into their
// outlines with each undirected edge once, corners merged by exact position, lines as lines and
// lone points as single-pixel dots. Knows no file format; the readers feed it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "scene/records.h"

struct SceneData;

// The colour halfway between two colour values, each channel's mean rounded to the nearest
// integer, halves to even (as every real becomes an integer in this program).
uint32_t MeanColour(uint32_t a, uint32_t b);

// A colour channel given as a real from 0 to 1 (as mesh libraries hand colours over), as a
// byte: 255 times the value, rounded halves to even. Values outside 0–1 (and NaN, as 0) are
// clipped.
uint8_t ChannelByte(double value);

class WireBuilder {
 public:
  // The largest number of points and of segments a model can hold: indices are 32-bit signed.
  static constexpr size_t kMaxCount = 2147483647;

  // How many positions will at most be merged, and how many segments at most be offered: they
  // size the first tables.
  WireBuilder(size_t mergeBound, size_t segmentBound);

  // The points at `positions`, in order, into `points`: for each position, the point an
  // earlier one exactly equal to it made (-0 and +0 alike), else a new one. Every position must
  // be finite. Many at a time, so that the table's cache misses overlap.
  void MergePoints(std::span<const Vec3> positions, uint32_t* points);

  // A line between two points, or a dot at one (`second` equal to `first`).
  struct Piece {
    uint32_t first;
    uint32_t second;
    uint32_t colour;
  };

  // Adds each piece in order unless the same one came before: a line between the same two
  // points in either order, or a dot at the same point. The first one keeps its colour.
  void AddPieces(std::span<const Piece> pieces);

  // A point of its own with its dot, never merged with another: a point cloud is drawn point
  // for point, and looking millions of them up would cost more than drawing their duplicates.
  void AddLoneDot(const Vec3& position, uint32_t colour);

  // What the tables of a builder made for these bounds take before anything is added.
  static uint64_t StartBytes(size_t mergeBound, size_t segmentBound);

  // What the builder holds now: its tables, and the points and segments added so far.
  uint64_t Bytes() const;

  size_t PointCount() const { return positions_.size(); }
  size_t LineCount() const { return lines_; }
  size_t DotCount() const { return segmentEnds_.size() - lines_; }

  // Moves the points and the segments, in the order they were added, into `scene`'s arrays,
  // each allocated at its exact size, and empties the builder.
  void Finish(SceneData& scene);

 private:
  uint32_t NewPoint(const Vec3& position);
  uint32_t MergePoint(const Vec3& position, uint64_t hash);
  bool InsertSegment(uint64_t key, uint64_t hash);
  void GrowPointTable();
  void GrowSegmentTable();

  std::vector<Vec3> positions_;
  // Open addressing, linear probing. A point slot holds the upper half of the position's hash
  // and the point's index + 1 (0: empty); a segment slot holds its key (~0: empty).
  std::vector<uint64_t> pointSlots_;
  std::vector<uint64_t> segmentSlots_;
  size_t mergedPoints_ = 0;
  size_t tableSegments_ = 0;
  // Every segment in the order added: its two points (a line's ends; a dot's point twice) and
  // its colour.
  std::vector<uint64_t> segmentEnds_;
  std::vector<uint32_t> colours_;
  size_t lines_ = 0;
  // The hashes of the batch being added, reused from batch to batch.
  std::vector<uint64_t> hashes_;
};
