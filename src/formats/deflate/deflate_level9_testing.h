// The rebuilt deflate's test hooks: ways of running it that only the tests and the fuzz target
// ask for. The program calls DeflateLevel9 alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "formats/deflate/deflate_level9.h"

// When the match finder links its longer chains: as it pays (what DeflateLevel9 does), or
// wherever one is first wanted, or never. The bytes must be the same either way.
enum class ChainLinking { AsItPays, Always, Never };

// DeflateLevel9 with the finder's linking chosen. With `crossCheck`, every match found is also
// found by zlib's own chain walk and a difference throws std::logic_error: slow, but it checks
// the finder on every search.
// With `damageAt`, that byte of the stream is flipped as soon as it is written, before any check
// reads it: what a fault in the deflate would leave, for the check to catch.
std::vector<uint8_t> DeflateLevel9ForTesting(std::span<const uint8_t> input, bool crossCheck,
                                             ChainLinking linking, TwoThreads* threads = nullptr,
                                             bool* checked = nullptr, size_t damageAt = SIZE_MAX);
