// The same matches as zlib's longest_match, found over finer chains.
#include "scene/match_finder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace deflate9 {

namespace {

// Little-endian words whatever the machine: the prefix hashes keep the first bytes of a word,
// and the match length is the number of low zero bytes of a difference.
uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

template <unsigned kBits>
uint32_t Hash32(uint32_t v) {
  return (v * 0x9E3779B1u) >> (32 - kBits);
}

template <unsigned kBits>
uint32_t Hash64(uint64_t v) {
  return static_cast<uint32_t>((v * 0x9E3779B97F4A7C15ull) >> (64 - kBits));
}

unsigned ZlibHash(const uint8_t* s) {
  return ((unsigned{s[0]} << (2 * kHashShift)) ^ (unsigned{s[1]} << kHashShift) ^ s[2]) & kHashMask;
}

// Bytes a and b have in common, up to kMaxMatch; both have that many bytes to read.
unsigned MatchLength(const uint8_t* a, const uint8_t* b) {
  unsigned len = 0;
  while (len + 8 <= kMaxMatch) {
    const uint64_t x = Load64(a + len) ^ Load64(b + len);
    if (x != 0) return len + static_cast<unsigned>(std::countr_zero(x) >> 3);
    len += 8;
  }
  while (len < kMaxMatch && a[len] == b[len]) ++len;
  return len;
}

}  // namespace

MatchFinder::MatchFinder(const uint8_t* data, size_t size)
    : data_(data),
      size_(size),
      insertEnd_(size >= kMinMatch ? static_cast<uint32_t>(size - (kMinMatch - 1)) : 0),
      coveredEnd_(size >= kMaxMatch ? static_cast<uint32_t>(size - (kMaxMatch - 1)) : 0),
      slots_(std::make_unique<Slot[]>(size_t{1} << kRingBits)),
      heads_(std::make_unique<uint32_t[]>((size_t{kLevels} << kLevelBits) + kZlibHashes)),
      counts_(std::make_unique<uint16_t[]>(kZlibHashes)) {
  std::fill_n(heads_.get(), (size_t{kLevels} << kLevelBits) + kZlibHashes, 0);
  std::fill_n(counts_.get(), kZlibHashes, 0);
}

void MatchFinder::Build(uint32_t p) {
  uint32_t* const head = heads_.get();
  uint32_t* const zhead = head + (size_t{kLevels} << kLevelBits);
  constexpr size_t kTable = size_t{1} << kLevelBits;
  while (built_ <= p) {
    const uint32_t end = std::min(built_ + kRun, insertEnd_);
    uint32_t q = built_;
    if (q == 0) {
      // Position 0 counts on zlib's chain but is its nil: no chain leads to it.
      slots_[0] = Slot{};
      slots_[0].rank = ++counts_[ZlibHash(data_)];
      q = 1;
    }
    for (const uint32_t covered = std::min(end, coveredEnd_); q < covered; ++q) {
      const uint8_t* s = data_ + q;
      Slot& slot = slots_[q & kRingMask];
      const uint32_t here = q + kHeadBias;
      const unsigned zh = ZlibHash(s);
      slot.rank = ++counts_[zh];
      slot.zlink = Link(q, zhead[zh]);
      zhead[zh] = here;
      const uint32_t w4 = Load32(s);
      const uint64_t w8 = Load64(s);
      const std::array<uint32_t, kLevels> h = {
          Hash32<kLevelBits>(w4 << 8),
          Hash32<kLevelBits>(w4),
          Hash64<kLevelBits>(w8 << 16),
          Hash64<kLevelBits>(w8),
          Hash64<kLevelBits>((w8 * 0x9E3779B97F4A7C15ull) ^ Load64(s + 8)),
      };
      for (int l = 0; l < kLevels; ++l) {
        uint32_t& hd = head[l * kTable + h[l]];
        slot.link[l] = Link(q, hd);
        hd = here;
      }
    }
    // The last positions are only on zlib's chain: Longest never answers for them, and no
    // covered position looks forward.
    for (; q < end; ++q) {
      Slot& slot = slots_[q & kRingMask];
      const unsigned zh = ZlibHash(data_ + q);
      slot = Slot{};
      slot.rank = ++counts_[zh];
      slot.zlink = Link(q, zhead[zh]);
      zhead[zh] = q + kHeadBias;
    }
    built_ = end;
  }
}

namespace {

// The level whose chain holds every position sharing `length` bytes with p.
template <int kLevels>
constexpr std::array<uint8_t, kMaxMatch + 2> LevelTable(const unsigned (&lengths)[kLevels]) {
  std::array<uint8_t, kMaxMatch + 2> t{};
  for (unsigned len = 0; len < t.size(); ++len) {
    int l = kLevels - 1;
    while (l > 0 && lengths[l] > len) --l;
    t[len] = static_cast<uint8_t>(l);
  }
  return t;
}

}  // namespace

unsigned MatchFinder::Longest(uint32_t p, uint32_t hashHead, unsigned best, unsigned chain,
                              uint32_t& start) const {
  static constexpr std::array<uint8_t, kMaxMatch + 2> kLevelFor = LevelTable(kLevelLength);
  const Slot* const slots = slots_.get();
  const uint16_t rank = slots[p & kRingMask].rank;
  const uint8_t* const scan = data_ + p;
  int level = kLevelFor[best + 1];
  uint32_t cur = p;
  unsigned link = slots[p & kRingMask].link[level];
  while (link != 0) {
    cur -= link;
    const uint32_t dist = p - cur;
    // Only the head of zlib's chain may lie exactly kMaxDist back.
    if (dist >= kMaxDist && (dist > kMaxDist || cur != hashHead)) break;
    const Slot& here = slots[cur & kRingMask];
    const unsigned len = MatchLength(scan, data_ + cur);
    // Three equal bytes put cur on p's zlib chain; beyond `chain` of them zlib has stopped.
    if (len >= kMinMatch && static_cast<uint16_t>(rank - here.rank) > chain) break;
    if (len > best) {
      best = len;
      start = cur;
      if (len >= kNiceLength) break;
      const int finer = kLevelFor[best + 1];
      if (finer != level) {
        // Nothing more recent than cur shares best + 1 bytes (the walk would have met it
        // first), so p's chain on the finer level goes on from just before cur.
        level = finer;
        cur = p;
        link = slots[p & kRingMask].link[level];
        while (link != 0 && cur - link >= start) {
          cur -= link;
          link = slots[cur & kRingMask].link[level];
        }
        continue;
      }
    }
    link = here.link[level];
  }
  return best;
}

}  // namespace deflate9
