// One whole zlib stream at compression level 9: byte for byte what zlib writes after
// deflateInit(level 9) and a single deflate(Z_FINISH), found several times faster on
// repetitive data. Its test hooks are in deflate_level9_testing.h.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// Inputs up to this size; beyond it positions no longer fit the finder's 32 bits.
inline constexpr uint64_t kMaxDeflateLevel9Input = (uint64_t{1} << 32) - (uint64_t{1} << 17);

// A second thread the deflate may borrow: RunBoth runs both tasks at the same time, one on each
// of two threads, and returns once both have returned. (A task may wait for the other.)
class TwoThreads {
 public:
  virtual void RunBoth(const std::function<void()>& first, const std::function<void()>& second) = 0;

 protected:
  ~TwoThreads() = default;
};

// Throws std::length_error for an input larger than kMaxDeflateLevel9Input. With `threads`, one
// of them builds the hash chains ahead of the parse on the other; the bytes are the same.
// With `checked`, the stream is also inflated again by zlib and compared with the input
// (alongside, on the second thread, as the blocks are written), and `*checked` says whether it
// was exactly the input.
std::vector<uint8_t> DeflateLevel9(std::span<const uint8_t> input, TwoThreads* threads = nullptr,
                                   bool* checked = nullptr);
