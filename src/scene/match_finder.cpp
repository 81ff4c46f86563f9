// The same matches as zlib's longest_match, found over finer chains.
#include "scene/match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace deflate9 {

namespace {

uint64_t Load(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

uint64_t Mix(uint64_t word, uint64_t h) {
  return (h ^ word) * 0x9E3779B97F4A7C15ull;
}

// Bytes a and b have in common, up to kMaxMatch; both have that many bytes to read.
unsigned MatchLength(const uint8_t* a, const uint8_t* b) {
  unsigned len = 0;
  while (len + 8 <= kMaxMatch) {
    const uint64_t x = Load(a + len) ^ Load(b + len);
    if (x != 0) {
      // The first differing byte of two little-endian words is the lowest set byte.
      if constexpr (std::endian::native == std::endian::little) {
        return len + static_cast<unsigned>(std::countr_zero(x) >> 3);
      } else {
        while (a[len] == b[len]) ++len;
        return len;
      }
    }
    len += 8;
  }
  while (len < kMaxMatch && a[len] == b[len]) ++len;
  return len;
}

}  // namespace

MatchFinder::MatchFinder(const uint8_t* data, size_t size) : data_(data), size_(size) {
  for (int l = 0; l < kLevels; ++l) {
    const size_t heads = l == 0 ? kHashSize : size_t{1} << kLevelBits;
    head_[l] = std::make_unique<uint32_t[]>(heads);
    std::fill_n(head_[l].get(), heads, 0);
    prev_[l] = std::make_unique<uint32_t[]>(kWSize);
  }
  rank_ = std::make_unique<uint32_t[]>(kWSize);
  hashCount_ = std::make_unique<uint32_t[]>(kHashSize);
  std::fill_n(hashCount_.get(), kHashSize, 0);
}

int MatchFinder::LevelFor(unsigned length) {
  int l = kLevels - 1;
  while (kLevelLength[l] > length) --l;
  return l;
}

void MatchFinder::Link(int level, size_t slot, uint32_t p, uint64_t hash) {
  const size_t h = static_cast<size_t>(hash >> (64 - kLevelBits));
  prev_[level][slot] = head_[level][h];
  head_[level][h] = p;
}

void MatchFinder::Insert(uint32_t p, unsigned zlibHash) {
  if (!Covers(p)) return;
  const size_t slot = p & kWMask;
  rank_[slot] = ++hashCount_[zlibHash];
  prev_[0][slot] = head_[0][zlibHash];
  head_[0][zlibHash] = p;
  // Words of the first 16 bytes, in memory order whatever the machine: only equality of
  // prefixes matters, and equal bytes give equal words.
  const uint8_t* s = data_ + p;
  uint8_t four[8] = {}, six[8] = {};
  std::memcpy(four, s, 4);
  std::memcpy(six, s, 6);
  const uint64_t h8 = Mix(Load(s), 0);
  Link(1, slot, p, Mix(Load(four), 0));
  Link(2, slot, p, Mix(Load(six), 0));
  Link(3, slot, p, h8);
  Link(4, slot, p, Mix(Load(s + 8), h8));
}

unsigned MatchFinder::Longest(uint32_t p, uint32_t hashHead, uint32_t windowStart, unsigned best,
                              unsigned chain, uint32_t& start) const {
  const uint32_t rank = rank_[p & kWMask];
  const uint8_t* scan = data_ + p;
  int level = LevelFor(best + 1);
  uint32_t cur = level == 0 ? hashHead : prev_[level][p & kWMask];
  for (;;) {
    // zlib's nil is window offset 0; everything at or before it is out of reach anyway.
    if (cur <= windowStart || cur >= p) break;
    // Only the head of zlib's chain may lie exactly kMaxDist back.
    const uint32_t dist = p - cur;
    if (dist > kMaxDist || (dist == kMaxDist && cur != hashHead)) break;
    const unsigned len = MatchLength(scan, data_ + cur);
    // Three equal bytes put cur on p's zlib chain; beyond `chain` of them zlib has stopped.
    if (len >= kMinMatch && rank - rank_[cur & kWMask] > chain) break;
    if (len > best) {
      best = len;
      start = cur;
      if (len >= kNiceLength) break;
      const int finer = LevelFor(best + 1);
      if (finer != level) {
        // Nothing more recent than cur shares best + 1 bytes (the walk would have met it
        // first), so p's chain on the finer level goes on from just before cur.
        level = finer;
        uint32_t c = prev_[level][p & kWMask];
        while (c >= cur) c = prev_[level][c & kWMask];
        cur = c;
        continue;
      }
    }
    cur = prev_[level][cur & kWMask];
  }
  return best;
}

}  // namespace deflate9
