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
// candidates that share three bytes but fall short of the match already found.
//
// Here every position is chained as well by hashes of its first 4, 6, 8 and 16 bytes. A
// candidate that beats a match of b bytes shares b + 1 bytes, so it lies on the chain of the
// longest of those prefixes no longer than b + 1; that chain, walked most recent first, meets
// such candidates in zlib's order and skips most of the rest. Where zlib would have stopped
// needs no walk either: a candidate's rank on zlib's chain is the difference between two
// running counts of positions with its hash. The answer is zlib's, to the position.
//
// Positions are offsets into the whole input; the finder reads the input, never zlib's window.
// It answers only for positions at least kMaxMatch bytes before the end (Covers); there zlib's
// comparisons never reach past the data. The rest is left to zlib's own walk.
class MatchFinder {
 public:
  MatchFinder(const uint8_t* data, size_t size);

  bool Covers(uint32_t p) const { return p + uint64_t{kMaxMatch} <= size_; }

  // Called for every position zlib puts on its hash chains, in the same order, with zlib's
  // hash of the position's three bytes.
  void Insert(uint32_t p, unsigned zlibHash);

  // zlib's longest_match for the covered position p: `hashHead` is the head of its chain,
  // `windowStart` the position of zlib's window offset 0 (its nil), `best` the length already
  // in hand and `chain` the most candidates zlib would look at. Returns the length; when it
  // beats `best`, `start` is where the match begins.
  unsigned Longest(uint32_t p, uint32_t hashHead, uint32_t windowStart, unsigned best,
                   unsigned chain, uint32_t& start) const;

 private:
  static constexpr int kLevels = 5;
  static constexpr unsigned kLevelLength[kLevels] = {3, 4, 6, 8, 16};
  static constexpr unsigned kLevelBits = 15;

  static int LevelFor(unsigned length);
  void Link(int level, size_t slot, uint32_t p, uint64_t hash);

  const uint8_t* data_;
  size_t size_;
  // Heads and links per level; level 0 is zlib's own chain, headed by its hash.
  std::unique_ptr<uint32_t[]> head_[kLevels];
  std::unique_ptr<uint32_t[]> prev_[kLevels];
  // Per position, the running count of positions with its zlib hash; per hash, the count.
  std::unique_ptr<uint32_t[]> rank_;
  std::unique_ptr<uint32_t[]> hashCount_;
};

}  // namespace deflate9
