// The rebuilt level 9 deflate against zlib itself: the same bytes for every kind of input, and
// the match finder against zlib's own chain walk on every search.
#include "formats/deflate/deflate_level9_testing.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <span>
#include <string>

#include "formats/zlib_stream.h"
#include "support/pool_threads.h"

namespace {

TwoThreads& Helper() {
  static PoolThreads threads;
  return threads;
}

std::vector<uint8_t> Zlib9(const std::vector<uint8_t>& in) {
  uLongf size = compressBound(static_cast<uLong>(in.size()));
  std::vector<uint8_t> out(size);
  EXPECT_EQ(compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), 9), Z_OK);
  out.resize(size);
  return out;
}

// With `everySearch`, each search is also made by zlib's own walk, and the whole stream is
// written again with the finder's longer chains linked wherever first wanted and never: the
// bytes must not depend on when they are. Every stream is written on one thread and again with
// a second thread building the chains ahead.
void ExpectSameAsZlib(const std::string& name, const std::vector<uint8_t>& in, bool everySearch) {
  const std::vector<uint8_t> zlib = Zlib9(in);
  const ChainLinking plain[] = {ChainLinking::AsItPays};
  const ChainLinking all[] = {ChainLinking::AsItPays, ChainLinking::Always, ChainLinking::Never};
  for (ChainLinking linking : everySearch ? std::span<const ChainLinking>(all) : plain) {
    for (TwoThreads* threads : {static_cast<TwoThreads*>(nullptr), &Helper()}) {
      const std::string how = name + ", linking " + std::to_string(static_cast<int>(linking)) +
                              (threads ? ", helped" : "");
      std::vector<uint8_t> ours;
      ASSERT_NO_THROW(ours = DeflateLevel9ForTesting(in, everySearch, linking, threads)) << how;
      size_t same = 0;
      while (same < ours.size() && same < zlib.size() && ours[same] == zlib[same]) ++same;
      EXPECT_TRUE(ours == zlib) << how << ": " << in.size() << " bytes in, first difference at "
                                << same << " of " << zlib.size();
    }
  }
}

std::vector<uint8_t> Make(size_t size, const std::function<uint8_t(size_t)>& byte) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = byte(i);
  return v;
}

void Append(std::vector<uint8_t>& v, const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  v.insert(v.end(), p, p + n);
}

std::vector<uint8_t> Random(size_t size, std::mt19937& rng) {
  return Make(size, [&](size_t) { return static_cast<uint8_t>(rng()); });
}

std::vector<uint8_t> Repeated(size_t period, size_t size, std::mt19937& rng) {
  std::vector<uint8_t> block = Random(period, rng);
  return Make(size, [&](size_t i) { return block[i % period]; });
}

// Fixed-size records with counters and a few flags: a segment table's shape.
std::vector<uint8_t> Records(size_t count, size_t recordSize) {
  std::vector<uint8_t> v;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t r[24] = {};
    const uint32_t next = i + 1;
    std::memcpy(r + 1, &i, 4);
    std::memcpy(r + 5, &next, 4);
    r[9] = static_cast<uint8_t>(i >> 16);
    r[10] = static_cast<uint8_t>(i >> 8);
    r[11] = static_cast<uint8_t>(i * 3);
    Append(v, r, recordSize);
  }
  return v;
}

std::vector<uint8_t> Doubles(size_t count) {
  std::vector<uint8_t> v;
  for (size_t i = 0; i < count; ++i) {
    const double d = std::sin(static_cast<double>(i) * 0.001) * 3 + 1;
    Append(v, &d, 8);
  }
  return v;
}

// The body of a scene file: the points of a trefoil knot as x, y, z doubles, then the lines
// joining them in order, as the benchmark's model is saved.
std::vector<uint8_t> CurveBody(int32_t points) {
  std::vector<uint8_t> v = {3, 1, 1, 0, 0, 0, 0};
  const double centre[3] = {0, 0, 0};
  Append(v, centre, sizeof centre);
  const int32_t lines = 0;
  Append(v, &lines, 4);
  Append(v, &points, 4);
  const double step = 2 * std::numbers::pi / points;
  for (int32_t i = 0; i < points; ++i) {
    const double t = i * step;
    const double xyz[3] = {std::sin(t) + 2 * std::sin(2 * t), std::cos(t) - 2 * std::cos(2 * t),
                           -std::sin(3 * t)};
    Append(v, xyz, sizeof xyz);
  }
  const int32_t segments = points - 1;
  Append(v, &segments, 4);
  for (int32_t i = 1; i < points; ++i) {
    const int32_t ends[2] = {i - 1, i};
    v.push_back(0);
    Append(v, ends, sizeof ends);
    v.push_back(static_cast<uint8_t>(i >> 16));
    v.push_back(static_cast<uint8_t>(i >> 8));
    v.push_back(static_cast<uint8_t>(i));
  }
  return v;
}

