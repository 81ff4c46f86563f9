// The matches zlib's longest_match finds at level 9, found without walking its long chains.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>

#include "formats/deflate/deflate_level9_testing.h"
#include "formats/deflate/deflate_params.h"

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
// of positions with its zlib hash, and within `chain` positions of p it cannot exceed `chain`.
// The answer is zlib's, to the position.
//
// zlib puts every position but the last two on its chains, in order, whatever it chooses to
// emit, so the chains depend on the data alone: they are built ahead of the parse, in a ring
// that holds the window and the run being built. A link is the distance back to the previous
// position of its chain, 0 when that lies beyond kMaxDist (beyond any window that reaches this
// position). The chains walked everywhere are built for every position; the others only over
// the windows of the positions that need them.
//
// The eager chains depend on the data alone, so a second thread may build them a run ahead of
// the parse (HelpAlong): the parse then only waits where that thread has not got there yet.
// The runs it builds lie wholly after everything the parse reads or links, and the ring holds
// the window behind the parse, the run in hand and the one being built, so the two threads
// never touch the same slot or head.
//
// Positions are offsets into the whole input; the finder reads the input, never zlib's window.
// Longest answers only for positions at least kMaxMatch bytes before the end (Covers); there
// zlib's comparisons never reach past the data. The rest is left to zlib's own walk, over
// zlib's own chain (ZlibHead, ZlibNext).
class MatchFinder {
 public:
  MatchFinder(const uint8_t* data, size_t size, ChainLinking linking = ChainLinking::AsItPays);

  bool Covers(uint32_t p) const { return p + uint64_t{kMaxMatch} <= size_; }

  // Makes the chains ready as far as p. Positions only go forward; p is one that zlib puts on
  // its chains (at most size - 3).
  void Reach(uint32_t p) {
    if (p >= built_) Build(p);
  }

  // Builds the eager chains run after run as the parse asks for them, on the thread that calls
  // it, until Finish: for a second thread beside the one that parses, after ExpectHelp. The
  // parse may start before this does; it waits for the runs it needs. Between runs it calls
  // `sideWork`, if any, while that says it did something; Poke wakes it for more.
  void HelpAlong(const std::function<bool()>& sideWork = nullptr);
  // There may be side work for the helper.
  void Poke() {
    epoch_.fetch_add(1, std::memory_order_acq_rel);
    epoch_.notify_one();
  }
  // The parse is over, or failed: HelpAlong returns. Called by the parsing thread, always,
  // once the finder is helped.
  void Finish();
  // Whether a second thread builds the eager chains (set before the parse starts).
  void ExpectHelp() { helped_ = true; }

  // The latest position before p with p's zlib hash, 0 when it lies more than kMaxDist back
  // or there is none (position 0 is zlib's nil before its window first slides, and out of
  // reach after). The same for the position after `cur` on zlib's chain, for a cur no more
  // than kMaxDist before the latest p asked about.
  uint32_t ZlibHead(uint32_t p) {
    Ready(kZlibChain, p);
    return Back(p, slots_[p & kRingMask].zlink);
  }
  uint32_t ZlibNext(uint32_t cur) const { return Back(cur, slots_[cur & kRingMask].zlink); }

  // zlib's longest_match for the covered position p, whether or not zlib would have searched
  // there (where it would not, nothing is found): `windowStart` is the position of zlib's
  // window offset 0 (its nil), `best` the length already in hand and `chain` the most
  // candidates zlib would look at. Returns the length; when it beats `best`, `start` is where
  // the match begins.
  unsigned Longest(uint32_t p, uint32_t windowStart, unsigned best, unsigned chain,
                   uint32_t& start) {
    const int level = kLevelFor[best + 1];
    // Most searches on data that does not repeat end here: nobody shares the prefix.
    if (level < kEagerLevels && slots_[p & kRingMask].link[level] == 0) return best;
    return Walk(p, windowStart, level, best, chain, start);
  }

