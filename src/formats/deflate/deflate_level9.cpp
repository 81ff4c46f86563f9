// zlib's deflate at level 9 (deflate.c: the window, the hash chains, the lazy parse), rebuilt
// step for step so that it makes the same choices, with MatchFinder doing the searching.
#include "formats/deflate/deflate_level9.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "formats/deflate/deflate_blocks.h"
#include "formats/deflate/deflate_level9_testing.h"
#include "formats/deflate/deflate_params.h"
#include "formats/deflate/match_finder.h"

namespace deflate9 {

namespace {

// zlib's inflate run over a stream as its bytes come, what comes out compared with the input:
// a stream is only trusted once it unpacks to exactly what it was made from.
class StreamCheck {
 public:
  explicit StreamCheck(std::span<const uint8_t> original)
      : original_(original), piece_(std::make_unique<uint8_t[]>(kPiece)) {
    live_ = inflateInit(&s_) == Z_OK;
    same_ = live_;
  }
  ~StreamCheck() {
    if (live_) inflateEnd(&s_);
  }
  StreamCheck(const StreamCheck&) = delete;
  StreamCheck& operator=(const StreamCheck&) = delete;

  // The next `n` bytes of the stream.
  void Feed(const uint8_t* data, size_t n) {
    while (n > 0 && same_ && ret_ == Z_OK) {
      const size_t slice = std::min<size_t>(n, UINT_MAX);
      s_.next_in = const_cast<Bytef*>(data);
      s_.avail_in = static_cast<uInt>(slice);
      data += slice;
      n -= slice;
      while (same_ && ret_ == Z_OK) {
        s_.next_out = piece_.get();
        s_.avail_out = kPiece;
        ret_ = inflate(&s_, Z_NO_FLUSH);
        const size_t have = kPiece - s_.avail_out;
        same_ = have <= original_.size() - done_ &&
                std::equal(piece_.get(), piece_.get() + have, original_.begin() + done_);
        done_ += have;
        // Everything given is used up: the rest of the stream is still to come.
        if (ret_ == Z_BUF_ERROR && s_.avail_in == 0) ret_ = Z_OK;
        if (s_.avail_in == 0 && have < kPiece) break;
      }
    }
    // Bytes after the end of the stream are no part of a stream of the input.
    if (ret_ == Z_STREAM_END && (s_.avail_in != 0 || n != 0)) same_ = false;
  }

  // After the last byte: whether the stream was exactly the input, and nothing more.
  bool Passed() const { return same_ && ret_ == Z_STREAM_END && done_ == original_.size(); }

 private:
  static constexpr size_t kPiece = size_t{1} << 16;
  std::span<const uint8_t> original_;
  std::unique_ptr<uint8_t[]> piece_;
  z_stream s_{};
  bool live_ = false;
  bool same_ = false;
  int ret_ = Z_OK;
  size_t done_ = 0;
};

// deflate_state's fields for the level 9 path, with zlib's names in camel case. Window offsets
// (strstart_, blockStart_) are zlib's, relative to windowStart_; match positions are input
// positions, which differ from zlib's offsets by a multiple of kWSize that every distance and
// comparison cancels.
class Deflater {
 public:
  Deflater(std::span<const uint8_t> input, std::vector<uint8_t>& out, bool crossCheck,
           ChainLinking linking, bool helped)
      : out_(out),
        in_(input.data()),
        inLeft_(input.size()),
        crossCheck_(crossCheck),
        window_(std::make_unique<uint8_t[]>(kWindowSize)),
        blocks_(out),
        finder_(input.data(), input.size(), linking) {
    if (helped) finder_.ExpectHelp();
  }

  void DamageAt(size_t at) { damageAt_ = at; }
  // Flips the byte to damage once it is written.
  void Damage() {
    if (damageAt_ < out_.size()) {
      out_[damageAt_] ^= 0x40;
      damageAt_ = SIZE_MAX;
    }
  }

