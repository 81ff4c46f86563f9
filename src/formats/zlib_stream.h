// Whole-buffer zlib streams (RFC 1950), the container of the native scene file's body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "scene/error.h"

// Thrown by DecompressStream when the data would unpack to more than the caller allows.
class DecompressedTooLarge : public KestrelError {
 public:
  using KestrelError::KestrelError;
};

// Compresses all of `input` into one zlib stream at `level` (0–9) with a 15-bit window and the
// default memory level and strategy, so the bytes depend only on the input, the level and zlib.
// Large inputs at level 9 go through DeflateLevel9, which writes those same bytes sooner.
std::vector<uint8_t> CompressStream(std::span<const uint8_t> input, int level);

// Told before the output's room grows to `room` bytes, taken as a new block while the old one is
// still held; it may throw to stop.
using OutputGrowth = std::function<void(size_t room)>;

// Decompresses the zlib stream at the start of `input`. Throws KestrelError("Error") when the
// data is not a whole, valid zlib stream, and DecompressedTooLarge before the output would grow
// beyond `maxOutput` bytes. Bytes after the end of the stream are not looked at. `beforeGrowth`,
// when given, hears of every growth of the output's room before it is taken.
std::vector<uint8_t> DecompressStream(std::span<const uint8_t> input, size_t maxOutput,
                                      const OutputGrowth& beforeGrowth = {});
