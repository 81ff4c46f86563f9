#include "scene/colour_codes.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "test_support.h"

namespace {

// The colour value's bytes in memory order.
std::array<uint8_t, 4> Bytes(uint32_t colour) {
  std::array<uint8_t, 4> b{};
  std::memcpy(b.data(), &colour, 4);
  return b;
}

using B = std::array<uint8_t, 4>;

TEST(MakeColor, StoresBlueGreenRedThenZero) {
  EXPECT_EQ(Bytes(MakeColor(1, 2, 3)), (B{1, 2, 3, 0}));
  EXPECT_EQ(ToolkitColour(3, 2, 1), 3u + 2u * 256u + 1u * 65536u);
}

TEST(CodeToColor, DefaultFollowsTheBackground) {
  FormFixture f;
  EXPECT_EQ(Bytes(f.form.CodeToColor(0)), (B{255, 255, 255, 0}));
  f.form.WhiteBack = true;
  EXPECT_EQ(Bytes(f.form.CodeToColor(0)), (B{40, 40, 40, 0}));
  for (uint8_t code : {7, 100, 255}) EXPECT_EQ(Bytes(f.form.CodeToColor(code)), (B{40, 40, 40, 0}));
  f.form.WhiteBack = false;
  for (uint8_t code : {7, 100, 255}) {
    EXPECT_EQ(Bytes(f.form.CodeToColor(code)), (B{255, 255, 255, 0}));
  }
}

TEST(CodeToColor, SixColoursInMemoryOrder) {
  FormFixture f;
  for (bool white : {false, true}) {
    f.form.WhiteBack = white;
    EXPECT_EQ(Bytes(f.form.CodeToColor(1)), (B{0, 0, 255, 0}));    // red
    EXPECT_EQ(Bytes(f.form.CodeToColor(2)), (B{0, 255, 0, 0}));    // green
    EXPECT_EQ(Bytes(f.form.CodeToColor(3)), (B{255, 0, 0, 0}));    // blue
    EXPECT_EQ(Bytes(f.form.CodeToColor(4)), (B{0, 255, 255, 0}));  // yellow
    EXPECT_EQ(Bytes(f.form.CodeToColor(5)), (B{255, 0, 255, 0}));  // magenta
    EXPECT_EQ(Bytes(f.form.CodeToColor(6)), (B{255, 255, 0, 0}));  // cyan
  }
}

}  // namespace
