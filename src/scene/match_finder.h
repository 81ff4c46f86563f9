// The matches zlib's longest_match finds at level 9, found without walking its long chains.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "scene/deflate_params.h"

namespace deflate9 {

// zlib walks the chain of earlier positions whose three bytes hash alike, most recent first,
// looks at no more than `chain` of them and at none beyond kMaxDist, and keeps the first of the
// longest matches longer than the one it has. On repetitive data that is thousands of
// candidates that share three bytes but fall short of the match already found; on data whose
// bytes differ mostly in their high bits, zlib's hash (which drops them) adds as many that do
// not even share three.
//
// Here every position is chained by hashes of its first 3, 4, 6, 8 and 16 bytes. A candidate
// that beats a match of b bytes shares b + 1 bytes, so it lies on the chain of the longest of
// those prefixes no longer than b + 1; that chain, walked most recent first, meets such
// candidates in zlib's order and skips most of the rest. Where zlib would have stopped needs no
// walk either: a candidate's rank on zlib's chain is the difference between two running counts
// of positions with its zlib hash. The answer is zlib's, to the position.
//
// zlib puts every position but the last two on its chains, in order, whatever it chooses to
// emit, so the chains depend on the data alone: they are built in runs ahead of the parse, in a
// ring that holds the window and the run. A link is the distance back to the previous position
// of its chain, 0 when that lies beyond kMaxDist (beyond any window that reaches this position).
//
// Positions are offsets into the whole input; the finder reads the input, never zlib's window.
// Longest answers only for positions at least kMaxMatch bytes before the end (Covers); there
// zlib's comparisons never reach past the data. The rest is left to zlib's own walk, over the
// chain of ZlibHead and ZlibNext.
class MatchFinder {
 public:
  MatchFinder(const uint8_t* data, size_t size);

  bool Covers(uint32_t p) const { return p + uint64_t{kMaxMatch} <= size_; }

  // Makes the links of p and of every position before it ready. Positions only go forward; p
  // is one that zlib puts on its chains (at most size - 3).
  void Reach(uint32_t p) {
    if (p >= built_) Build(p);
  }

  // The latest position before p with p's zlib hash, 0 when it lies more than kMaxDist back
  // (or there is none; position 0 is zlib's nil before the window first slides and out of
  // reach after). The same for the position after `cur` on zlib's chain.
  uint32_t ZlibHead(uint32_t p) const { return Back(p, slots_[p & kRingMask].zlink); }
  uint32_t ZlibNext(uint32_t cur) const { return Back(cur, slots_[cur & kRingMask].zlink); }

  // zlib's longest_match for the covered position p: `hashHead` is the head of its chain (its
  // window's nil excluded), `best` the length already in hand and `chain` the most candidates
  // zlib would look at. Returns the length; when it beats `best`, `start` is where the match
  // begins.
  unsigned Longest(uint32_t p, uint32_t hashHead, unsigned best, unsigned chain,
                   uint32_t& start) const;

 private:
  static constexpr int kLevels = 5;
  static constexpr unsigned kLevelLength[kLevels] = {3, 4, 6, 8, 16};
  static constexpr unsigned kLevelBits = 16;
  static constexpr unsigned kZlibHashes = kHashSize;
  // A query at p reads back to p - kMaxDist; the runs reach at most kRun past p.
  static constexpr unsigned kRingBits = 16;
  static constexpr uint32_t kRingMask = (1u << kRingBits) - 1;
  static constexpr uint32_t kRun = 1u << 14;
  static_assert(kMaxDist + kRun <= kRingMask);
  // Heads hold positions plus this, so that an empty head (0) lies beyond any window.
  static constexpr uint32_t kHeadBias = 1u << 16;

  struct Slot {
    uint16_t link[kLevels];
    uint16_t zlink;  // to the previous position with the same zlib hash
    uint16_t rank;   // running count of positions with that hash, modulo 2^16
    uint16_t unused;
  };

  static uint32_t Back(uint32_t p, uint16_t link) { return link != 0 ? p - link : 0; }
  static uint16_t Link(uint32_t p, uint32_t head) {
    const uint32_t d = p + kHeadBias - head;
    return static_cast<uint16_t>(d <= kMaxDist ? d : 0);
  }
  void Build(uint32_t p);

  const uint8_t* data_;
  size_t size_;
  uint32_t built_ = 0;       // positions below this are linked
  uint32_t insertEnd_ = 0;   // positions zlib chains: below size - 2
  uint32_t coveredEnd_ = 0;  // positions Longest answers for
  std::unique_ptr<Slot[]> slots_;
  std::unique_ptr<uint32_t[]> heads_;  // kLevels tables of 2^kLevelBits, then zlib's
  std::unique_ptr<uint16_t[]> counts_;
};

}  // namespace deflate9