 private:
  static constexpr int kLevels = 5;
  static constexpr unsigned kLevelLength[kLevels] = {3, 4, 6, 8, 16};
  // Heads per level. Fewer bits leave chains full of positions that only hash alike, and
  // walking those costs far more than the memory (2 MiB a level, touched only where used).
  static constexpr unsigned kLevelBits = 19;
  // How far ahead building asks for the heads it will need.
  static constexpr uint32_t kPrefetch = 16;
  // The chains of the first levels are walked all the time, the longer ones only where the
  // data repeats more; zlib's own chain only near the end of the input.
  static constexpr int kEagerLevels = 2;
  static constexpr int kZlibChain = kLevels;
  // A query at p reads back to p - kMaxDist; the runs reach at most kRun past p.
  static constexpr unsigned kRingBits = 16;
  static constexpr uint32_t kRingMask = (1u << kRingBits) - 1;
  // With a helper, the run being built lies ahead of the one in hand as well.
  static constexpr uint32_t kRun = 1u << 13;
  static_assert(kMaxDist + 2 * kRun <= kRingMask);
  // Linking costs, in links walked: always worth it below kCheapLink; a search costs at least
  // kSearchCost.
  static constexpr uint32_t kCheapLink = 256;
  static constexpr uint32_t kSearchCost = 8;
  // Heads hold positions plus this, so that an empty head (0) lies beyond any window.
  static constexpr uint32_t kHeadBias = 1u << 16;

  // The level whose chain holds every position sharing `length` bytes with p.
  static constexpr std::array<uint8_t, kMaxMatch + 2> kLevelFor = [] {
    std::array<uint8_t, kMaxMatch + 2> t{};
    for (unsigned len = 0; len < t.size(); ++len) {
      int l = kLevels - 1;
      while (l > 0 && kLevelLength[l] > len) --l;
      t[len] = static_cast<uint8_t>(l);
    }
    return t;
  }();

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
  template <size_t L>
  static uint32_t LevelHash(const uint8_t* s);
  template <size_t L>
  void LinkLevel(uint32_t q) {
    uint32_t& head = heads_[(size_t{L} << kLevelBits) + LevelHash<L>(data_ + q)];
    slots_[q & kRingMask].link[L] = Link(q, head);
    head = q + kHeadBias;
  }

  template <size_t L>
  void LinkRange(uint32_t q, uint32_t end) {
    for (; q < end; ++q) LinkLevel<L>(q);
  }

  void Build(uint32_t p);
  // Links the eager chains of the positions [from, to) and counts their zlib hashes.
  void LinkRun(uint32_t from, uint32_t to);
  // Asks the helper for the runs up to `end`.
  void Ask(uint32_t end);
  // Links a chain that is not built everywhere over the window of p and on to built_.
  void BuildChain(int chain, uint32_t p);
  void Ready(int chain, uint32_t p) {
    if (chainBuilt_[chain] <= p) BuildChain(chain, p);
  }
  // The finest level no finer than `wanted` to walk at p, linked now if that pays.
  int Choose(int wanted, uint32_t p);
  // Books a search that wanted a level and walked `links` links of `level`.
  void Account(int wanted, int level, uint32_t links);
  unsigned Walk(uint32_t p, uint32_t windowStart, int level, unsigned best, unsigned chain,
                uint32_t& start);

  const uint8_t* data_;
  size_t size_;
  ChainLinking linking_;
  uint32_t built_ = 0;       // positions below this have their eager links and rank
  uint32_t insertEnd_ = 0;   // positions zlib chains: below size - 2
  uint32_t coveredEnd_ = 0;  // positions Longest answers for
  // Per chain built on demand, positions below this are linked back to a window before the
  // latest query; the eager ones never need building.
  uint32_t chainBuilt_[kLevels + 1] = {};
  // Per level linked on demand: the links walked on coarser chains since it was last linked,
  // the searches it served since then, and all links and searches that did without it.
  struct Use {
    uint32_t debt = 0;
    uint32_t served = 0;
    uint64_t coarseLinks = 0;
    uint64_t coarseSearches = 0;
  };
  Use use_[kLevels];
  std::unique_ptr<Slot[]> slots_;
  // kLevels tables of 2^kLevelBits heads, then zlib's heads; and per zlib hash, its count.
  struct Free {
    void operator()(void* p) const { std::free(p); }
  };
  std::unique_ptr<uint32_t[], Free> heads_;  // zeroed by calloc: pages never used stay untouched
  std::unique_ptr<uint16_t[]> counts_;
  // With a helper: the end it was asked to build to, the end it has built to, and whether the
  // parse is over. Only the parse asks, and only the helper builds.
  bool helped_ = false;
  uint32_t asked_ = 0;
  std::atomic<uint32_t> wanted_{0};
  std::atomic<uint32_t> ready_{0};
  std::atomic<bool> finished_{false};
  std::atomic<uint32_t> epoch_{0};  // moves on whenever there may be something for the helper
};

}  // namespace deflate9
