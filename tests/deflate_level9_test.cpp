// The rebuilt level 9 deflate against zlib itself: the same bytes for every kind of input, and
// the match finder against zlib's own chain walk on every search.
#include "scene/deflate_level9.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>

namespace {

std::vector<uint8_t> Zlib9(const std::vector<uint8_t>& in) {
  uLongf size = compressBound(static_cast<uLong>(in.size()));
  std::vector<uint8_t> out(size);
  EXPECT_EQ(compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), 9), Z_OK);
  out.resize(size);
  return out;
}

void ExpectSameAsZlib(const std::string& name, const std::vector<uint8_t>& in, bool crossCheck) {
  std::vector<uint8_t> ours;
  ASSERT_NO_THROW(ours = DeflateLevel9(in, crossCheck)) << name;
  const std::vector<uint8_t> zlib = Zlib9(in);
  size_t same = 0;
  while (same < ours.size() && same < zlib.size() && ours[same] == zlib[same]) ++same;
  EXPECT_TRUE(ours == zlib) << name << ": " << in.size() << " bytes in, first difference at "
                            << same << " of " << zlib.size();
}

std::vector<uint8_t> Make(size_t size, const std::function<uint8_t(size_t)>& byte) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = byte(i);
  return v;
}

std::vector<uint8_t> Repeated(size_t period, size_t size, std::mt19937& rng) {
  std::vector<uint8_t> block(period);
  for (uint8_t& b : block) b = static_cast<uint8_t>(rng());
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
    v.insert(v.end(), r, r + recordSize);
  }
  return v;
}

std::vector<uint8_t> Doubles(size_t count) {
  std::vector<uint8_t> v;
  for (size_t i = 0; i < count; ++i) {
    const double d = std::sin(i * 0.001) * 3 + 1;
    uint8_t b[8];
    std::memcpy(b, &d, 8);
    v.insert(v.end(), b, b + 8);
  }
  return v;
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
  ExpectSameAsZlib("random", Make(100000, random(256)), true);
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
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "# line " + std::to_string(i * 7 % 1000) + " of text\n";
  ExpectSameAsZlib("text", {text.begin(), text.end()}, true);
  // Repeats at and around the longest distance, the window and the far-match limit.
  for (size_t period : {1, 258, 259, 4096, 4097, 32505, 32506, 32507, 32768}) {
    ExpectSameAsZlib("period " + std::to_string(period), Repeated(period, 200000, rng), true);
  }
  // Sizes around where the window first slides and where the finder hands over to zlib's walk.
  for (size_t size : {257, 258, 259, 262, 32768, 65273, 65274, 65275, 65536, 98304}) {
    ExpectSameAsZlib("size " + std::to_string(size),
                     Make(size,
                          [&](size_t i) {
                            return static_cast<uint8_t>((i * 7 + (i >> 9)) % 251 ^ (rng() & 1));
                          }),
                     true);
  }
}

TEST(DeflateLevel9, LargeInputsSpanningManyBlocksAndWindows) {
  std::vector<uint8_t> mixed = Doubles(300000);
  const std::vector<uint8_t> records = Records(200000, 12);
  mixed.insert(mixed.end(), records.begin(), records.end());
  ExpectSameAsZlib("doubles then records", mixed, false);
}