// Random data with copies of earlier stretches (lengths 3 to 300, near and far), runs and
// literals: every kind of choice the lazy parse makes, in one stream. `density` is how much of
// it repeats.
std::vector<uint8_t> Mosaic(size_t size, double density, std::mt19937& rng) {
  std::vector<uint8_t> v;
  std::uniform_real_distribution<double> coin(0, 1);
  while (v.size() < size) {
    const double roll = coin(rng);
    if (v.size() > 300 && roll < density) {
      const size_t far = std::min<size_t>(v.size(), rng() % 4 == 0 ? 40000 : 300);
      const size_t dist = 1 + rng() % far;
      size_t len = 3 + rng() % (rng() % 8 == 0 ? 300 : 12);
      const size_t from = v.size() - dist;
      for (size_t i = 0; i < len; ++i) v.push_back(v[from + i]);
      // A changed byte right after a copy makes the next search find a shorter match first.
      if (rng() % 2 == 0) v.push_back(static_cast<uint8_t>(rng()));
    } else if (roll < density + 0.02) {
      v.insert(v.end(), 5 + rng() % 200, static_cast<uint8_t>(rng()));
    } else {
      for (int i = 1 + static_cast<int>(rng() % 20); i > 0; --i) {
        v.push_back(static_cast<uint8_t>(rng()));
      }
    }
  }
  v.resize(size);
  return v;
}

unsigned ZlibHash(const uint8_t* s) {
  return ((unsigned{s[0]} << 10) ^ (unsigned{s[1]} << 5) ^ s[2]) & 0x7fff;
}

// Random bytes, a 40-byte target, `decoys` stretches that start with the target's first three
// bytes, and the target again, with its position on zlib's hash chain there: 1 for the newest
// earlier position with its hash.
std::vector<uint8_t> ChainOf(int decoys, size_t spacing, uint32_t seed, unsigned& rank) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v = Random(100, rng);
  const size_t first = v.size();
  const std::vector<uint8_t> target = Random(40, rng);
  v.insert(v.end(), target.begin(), target.end());
  for (int i = 0; i < decoys; ++i) {
    Append(v, target.data(), 3);
    for (size_t k = 3; k < spacing; ++k) v.push_back(static_cast<uint8_t>(rng()));
  }
  v.push_back(static_cast<uint8_t>(rng()));
  const size_t second = v.size();
  v.insert(v.end(), target.begin(), target.end());
  const std::vector<uint8_t> tail = Random(500, rng);
  v.insert(v.end(), tail.begin(), tail.end());
  rank = 0;
  for (size_t q = first; q < second; ++q) rank += ZlibHash(&v[q]) == ZlibHash(&v[second]);
  return v;
}

std::string Text(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    text += "# line " + std::to_string(i * 7 % 1000) + " of text, point " + std::to_string(i % 37) +
            " at " + std::to_string(i * 0.25) + "\n";
  }
  return text;
}

}  // namespace

TEST(DeflateLevel9, WritesZlibsBytesAndFindsZlibsMatches) {
  std::mt19937 rng(2024);
  auto random = [&](unsigned alphabet) {
    return [&rng, alphabet](size_t) { return static_cast<uint8_t>(rng() % alphabet); };
  };
  // Each is also searched by zlib's walk, search by search.
  ExpectSameAsZlib("empty", {}, true);
  ExpectSameAsZlib("one byte", {42}, true);
  ExpectSameAsZlib("two bytes", {1, 2}, true);
  ExpectSameAsZlib("three bytes", {1, 2, 3}, true);
  ExpectSameAsZlib("random", Random(100000, rng), true);
  ExpectSameAsZlib("three letters", Make(150000, random(3)), true);
  ExpectSameAsZlib("sixteen letters", Make(200000, random(16)), true);
  ExpectSameAsZlib("zeros", std::vector<uint8_t>(400000), true);
  ExpectSameAsZlib(
      "zero runs",
      Make(300000, [&](size_t i) { return i % 5000 < 4000 ? 0 : static_cast<uint8_t>(rng()); }),
      true);
  ExpectSameAsZlib("records of 12", Records(30000, 12), true);
  ExpectSameAsZlib("records of 13", Records(20000, 13), true);
  ExpectSameAsZlib("doubles", Doubles(40000), true);
  ExpectSameAsZlib("curve", CurveBody(12000), true);
  const std::string text = Text(8000);
  ExpectSameAsZlib("text", {text.begin(), text.end()}, true);
  for (double density : {0.1, 0.5, 0.9}) {
    ExpectSameAsZlib("mosaic " + std::to_string(density), Mosaic(300000, density, rng), true);
  }
  // Repeats at and around the longest distance, the window and the far-match limit.
  for (size_t period : {1, 2, 3, 7, 258, 259, 4095, 4096, 4097, 32505, 32506, 32507, 32768}) {
    ExpectSameAsZlib("period " + std::to_string(period), Repeated(period, 200000, rng), true);
  }
}