  // With a second thread: the chains built ahead on it while this one parses, and between
  // runs, with `check`, the blocks written so far inflated again. Returns how many of the
  // output's bytes were checked. The output's room is reserved ahead, so the bytes already
  // written stay where they are while more are added.
  size_t RunHelped(TwoThreads& threads, StreamCheck* check) {
    check_ = check;
    const uint8_t* written = out_.data();
    size_t checked = 0;
    const auto checkSome = [&]() {
      const size_t ready = produced_.load(std::memory_order_acquire);
      if (ready <= checked) return false;
      // A slice at a time, so that a run of chains asked for meanwhile is not kept waiting.
      const size_t n = std::min<size_t>(ready - checked, size_t{1} << 18);
      check_->Feed(written + checked, n);
      checked += n;
      return true;
    };
    threads.RunBoth(
        [this] {
          // However the parse ends, the helper is let go.
          struct Release {
            MatchFinder& finder;
            ~Release() { finder.Finish(); }
          } release{finder_};
          Run();
        },
        [&] {
          if (check != nullptr) {
            finder_.HelpAlong(checkSome);
          } else {
            finder_.HelpAlong();
          }
        });
    return checked;
  }

  // deflate_slow with Z_FINISH and room for all output. zlib inserts each position into its
  // hash chains here; the finder has them already.
  void Run() {
    for (;;) {
      if (lookahead_ < kMinLookahead) {
        FillWindow();
        if (lookahead_ == 0) break;
      }
      const uint32_t p = windowStart_ + strstart_;
      prevLength_ = matchLength_;
      prevMatch_ = matchStart_;
      matchLength_ = kMinMatch - 1;
      if (lookahead_ >= kMinMatch && prevLength_ < kMaxLazy) {
        finder_.Reach(p);
        if (FindMatch(p)) {
          // A three-byte match far back costs more than its literals.
          if (matchLength_ == kMinMatch && p - matchStart_ > kTooFar) {
            matchLength_ = kMinMatch - 1;
          }
        }
      }
      if (prevLength_ >= kMinMatch && matchLength_ <= prevLength_) {
        const bool flush = blocks_.TallyMatch(p - 1 - prevMatch_, prevLength_ - kMinMatch);
        lookahead_ -= prevLength_ - 1;
        strstart_ += prevLength_ - 1;
        matchAvailable_ = false;
        matchLength_ = kMinMatch - 1;
        if (flush) FlushBlock(false);
      } else if (matchAvailable_) {
        if (blocks_.TallyLiteral(window_[strstart_ - 1])) FlushBlock(false);
        ++strstart_;
        --lookahead_;
      } else {
        matchAvailable_ = true;
        ++strstart_;
        --lookahead_;
      }
    }
    if (matchAvailable_) {
      blocks_.TallyLiteral(window_[strstart_ - 1]);
      matchAvailable_ = false;
    }
    FlushBlock(true);
  }

 private:
  void FlushBlock(bool last) {
    const uint8_t* stored = blockStart_ >= 0 ? window_.get() + blockStart_ : nullptr;
    blocks_.FlushBlock(stored, static_cast<unsigned long>(long{strstart_} - blockStart_), last);
    blockStart_ = strstart_;
    Damage();
    if (check_ != nullptr) {
      produced_.store(out_.size(), std::memory_order_release);
      finder_.Poke();
    }
  }

