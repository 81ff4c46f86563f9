// Whole-buffer zlib streams: the exact bytes, the "Error" failure, the output bound and what
// follows the end of a stream.
#include "formats/zlib_stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
  return {s.begin(), s.end()};
}

// Text that compresses, followed by noise that does not: several 4096-byte output pieces.
std::vector<uint8_t> Sample(size_t size) {
  std::vector<uint8_t> v(size);
  std::mt19937 rng(7);
  for (size_t i = 0; i < size; ++i) {
    v[i] = i < size / 2 ? static_cast<uint8_t>("kestrel "[i % 8]) : static_cast<uint8_t>(rng());
  }
  return v;
}

// zlib's own one-call compressor: the reference for the bytes a level must give.
std::vector<uint8_t> Reference(const std::vector<uint8_t>& in, int level) {
  uLongf size = compressBound(static_cast<uLong>(in.size()));
  std::vector<uint8_t> out(size);
  EXPECT_EQ(compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), level), Z_OK);
  out.resize(size);
  return out;
}

void ExpectError(const std::vector<uint8_t>& data) {
  try {
    DecompressStream(data, 1 << 20);
    ADD_FAILURE() << "accepted";
  } catch (const DecompressedTooLarge&) {
    ADD_FAILURE() << "refused as too large";
  } catch (const KestrelError& e) {
    EXPECT_STREQ(e.what(), "Error");
  }
}

}  // namespace

TEST(ZlibStream, CompressesToZlibsOwnBytesAndBack) {
  // From 1 MiB level 9 goes to the rebuilt deflate; the bytes must not change.
  for (size_t size : {size_t{0}, size_t{1}, size_t{4096}, size_t{100000}, size_t{3} << 20}) {
    const std::vector<uint8_t> in = Sample(size);
    const std::vector<uint8_t> packed = CompressStream(in, 9);
    ASSERT_GE(packed.size(), 2u);
    EXPECT_EQ(packed[0], 0x78);
    EXPECT_EQ(packed[1], 0xDA);
    EXPECT_EQ(packed, Reference(in, 9)) << size;
    EXPECT_EQ(DecompressStream(packed, size), in) << size;
  }
  // The level is the caller's: level 1 gives zlib's level 1 stream.
  const std::vector<uint8_t> in = Sample(20000);
  const std::vector<uint8_t> fast = CompressStream(in, 1);
  EXPECT_EQ(fast[1], 0x01);
  EXPECT_EQ(fast, Reference(in, 1));
}

TEST(ZlibStream, AnythingButAWholeValidStreamFailsWithError) {
  const std::vector<uint8_t> good = CompressStream(Sample(10000), 9);
  ExpectError({});
  ExpectError(Bytes("# a Tumbra file\n0 0 0 1\n"));
  std::vector<uint8_t> cut(good.begin(), good.end() - 5);
  ExpectError(cut);
  std::vector<uint8_t> badCheck = good;
  badCheck.at(good.size() - 1) ^= 1;
  ExpectError(badCheck);
  std::vector<uint8_t> badData = good;
  badData[good.size() / 2] ^= 0x55;
  ExpectError(badData);
  // A stream that needs a preset dictionary cannot be opened without one.
  z_stream s{};
  ASSERT_EQ(deflateInit(&s, 9), Z_OK);
  const Bytef dictionary[] = "kestrel";
  ASSERT_EQ(deflateSetDictionary(&s, dictionary, 7), Z_OK);
  std::vector<uint8_t> in = Sample(100), out(200);
  s.next_in = in.data();
  s.avail_in = static_cast<uInt>(in.size());
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  ASSERT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
  out.resize(s.total_out);
  deflateEnd(&s);
  ExpectError(out);
}

TEST(ZlibStream, OutputIsBoundedBeforeItGrows) {
  const std::vector<uint8_t> in = Sample(50000);
  const std::vector<uint8_t> packed = CompressStream(in, 9);
  EXPECT_EQ(DecompressStream(packed, in.size()).size(), in.size());
  EXPECT_THROW(DecompressStream(packed, in.size() - 1), DecompressedTooLarge);
  // 16 MiB of zeros in some 16 KiB of stream, against a 1 MiB bound.
  const std::vector<uint8_t> bomb = CompressStream(std::vector<uint8_t>(16 << 20), 9);
  ASSERT_LT(bomb.size(), 20000u);
  try {
    DecompressStream(bomb, 1 << 20);
    ADD_FAILURE() << "accepted";
  } catch (const DecompressedTooLarge& e) {
    EXPECT_STREQ(e.what(), "The compressed data unpacks to more than 1048576 bytes");
  }
}

TEST(ZlibStream, BytesAfterTheStreamAreNotRead) {
  const std::vector<uint8_t> in = Sample(9000);
  std::vector<uint8_t> packed = CompressStream(in, 9);
  for (const std::string& tail : {std::string("\0", 1), std::string("garbage after the end")}) {
    std::vector<uint8_t> padded = packed;
    padded.insert(padded.end(), tail.begin(), tail.end());
    EXPECT_EQ(DecompressStream(padded, in.size()), in);
  }
  // A second stream after the first is not read either.
  std::vector<uint8_t> two = packed;
  const std::vector<uint8_t> other = CompressStream(Bytes("second"), 9);
  two.insert(two.end(), other.begin(), other.end());
  EXPECT_EQ(DecompressStream(two, in.size()), in);
}