TEST(DeflateLevel9, SizesAroundTheWindowTheBlocksAndTheEnd) {
  std::mt19937 rng(99);
  // Where the window first slides, where the finder hands over to zlib's walk near the end,
  // and where the chains' ring wraps.
  for (size_t size :
       {4,   257,   258,   259,   260,   261,   262,   263,         515,   516,
        517, 32768, 65273, 65274, 65275, 65536, 65537, 65536 + 258, 98304, 131072 + 17}) {
    ExpectSameAsZlib("size " + std::to_string(size),
                     Make(size,
                          [&](size_t i) {
                            return static_cast<uint8_t>((i * 7 + (i >> 9)) % 251 ^ (rng() & 1));
                          }),
                     true);
  }
  // Blocks end after 16383 symbols: incompressible data goes out stored, a little repetition
  // with the fixed codes or its own, and the last block may hold exactly that many.
  for (size_t size : {16382, 16383, 16384, 32766, 32767, 49149, 49150}) {
    ExpectSameAsZlib("random " + std::to_string(size), Random(size, rng), true);
    ExpectSameAsZlib("two letters " + std::to_string(size),
                     Make(size, [&](size_t) { return static_cast<uint8_t>('a' + rng() % 2); }),
                     true);
  }
  std::vector<uint8_t> mixed = Random(40000, rng);
  const std::vector<uint8_t> text = Make(30000, [&](size_t i) {
    return static_cast<uint8_t>("the quick brown fox "[(i + rng() % 2) % 20]);
  });
  mixed.insert(mixed.end(), text.begin(), text.end());
  const std::vector<uint8_t> noise = Random(30000, rng);
  mixed.insert(mixed.end(), noise.begin(), noise.end());
  ExpectSameAsZlib("noise, text, noise", mixed, true);
}

TEST(DeflateLevel9, StopsWhereZlibsChainsStop) {
  std::mt19937 rng(7);
  // A long match whose zlib chain holds more than 4096 newer positions with the same three
  // bytes: zlib gives up before it and takes a short one. Spaced a few bytes apart, those
  // positions all lie within the window.
  for (size_t spacing : {4, 6, 8}) {
    const std::vector<uint8_t> target = Random(40, rng);
    std::vector<uint8_t> v = target;
    for (int i = 0; i < 5000; ++i) {
      Append(v, target.data(), 3);
      for (size_t k = 3; k < spacing; ++k) v.push_back(static_cast<uint8_t>(rng()));
    }
    Append(v, target.data(), target.size());
    const std::vector<uint8_t> tail = Random(1000, rng);
    v.insert(v.end(), tail.begin(), tail.end());
    ExpectSameAsZlib("beyond 4096 candidates, spacing " + std::to_string(spacing), v, true);
  }
  // The target as exactly the last candidate zlib looks at, and as the first it does not.
  for (unsigned limit : {4096u, 4097u}) {
    unsigned rank = 0;
    std::vector<uint8_t> v;
    for (int decoys = 3900; rank < limit; ++decoys) v = ChainOf(decoys, 5, 1, rank);
    ASSERT_EQ(rank, limit);
    ExpectSameAsZlib("target " + std::to_string(rank) + " candidates back", v, true);
  }
  // After a match of 32 bytes or more zlib looks at a quarter as many.
  {
    const std::vector<uint8_t> target = Random(80, rng);
    std::vector<uint8_t> v = target;
    for (int i = 0; i < 1500; ++i) {
      Append(v, target.data() + 40, 4);
      v.push_back(static_cast<uint8_t>(rng()));
    }
    // 40 bytes that match at the start, then the rest of the target: the second half is
    // searched for with the shorter chain.
    Append(v, target.data(), target.size());
    ExpectSameAsZlib("beyond 1024 candidates after a good match", v, true);
  }
  // Three-letter words far back are dropped, four-letter ones kept.
  std::vector<uint8_t> words;
  for (int i = 0; i < 3000; ++i) {
    const std::vector<uint8_t> filler = Random(5000 + rng() % 200, rng);
    words.insert(words.end(), filler.begin(), filler.end());
    Append(words, i % 2 == 0 ? "abc" : "wxyz", i % 2 == 0 ? 3 : 4);
  }
  ExpectSameAsZlib("short matches beyond 4096 bytes", words, false);
}