  // fill_window. What it leaves past the data matters: zlib's own walk near the end of the
  // input compares into it.
  void FillWindow() {
    do {
      unsigned more = kWindowSize - lookahead_ - strstart_;
      if (strstart_ >= kWSize + kMaxDist) {
        std::memcpy(window_.get(), window_.get() + kWSize, kWSize - more);
        strstart_ -= kWSize;
        blockStart_ -= long{kWSize};
        windowStart_ += kWSize;
        more += kWSize;
      }
      if (inLeft_ == 0) break;
      const unsigned n = static_cast<unsigned>(std::min<size_t>(inLeft_, more));
      std::memcpy(window_.get() + strstart_ + lookahead_, in_, n);
      in_ += n;
      inLeft_ -= n;
      lookahead_ += n;
    } while (lookahead_ < kMinLookahead && inLeft_ != 0);

    if (highWater_ < kWindowSize) {
      const unsigned curr = strstart_ + lookahead_;
      if (highWater_ < curr) {
        const unsigned init = std::min(kWindowSize - curr, kWinInit);
        std::memset(window_.get() + curr, 0, init);
        highWater_ = curr + init;
      } else if (highWater_ < curr + kWinInit) {
        const unsigned init = std::min(curr + kWinInit - highWater_, kWindowSize - highWater_);
        std::memset(window_.get() + highWater_, 0, init);
        highWater_ += init;
      }
    }
  }

  // zlib searches only where the head of p's hash chain lies within kMaxDist and after its
  // nil. The finder is asked everywhere: where zlib would not search it finds nothing, and
  // matchLength_ is then prevLength_ instead of kMinMatch - 1. That leads to the same choice:
  // prevLength_ is then either kMinMatch - 1 itself or a match that is taken either way.
  // Returns whether there was a search.
  bool FindMatch(uint32_t p) {
    if (finder_.Covers(p) && !crossCheck_) {
      matchLength_ = FinderMatch(p);
      return true;
    }
    const uint32_t hashHead = finder_.ZlibHead(p);
    const bool searched = hashHead > windowStart_;
    if (!finder_.Covers(p)) {
      if (searched) matchLength_ = LongestMatch(hashHead);
      return searched;
    }
    const uint32_t stale = matchStart_;
    const unsigned zlibLength = searched ? LongestMatch(hashHead) : prevLength_;
    const uint32_t zlibStart = matchStart_;
    matchStart_ = stale;
    matchLength_ = FinderMatch(p);
    if (matchLength_ != zlibLength || (matchLength_ > prevLength_ && matchStart_ != zlibStart)) {
      throw std::logic_error("match finder and zlib disagree at " + std::to_string(p));
    }
    return true;
  }

  unsigned FinderMatch(uint32_t p) {
    const unsigned chain = prevLength_ >= kGoodLength ? kMaxChain >> 2 : kMaxChain;
    uint32_t start = 0;
    const unsigned len = finder_.Longest(p, windowStart_, prevLength_, chain, start);
    if (len > prevLength_) matchStart_ = start;
    return len;
  }

  // longest_match, as zlib walks its chain through its window; used near the end of the input
  // and to check the finder.
  unsigned LongestMatch(uint32_t curMatch) {
    unsigned chainLength = kMaxChain;
    const uint8_t* scan = window_.get() + strstart_;
    unsigned bestLen = prevLength_;
    unsigned niceMatch = kNiceLength;
    const unsigned limit = strstart_ > kMaxDist ? strstart_ - kMaxDist : kNil;
    const uint8_t* strend = window_.get() + strstart_ + kMaxMatch;
    uint8_t scanEnd1 = scan[bestLen - 1];
    uint8_t scanEnd = scan[bestLen];
    if (prevLength_ >= kGoodLength) chainLength >>= 2;
    if (niceMatch > lookahead_) niceMatch = lookahead_;
    for (;;) {
      const uint8_t* match = window_.get() + (curMatch - windowStart_);
      if (match[bestLen] == scanEnd && match[bestLen - 1] == scanEnd1 && match[0] == scan[0] &&
          match[1] == scan[1]) {
        // The third bytes are equal when the first two and the hash are; zlib skips them.
        const uint8_t* s = scan + 2;
        const uint8_t* m = match + 2;
        do {
        } while (*++s == *++m && *++s == *++m && *++s == *++m && *++s == *++m && *++s == *++m &&
                 *++s == *++m && *++s == *++m && *++s == *++m && s < strend);
        const unsigned len = kMaxMatch - static_cast<unsigned>(strend - s);
        if (len > bestLen) {
          matchStart_ = curMatch;
          bestLen = len;
          if (len >= niceMatch) break;
          scanEnd1 = scan[bestLen - 1];
          scanEnd = scan[bestLen];
        }
      }
      // zlib's next link is nil, or before its window, or at most `limit`: its walk ends.
      curMatch = finder_.ZlibNext(curMatch);
      if (curMatch <= windowStart_ || curMatch - windowStart_ <= limit || --chainLength == 0) {
        break;
      }
    }
    return bestLen <= lookahead_ ? bestLen : lookahead_;
  }

