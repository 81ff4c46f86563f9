// Points merged and segments kept once, through hash tables of packed keys.
//
// Both tables are open-addressed arrays of 64-bit words, so a mesh of millions of corners is
// merged in one linear pass without a node per entry. The hash is seeded afresh in every
// process: a file cannot be built to make all its corners collide, and since points and
// segments keep the order they were first added in, the seed never shows in the result.
#include "formats/wire_builder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <utility>

#include "scene/colour_codes.h"
#include "scene/error.h"
#include "scene/scene_data.h"

namespace {

constexpr uint64_t kEmptySegment = ~uint64_t{0};
// A point slot: the upper half of the position's hash above the point's index + 1.
constexpr uint64_t kTagBits = 0xFFFFFFFF00000000ull;
// How many lookups ahead a slot is fetched.
constexpr size_t kAhead = 16;
constexpr size_t kSmallestTable = 1024;

uint64_t Mix(uint64_t x) {
  x ^= x >> 33;
  x *= 0xFF51AFD7ED558CCDull;
  x ^= x >> 33;
  x *= 0xC4CEB9FE1A85EC53ull;
  x ^= x >> 33;
  return x;
}

uint64_t Seed() {
  static const uint64_t seed = [] {
    std::random_device device;
    return (uint64_t{device()} << 32) ^ device();
  }();
  return seed;
}

// Adding +0.0 turns -0.0 into +0.0 and leaves every other finite value as it is, so equal
// positions hash alike.
uint64_t PositionHash(const Vec3& p) {
  uint64_t h = Mix(std::bit_cast<uint64_t>(p.x + 0.0) ^ Seed());
  h = Mix(h ^ std::bit_cast<uint64_t>(p.y + 0.0));
  return Mix(h ^ std::bit_cast<uint64_t>(p.z + 0.0));
}

uint64_t SegmentHash(uint64_t key) {
  return Mix(key ^ Seed());
}

// Ends in ascending order, so that a line has one key whichever way it is given.
uint64_t KeyOf(const WireBuilder::Piece& p) {
  const uint32_t low = std::min(p.first, p.second);
  const uint32_t high = std::max(p.first, p.second);
  return (uint64_t{low} << 32) | high;
}

bool SamePosition(const Vec3& a, const Vec3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

// Room for `count` entries at most half full.
size_t TableSize(size_t count) {
  return std::bit_ceil(std::max(kSmallestTable, count * 2));
}

[[noreturn]] void TooMany(const char* what) {
  throw KestrelError(std::string("it holds more ") + what + " than a model can (" +
                     std::to_string(WireBuilder::kMaxCount) + ")");
}

}  // namespace

uint32_t MeanColour(uint32_t a, uint32_t b) {
  uint32_t mean = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t sum = ((a >> shift) & 0xFF) + ((b >> shift) & 0xFF);
    uint32_t half = sum >> 1;
    if ((sum & 1) != 0 && (half & 1) != 0) ++half;  // a half goes to the even neighbour
    mean |= half << shift;
  }
  return mean;
}

uint8_t ChannelByte(double value) {
  if (!(value > 0)) return 0;
  if (value >= 1) return 255;
  return static_cast<uint8_t>(std::nearbyint(value * 255.0));
}

// Room for a quarter of the corners and half the edges offered: a mesh file repeats most
// corners (an STL file each one six times) and offers every inner edge twice, once from each
// face. A table doubles should the guess be short.
WireBuilder::WireBuilder(size_t mergeBound, size_t segmentBound) {
  pointSlots_.assign(TableSize(mergeBound / 4), 0);
  segmentSlots_.assign(TableSize(segmentBound / 2), kEmptySegment);
}

uint64_t WireBuilder::StartBytes(size_t mergeBound, size_t segmentBound) {
  return (TableSize(mergeBound / 4) + TableSize(segmentBound / 2)) * sizeof(uint64_t);
}

uint64_t WireBuilder::Bytes() const {
  return (pointSlots_.capacity() + segmentSlots_.capacity() + segmentEnds_.capacity() +
          hashes_.capacity()) *
             sizeof(uint64_t) +
         positions_.capacity() * sizeof(Vec3) + colours_.capacity() * sizeof(uint32_t);
}

uint32_t WireBuilder::NewPoint(const Vec3& position) {
  if (positions_.size() >= kMaxCount) TooMany("points");
  positions_.push_back(position);
  return static_cast<uint32_t>(positions_.size() - 1);
}

uint32_t WireBuilder::MergePoint(const Vec3& position, uint64_t hash) {
  const uint64_t tag = hash & kTagBits;
  const size_t mask = pointSlots_.size() - 1;
  for (size_t slot = static_cast<size_t>(hash) & mask;; slot = (slot + 1) & mask) {
    const uint64_t entry = pointSlots_[slot];
    if (entry == 0) {
      const uint32_t index = NewPoint(position);
      pointSlots_[slot] = tag | (uint64_t{index} + 1);
      if (++mergedPoints_ * 2 > pointSlots_.size()) GrowPointTable();
      return index;
    }
    if ((entry & kTagBits) == tag) {
      const auto index = static_cast<uint32_t>((entry & ~kTagBits) - 1);
      if (SamePosition(positions_[index], position)) return index;
    }
  }
}

