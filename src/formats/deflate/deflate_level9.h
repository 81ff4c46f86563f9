// One whole zlib stream at compression level 9: byte for byte what zlib writes after
// deflateInit(level 9) and a single deflate(Z_FINISH), found several times faster on
// repetitive data. Its test hooks are in deflate_level9_testing.h.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Inputs up to this size; beyond it positions no longer fit the finder's 32 bits.
inline constexpr uint64_t kMaxDeflateLevel9Input = (uint64_t{1} << 32) - (uint64_t{1} << 17);

// Throws std::length_error for an input larger than kMaxDeflateLevel9Input.
std::vector<uint8_t> DeflateLevel9(std::span<const uint8_t> input);