  std::vector<uint8_t>& out_;
  StreamCheck* check_ = nullptr;
  size_t damageAt_ = SIZE_MAX;       // for the tests: a byte to flip once it is written
  std::atomic<size_t> produced_{0};  // output bytes written whole, for the check
  const uint8_t* in_;
  size_t inLeft_;
  bool crossCheck_;
  std::unique_ptr<uint8_t[]> window_;
  DeflateBlocks blocks_;
  MatchFinder finder_;
  uint32_t windowStart_ = 0;  // the input position of window offset 0
  long blockStart_ = 0;
  unsigned matchLength_ = kMinMatch - 1;
  uint32_t prevMatch_ = 0;
  bool matchAvailable_ = false;
  unsigned strstart_ = 0;
  uint32_t matchStart_ = 0;
  unsigned lookahead_ = 0;
  unsigned prevLength_ = kMinMatch - 1;
  unsigned highWater_ = 0;
};

}  // namespace

}  // namespace deflate9

std::vector<uint8_t> DeflateLevel9ForTesting(std::span<const uint8_t> input, bool crossCheck,
                                             ChainLinking linking, TwoThreads* threads,
                                             bool* checked, size_t damageAt) {
  if (input.size() > kMaxDeflateLevel9Input) throw std::length_error("input too large");
  std::vector<uint8_t> out;
  // Room for a stream that does not compress (stored blocks add five bytes in 16 KiB): only
  // address space, no memory is touched before it is written.
  out.reserve(input.size() + input.size() / 1024 + 64);
  // The header of a 15-bit window at the highest level, without a dictionary.
  out.push_back(0x78);
  out.push_back(0xDA);
  std::unique_ptr<deflate9::StreamCheck> check;
  if (checked != nullptr) check = std::make_unique<deflate9::StreamCheck>(input);
  const uint8_t* room = out.data();
  size_t alreadyChecked = 0;
  deflate9::Deflater deflater(input, out, crossCheck, linking, threads != nullptr);
  deflater.DamageAt(damageAt);
  if (threads != nullptr) {
    alreadyChecked = deflater.RunHelped(*threads, check.get());
  } else {
    deflater.Run();
  }
  if (out.data() != room) {
    // The reserved room ran out (it cannot, by the bound above): check all of it here.
    check = checked != nullptr ? std::make_unique<deflate9::StreamCheck>(input) : nullptr;
    alreadyChecked = 0;
  }
  uLong adler = adler32(0, nullptr, 0);
  for (size_t done = 0; done < input.size();) {
    const uInt n = static_cast<uInt>(std::min<size_t>(input.size() - done, size_t{1} << 30));
    adler = adler32(adler, input.data() + done, n);
    done += n;
  }
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(adler >> shift));
  deflater.Damage();
  if (check) {
    check->Feed(out.data() + alreadyChecked, out.size() - alreadyChecked);
    *checked = check->Passed();
  }
  return out;
}

std::vector<uint8_t> DeflateLevel9(std::span<const uint8_t> input, TwoThreads* threads,
                                   bool* checked) {
  return DeflateLevel9ForTesting(input, false, ChainLinking::AsItPays, threads, checked);
}