TEST(DeflateLevel9, LargeInputsSpanningManyBlocksAndWindows) {
  std::vector<uint8_t> mixed = Doubles(300000);
  const std::vector<uint8_t> records = Records(200000, 12);
  mixed.insert(mixed.end(), records.begin(), records.end());
  ExpectSameAsZlib("doubles then records", mixed, false);
  ExpectSameAsZlib("curve of 150000 points", CurveBody(150000), false);
  // Stretches where the longer chains are needed now and then, all the time, and not at all,
  // so that they are linked, carried on, left behind and linked again over gaps.
  std::mt19937 rng(5);
  std::vector<uint8_t> regimes;
  for (int round = 0; round < 6; ++round) {
    const std::vector<uint8_t> dense = Records(4000 + 3000 * round, 12);
    regimes.insert(regimes.end(), dense.begin(), dense.end());
    const std::vector<uint8_t> sparse = Doubles(10000 + 5000 * (round % 3));
    regimes.insert(regimes.end(), sparse.begin(), sparse.end());
    const std::vector<uint8_t> noise = Random(static_cast<size_t>(round) * 20000, rng);
    regimes.insert(regimes.end(), noise.begin(), noise.end());
  }
  ExpectSameAsZlib("regimes", regimes, true);
}

TEST(DeflateLevel9, ManyMixedInputs) {
  std::mt19937 rng(31337);
  for (int i = 0; i < 24; ++i) {
    const size_t size = 1000 + rng() % 150000;
    const double density = (rng() % 100) / 100.0;
    ExpectSameAsZlib("mosaic " + std::to_string(i), Mosaic(size, density, rng), i % 4 == 0);
  }
}

// Whether zlib unpacks `packed` to exactly `original`, and nothing follows the stream.
bool ZlibUnpacksTo(const std::vector<uint8_t>& packed, const std::vector<uint8_t>& original) {
  std::vector<uint8_t> out(original.size() + 1);
  uLongf outSize = static_cast<uLongf>(out.size());
  uLong used = static_cast<uLong>(packed.size());
  const int ret = uncompress2(out.data(), &outSize, packed.data(), &used);
  return ret == Z_OK && used == packed.size() && outSize == original.size() &&
         std::equal(original.begin(), original.end(), out.begin());
}

TEST(DeflateLevel9, ItsOwnCheckAgreesWithZlibOnItsStreamsAndOnDamagedOnes) {
  std::mt19937 rng(13);
  const std::vector<uint8_t> in = Mosaic(size_t{1} << 20, 0.6, rng);  // many blocks
  const std::vector<uint8_t> zlib = Zlib9(in);
  const size_t size = zlib.size();
  for (TwoThreads* threads : {static_cast<TwoThreads*>(nullptr), &Helper()}) {
    const char* how = threads ? "helped" : "alone";
    bool checked = false;
    EXPECT_EQ(DeflateLevel9ForTesting(in, false, ChainLinking::AsItPays, threads, &checked), zlib);
    EXPECT_TRUE(checked) << how;
    // A byte flipped in the header, the blocks or the checksum: the check says what zlib says
    // of the damaged stream (a flip in the padding after the last block changes nothing it
    // unpacks to), and for most bytes that is a refusal.
    int refused = 0;
    for (size_t at = 0; at < size; at += size / 5 + 1) {
      for (const size_t where : {at, size - 1 - at % 8}) {
        checked = !ZlibUnpacksTo(zlib, in);
        const std::vector<uint8_t> damaged =
            DeflateLevel9ForTesting(in, false, ChainLinking::AsItPays, threads, &checked, where);
        ASSERT_EQ(damaged.size(), size) << how << ", byte " << where;
        ASSERT_NE(damaged[where], zlib[where]) << how << ", byte " << where;
        EXPECT_EQ(checked, ZlibUnpacksTo(damaged, in)) << how << ", byte " << where;
        refused += !checked;
      }
    }
    EXPECT_GE(refused, 6) << how;
  }
}

TEST(DeflateLevel9, CompressStreamUsesItFromOneMebibyteWithZlibsBytes) {
  std::mt19937 rng(11);
  for (size_t size : {(size_t{1} << 20) - 1, size_t{1} << 20, (size_t{1} << 20) + 333}) {
    const std::vector<uint8_t> in = Mosaic(size, 0.6, rng);
    EXPECT_EQ(CompressStream(in, 9), Zlib9(in)) << size;
  }
  const std::vector<uint8_t> body = CurveBody(60000);
  EXPECT_EQ(CompressStream(body, 9), Zlib9(body));
}
