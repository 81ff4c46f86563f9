// The same matches as zlib's longest_match, found over finer chains.
#include "formats/deflate/match_finder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

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

MatchFinder::MatchFinder(const uint8_t* data, size_t size, ChainLinking linking)
    : data_(data),
      size_(size),
      linking_(linking),
      insertEnd_(size >= kMinMatch ? static_cast<uint32_t>(size - (kMinMatch - 1)) : 0),
      coveredEnd_(size >= kMaxMatch ? static_cast<uint32_t>(size - (kMaxMatch - 1)) : 0),
      slots_(std::make_unique<Slot[]>(size_t{1} << kRingBits)),
      heads_(static_cast<uint32_t*>(
          std::calloc((size_t{kLevels} << kLevelBits) + kHashSize, sizeof(uint32_t)))),
      counts_(std::make_unique<uint16_t[]>(kHashSize)) {
  if (!heads_) throw std::bad_alloc();
  std::fill_n(counts_.get(), kHashSize, 0);
  std::fill_n(chainBuilt_, kEagerLevels, UINT32_MAX);
}

// The hash of a position's first kLevelLength[L] bytes; it has at least 16 to read.
template <size_t L>
uint32_t MatchFinder::LevelHash(const uint8_t* s) {
  static_assert(kLevelLength[0] == 3 && kLevelLength[1] == 4 && kLevelLength[2] == 6 &&
                kLevelLength[3] == 8 && kLevelLength[4] == 16);
  if constexpr (L == 0) return Hash32<kLevelBits>(Load32(s) << 8);
  if constexpr (L == 1) return Hash32<kLevelBits>(Load32(s));
  if constexpr (L == 2) return Hash64<kLevelBits>(Load64(s) << 16);
  if constexpr (L == 3) return Hash64<kLevelBits>(Load64(s));
  if constexpr (L == 4) {
    return Hash64<kLevelBits>((Load64(s) * 0x9E3779B97F4A7C15ull) ^ Load64(s + 8));
  }
}

void MatchFinder::LinkRun(uint32_t from, uint32_t to) {
  static_assert(kEagerLevels == 2);
  uint16_t* const counts = counts_.get();
  uint32_t q = from;
  // zlib's rolling hash: after the third byte only the last three count.
  unsigned h = ((unsigned{data_[q]} << kHashShift) ^ data_[q + 1]) & kHashMask;
  if (q == 0) {
    // Position 0 counts on zlib's chain but is its nil: no chain leads to it.
    h = ((h << kHashShift) ^ data_[2]) & kHashMask;
    slots_[0] = Slot{};
    slots_[0].rank = ++counts[h];
    q = 1;
  }
  for (; q < to; ++q) {
    // The heads are met in no order: ask for those of a position a little ahead early. Its
    // bytes are there to read (a covered position has kMaxMatch after it).
    static_assert(kPrefetch + 4 <= kMaxMatch);
    __builtin_prefetch(&heads_[LevelHash<0>(data_ + q + kPrefetch)], 1);
    __builtin_prefetch(&heads_[(size_t{1} << kLevelBits) + LevelHash<1>(data_ + q + kPrefetch)], 1);
    h = ((h << kHashShift) ^ data_[q + 2]) & kHashMask;
    slots_[q & kRingMask].rank = ++counts[h];
    LinkLevel<0>(q);
    LinkLevel<1>(q);
  }
}

void MatchFinder::Build(uint32_t p) {
  while (built_ <= p) {
    const uint32_t end = std::min(built_ + kRun, coveredEnd_);
    if (built_ >= end) {
      // Beyond the covered positions only zlib's own walk searches, over its own chain.
      built_ = insertEnd_;
      break;
    }
    if (!helped_) {
      LinkRun(built_, end);
      built_ = end;
      continue;
    }
    Ask(end);
    for (uint32_t ready = ready_.load(std::memory_order_acquire); ready < end;
         ready = ready_.load(std::memory_order_acquire)) {
      ready_.wait(ready, std::memory_order_acquire);
    }
    built_ = end;
    // The next run, built while this one is parsed. It reaches at most 2 kRun past p, and
    // the ring keeps everything from kMaxDist behind p.
    Ask(std::min(end + kRun, coveredEnd_));
  }
}

void MatchFinder::Ask(uint32_t end) {
  if (end <= asked_) return;
  asked_ = end;
  wanted_.store(end, std::memory_order_release);
  Poke();
}

void MatchFinder::HelpAlong(const std::function<bool()>& sideWork) {
  uint32_t done = 0;
  for (;;) {
    // Whatever moves on after this, the wait below sees.
    const uint32_t seen = epoch_.load(std::memory_order_acquire);
    if (finished_.load(std::memory_order_acquire)) return;
    const uint32_t wanted = wanted_.load(std::memory_order_acquire);
    if (wanted != done) {
      LinkRun(done, wanted);
      done = wanted;
      ready_.store(done, std::memory_order_release);
      ready_.notify_one();
      continue;
    }
    if (sideWork && sideWork()) continue;
    epoch_.wait(seen, std::memory_order_acquire);
  }
}

