// One whole zlib stream at compression level 9: byte for byte what zlib writes after
// deflateInit(level 9) and a single deflate(Z_FINISH), found several times faster on
// repetitive data.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Inputs up to this size; beyond it positions no longer fit the finder's 32 bits.
inline constexpr uint64_t kMaxDeflateLevel9Input = (uint64_t{1} << 32) - (uint64_t{1} << 17);

// When the match finder links its longer chains: as it pays, or (for tests, which must see the
// same bytes either way) wherever one is first wanted, or never.
enum class ChainLinking { AsItPays, Always, Never };

// With `crossCheck`, every match found is also found by zlib's own chain walk and a difference
// throws std::logic_error (for tests: slow, but it checks the finder on every search).
std::vector<uint8_t> DeflateLevel9(std::span<const uint8_t> input, bool crossCheck = false,
                                   ChainLinking linking = ChainLinking::AsItPays);