void WireBuilder::MergePoints(std::span<const Vec3> positions, uint32_t* points) {
  const size_t n = positions.size();
  hashes_.resize(n);
  for (size_t i = 0; i < n; ++i) hashes_[i] = PositionHash(positions[i]);
  for (size_t i = 0; i < n; ++i) {
    // Two steps ahead of the lookups: first the slot is fetched, then, once it is at hand, the
    // position it points to, which a repeated corner is compared with.
    const size_t mask = pointSlots_.size() - 1;
    if (i + kAhead < n) __builtin_prefetch(&pointSlots_[hashes_[i + kAhead] & mask]);
    if (i + kAhead / 2 < n) {
      const uint64_t hash = hashes_[i + kAhead / 2];
      const uint64_t entry = pointSlots_[hash & mask];
      if (entry != 0 && (entry & kTagBits) == (hash & kTagBits)) {
        __builtin_prefetch(&positions_[(entry & ~kTagBits) - 1]);
      }
    }
    points[i] = MergePoint(positions[i], hashes_[i]);
  }
}

void WireBuilder::GrowPointTable() {
  std::vector<uint64_t> old(pointSlots_.size() * 2, 0);
  old.swap(pointSlots_);
  const size_t mask = pointSlots_.size() - 1;
  for (const uint64_t entry : old) {
    if (entry == 0) continue;
    const Vec3& p = positions_[(entry & ~kTagBits) - 1];
    size_t slot = static_cast<size_t>(PositionHash(p)) & mask;
    while (pointSlots_[slot] != 0) slot = (slot + 1) & mask;
    pointSlots_[slot] = entry;
  }
}

bool WireBuilder::InsertSegment(uint64_t key, uint64_t hash) {
  const size_t mask = segmentSlots_.size() - 1;
  for (size_t slot = static_cast<size_t>(hash) & mask;; slot = (slot + 1) & mask) {
    const uint64_t entry = segmentSlots_[slot];
    if (entry == key) return false;
    if (entry == kEmptySegment) {
      if (segmentEnds_.size() >= kMaxCount) TooMany("segments");
      segmentSlots_[slot] = key;
      if (++tableSegments_ * 2 > segmentSlots_.size()) GrowSegmentTable();
      return true;
    }
  }
}

void WireBuilder::GrowSegmentTable() {
  std::vector<uint64_t> old(segmentSlots_.size() * 2, kEmptySegment);
  old.swap(segmentSlots_);
  const size_t mask = segmentSlots_.size() - 1;
  for (const uint64_t key : old) {
    if (key == kEmptySegment) continue;
    size_t slot = static_cast<size_t>(SegmentHash(key)) & mask;
    while (segmentSlots_[slot] != kEmptySegment) slot = (slot + 1) & mask;
    segmentSlots_[slot] = key;
  }
}

void WireBuilder::AddPieces(std::span<const Piece> pieces) {
  const size_t n = pieces.size();
  hashes_.resize(n);
  for (size_t i = 0; i < n; ++i) hashes_[i] = SegmentHash(KeyOf(pieces[i]));
  for (size_t i = 0; i < n; ++i) {
    if (i + kAhead < n) {
      __builtin_prefetch(&segmentSlots_[hashes_[i + kAhead] & (segmentSlots_.size() - 1)]);
    }
    if (!InsertSegment(KeyOf(pieces[i]), hashes_[i])) continue;
    // Kept the way it was first given: a line is drawn from its first end.
    segmentEnds_.push_back((uint64_t{pieces[i].first} << 32) | pieces[i].second);
    colours_.push_back(pieces[i].colour);
    if (pieces[i].first != pieces[i].second) ++lines_;
  }
}

void WireBuilder::AddLoneDot(const Vec3& position, uint32_t colour) {
  if (segmentEnds_.size() >= kMaxCount) TooMany("segments");
  const uint32_t a = NewPoint(position);
  segmentEnds_.push_back((uint64_t{a} << 32) | a);
  colours_.push_back(colour);
}

void WireBuilder::Finish(SceneData& scene) {
  pointSlots_ = {};
  segmentSlots_ = {};
  scene.Points = std::vector<PointRecord>();
  scene.Points.reserve(positions_.size());
  for (const Vec3& p : positions_) scene.Points.push_back(PointRecord{p, {}, 0, 0});
  positions_ = {};

  scene.Segments = std::vector<SegmentRecord>();
  scene.Segments.reserve(segmentEnds_.size());
  for (size_t k = 0; k < segmentEnds_.size(); ++k) {
    const auto first = static_cast<int32_t>(segmentEnds_[k] >> 32);
    const auto second = static_cast<int32_t>(segmentEnds_[k] & 0xFFFFFFFFu);
    SegmentRecord s{};
    s.Colour = colours_[k];
    s.First = first;
    if (first != second) {
      s.Kind = 0;
      s.Second = second;
    } else {
      s.Kind = 1;  // a dot: radius 0 draws one pixel
    }
    scene.Segments.push_back(s);
  }
  segmentEnds_ = {};
  colours_ = {};
  mergedPoints_ = tableSegments_ = lines_ = 0;
}
