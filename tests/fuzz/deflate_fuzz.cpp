// The rebuilt level 9 deflate against zlib's own, on inputs of up to some 300 KB grown from
// the fuzzer's bytes: literal stretches, copies from near and far (up to the window and past
// it), runs and noise, so that a few bytes of program reach every distance, the window's
// slides and the finder's chains and ring. Each search is checked against zlib's walk, and the
// stream must be zlib's byte for byte, however the finder links its longer chains, and whether
// or not a second thread builds them ahead of the parse.
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "formats/deflate/deflate_level9_testing.h"
#include "support/pool_threads.h"

namespace {

constexpr size_t kMaxInput = 300000;

class Program {
 public:
  Program(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  bool Done() const { return p_ == end_; }
  uint8_t Byte() { return p_ != end_ ? *p_++ : 0; }
  unsigned Word() { return Byte() | unsigned{Byte()} << 8; }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

std::vector<uint8_t> Grow(Program& program) {
  std::vector<uint8_t> v;
  uint32_t noise = 1;
  while (!program.Done() && v.size() < kMaxInput) {
    const uint8_t op = program.Byte();
    const unsigned arg = op >> 2;
    switch (op & 3) {
      case 0:  // literal bytes from the program
        for (unsigned i = 0; i <= arg; ++i) v.push_back(program.Byte());
        break;
      case 1: {  // a copy, possibly overlapping, from up to 16 MiB back (as far as there is)
        if (v.empty()) break;
        const size_t dist = 1 + ((size_t{program.Word()} << (arg & 8)) % v.size());
        const size_t len = 3 + size_t{program.Byte()} * (1 + (arg & 7));
        const size_t from = v.size() - dist;
        for (size_t i = 0; i < len && v.size() < kMaxInput; ++i) v.push_back(v[from + i]);
        break;
      }
      case 2: {  // a run
        const uint8_t b = program.Byte();
        v.insert(v.end(), size_t{arg} * 61 + 1, b);
        break;
      }
      default:  // noise
        noise ^= program.Byte() * 2654435761u;
        for (unsigned i = 0; i < (arg + 1) * 97; ++i) {
          noise ^= noise << 13;
          noise ^= noise >> 17;
          noise ^= noise << 5;
          v.push_back(static_cast<uint8_t>(noise));
        }
    }
  }
  if (v.size() > kMaxInput) v.resize(kMaxInput);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Program program(data, size);
  const uint8_t mode = program.Byte();
  const std::vector<uint8_t> input = Grow(program);
  uLongf zlibSize = compressBound(static_cast<uLong>(input.size()));
  std::vector<uint8_t> zlib(zlibSize);
  if (compress2(zlib.data(), &zlibSize, input.data(), static_cast<uLong>(input.size()), 9) !=
      Z_OK) {
    std::abort();
  }
  zlib.resize(zlibSize);
  const ChainLinking linking = mode % 3 == 0   ? ChainLinking::AsItPays
                               : mode % 3 == 1 ? ChainLinking::Always
                                               : ChainLinking::Never;
  // A disagreement of the finder with zlib's walk throws, and so ends the run as a finding.
  static PoolThreads helper;
  TwoThreads* threads = mode & 4 ? &helper : nullptr;
  if (DeflateLevel9ForTesting(input, true, linking, threads) != zlib) {
    std::fprintf(stderr, "deflate differs from zlib on %zu bytes\n", input.size());
    std::abort();
  }
  return 0;
}
