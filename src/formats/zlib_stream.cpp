// Whole-buffer zlib streams.
#include "formats/zlib_stream.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

#include "formats/deflate/deflate_level9.h"
#include "scene/worker_pool.h"

namespace {

// zlib counts in uInt; larger buffers are handed over in slices of at most this many bytes.
constexpr size_t kMaxSlice = UINT_MAX;

// Below this size zlib's own level 9 is as quick as the rebuilt one.
constexpr size_t kRebuiltFrom = size_t{1} << 20;

// Every failure of the stream itself reads "Error": the text the generic error box shows for a
// file that is not a compressed scene.
[[noreturn]] void Fail() {
  throw KestrelError("Error");
}

// Ends a stream that deflateInit or inflateInit set up, whichever way the function leaves.
class StreamEnd {
 public:
  StreamEnd(z_stream& s, int (*end)(z_streamp)) : s_(s), end_(end) {}
  StreamEnd(const StreamEnd&) = delete;
  StreamEnd& operator=(const StreamEnd&) = delete;
  ~StreamEnd() { end_(&s_); }

 private:
  z_stream& s_;
  int (*end_)(z_streamp);
};

void Feed(z_stream& s, const uint8_t*& next, size_t& left) {
  if (s.avail_in != 0 || left == 0) return;
  const size_t n = std::min(left, kMaxSlice);
  s.next_in = const_cast<Bytef*>(next);
  s.avail_in = static_cast<uInt>(n);
  next += n;
  left -= n;
}

// Two of the shared pool's threads for the deflate.
class PoolThreads final : public TwoThreads {
 public:
  explicit PoolThreads(WorkerPool& pool) : pool_(pool) {}
  void RunBoth(const std::function<void()>& first, const std::function<void()>& second) override {
    pool_.Run(2, [&](size_t task) { task == 0 ? first() : second(); });
  }

 private:
  WorkerPool& pool_;
};

}  // namespace

std::vector<uint8_t> CompressStream(std::span<const uint8_t> input, int level) {
  // Large inputs at level 9 go to the rebuilt deflate, which writes zlib's bytes much sooner.
  // Its stream is unpacked again by zlib before it is trusted (alongside, on a second thread,
  // where there is one): a fault there must never cost a file.
  if (level == Z_BEST_COMPRESSION && input.size() >= kRebuiltFrom &&
      input.size() <= kMaxDeflateLevel9Input) {
    WorkerPool& pool = SharedWorkerPool();
    PoolThreads threads(pool);
    bool checked = false;
    std::vector<uint8_t> out =
        DeflateLevel9(input, pool.RunsAtOnce(2) ? &threads : nullptr, &checked);
    if (checked) return out;
  }
  z_stream s{};
  if (deflateInit(&s, level) != Z_OK) Fail();
  const StreamEnd end(s, deflateEnd);
  std::vector<uint8_t> out(deflateBound(&s, static_cast<uLong>(input.size())));
  const uint8_t* next = input.data();
  size_t left = input.size();
  uint8_t* outNext = out.data();
  size_t outLeft = out.size();
  // deflateBound leaves room for the whole stream; running out of it is a fault of ours.
  for (;;) {
    Feed(s, next, left);
    if (s.avail_out == 0) {
      if (outLeft == 0) Fail();
      const size_t n = std::min(outLeft, kMaxSlice);
      s.next_out = outNext;
      s.avail_out = static_cast<uInt>(n);
      outNext += n;
      outLeft -= n;
    }
    const int ret = deflate(&s, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    if (ret == Z_STREAM_END) break;
    if (ret == Z_STREAM_ERROR) Fail();
  }
  out.resize(static_cast<size_t>(outNext - out.data()) - s.avail_out);
  return out;
}

std::vector<uint8_t> DecompressStream(std::span<const uint8_t> input, size_t maxOutput,
                                      const OutputGrowth& beforeGrowth) {
  z_stream s{};
  if (inflateInit(&s) != Z_OK) Fail();
  const StreamEnd end(s, inflateEnd);
  const uint8_t* next = input.data();
  size_t left = input.size();
  std::vector<uint8_t> out;
  const auto grow = [&out, &beforeGrowth](size_t room) {
    if (beforeGrowth) beforeGrowth(room);
    out.reserve(room);
  };
  // Room for four times the input up front (address space only, touched as it fills): a scene
  // body unpacks to less than that, and growing by doubling instead would copy it over and over.
  grow(std::min(maxOutput, input.size() <= SIZE_MAX / 4 ? input.size() * 4 : SIZE_MAX));
  uint8_t piece[4096];
  for (;;) {
    Feed(s, next, left);
    s.next_out = piece;
    s.avail_out = sizeof piece;
    const int ret = inflate(&s, Z_NO_FLUSH);
    if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR) Fail();
    const size_t have = sizeof piece - s.avail_out;
    // Checked before the output grows: a small file that claims gigabytes is refused at the
    // bound, never after memory has run out.
    if (have > maxOutput - out.size()) {
      throw DecompressedTooLarge("The compressed data unpacks to more than " +
                                 std::to_string(maxOutput) + " bytes");
    }
    if (have > out.capacity() - out.size()) {
      grow(std::min(maxOutput, std::max(out.size() + have, 2 * out.capacity())));
    }
    out.insert(out.end(), piece, piece + have);
    if (ret == Z_STREAM_END) break;
    // No output and no input left: the stream was cut short.
    if (have == 0 && s.avail_in == 0 && left == 0) Fail();
  }
  return out;
}