void MatchFinder::Finish() {
  finished_.store(true, std::memory_order_release);
  Poke();
}

// A position more than kMaxDist before p is in no window from p on: a chain can start there
// afresh. Heads left from before lie further back still, and every walk stops at them.
void MatchFinder::BuildChain(int chain, uint32_t p) {
  const uint32_t windowEnd = p > kMaxDist ? p - kMaxDist : 0;
  uint32_t q = std::max(std::max(chainBuilt_[chain], windowEnd), uint32_t{1});
  const uint32_t end = std::min(built_, chain == kZlibChain ? insertEnd_ : coveredEnd_);
  if (chain < kLevels) {
    static constexpr auto kLinkRange = []<size_t... L>(std::index_sequence<L...>) {
      return std::array{&MatchFinder::LinkRange<L>...};
    }
    (std::make_index_sequence<kLevels>{});
    (this->*kLinkRange[chain])(q, end);
  } else {
    uint32_t* const zhead = heads_.get() + (size_t{kLevels} << kLevelBits);
    for (; q < end; ++q) {
      uint32_t& head = zhead[ZlibHash(data_ + q)];
      slots_[q & kRingMask].zlink = Link(q, head);
      head = q + kHeadBias;
    }
  }
  chainBuilt_[chain] = end;
}

// Linking a level over a window costs about as much as walking as many links of a coarser
// chain, whose candidates are a superset. A level is linked once the walks that did without it
// have cost as much as linking it would, or when that is cheap: never much worse than either.
// Once linked it is carried on while the searches it served would have cost as much on the
// coarser chain as carrying it on does.
int MatchFinder::Choose(int wanted, uint32_t p) {
  int level = wanted;
  while (chainBuilt_[level] <= p) {
    const uint32_t built = chainBuilt_[level];
    const uint32_t from = std::max(built, p > kMaxDist ? p - kMaxDist : 0);
    const uint32_t cost = built_ - from;
    const Use& use = use_[level];
    const bool carryOn =
        from == built && use.served != 0 && use.coarseSearches != 0 &&
        uint64_t{use.served} * use.coarseLinks >= uint64_t{cost} * use.coarseSearches;
    const bool pays = cost <= kCheapLink || cost <= use.debt || carryOn;
    if (linking_ == ChainLinking::Always || (linking_ == ChainLinking::AsItPays && pays)) {
      BuildChain(level, p);
      use_[level].debt = 0;
      use_[level].served = 0;
      break;
    }
    --level;  // the eager levels are always built
  }
  return level;
}

void MatchFinder::Account(int wanted, int level, uint32_t links) {
  Use& use = use_[wanted];
  if (level == wanted) {
    ++use.served;
  } else {
    use.debt += links;
    use.coarseLinks += links;
    ++use.coarseSearches;
  }
}

unsigned MatchFinder::Walk(uint32_t p, uint32_t windowStart, int level, unsigned best,
                           unsigned chain, uint32_t& start) {
  int wanted = level;
  if (chainBuilt_[wanted] <= p) level = Choose(wanted, p);
  uint32_t links = kSearchCost;
  const Slot* const slots = slots_.get();
  const uint16_t rank = slots[p & kRingMask].rank;
  const uint8_t* const scan = data_ + p;
  uint32_t cur = p;
  unsigned link = slots[p & kRingMask].link[level];
  while (link != 0) {
    ++links;
    cur -= link;
    const uint32_t dist = p - cur;
    const Slot& here = slots[cur & kRingMask];
    if (dist >= kMaxDist) {
      // Only the head of zlib's chain may lie exactly kMaxDist back, and not at its nil. A
      // candidate sharing three bytes has p's zlib hash, so its rank tells.
      if (dist == kMaxDist && cur > windowStart && static_cast<uint16_t>(rank - here.rank) == 1) {
        const unsigned len = MatchLength(scan, data_ + cur);
        if (len > best) {
          best = len;
          start = cur;
        }
      }
      break;
    }
    const unsigned len = MatchLength(scan, data_ + cur);
    // Three equal bytes put cur on p's zlib chain; beyond `chain` of them zlib has stopped, and
    // everything further down this chain lies further down zlib's. Within `chain` positions of
    // p there cannot be more than `chain` of them.
    if (len >= kMinMatch && dist > chain && static_cast<uint16_t>(rank - here.rank) > chain) {
      break;
    }
    if (len > best) {
      best = len;
      start = cur;
      if (len >= kNiceLength) break;
      if (kLevelFor[best + 1] != wanted) {
        if (wanted >= kEagerLevels) Account(wanted, level, links);
        links = kSearchCost;
        wanted = kLevelFor[best + 1];
        const int finer = chainBuilt_[wanted] <= p ? Choose(wanted, p) : wanted;
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
    }
    link = here.link[level];
  }
  if (wanted >= kEagerLevels) Account(wanted, level, links);
  return best;
}

}  // namespace deflate9
