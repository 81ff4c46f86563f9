// Direct access to the frame's pixels through its row table, for the renderer's own writes.
#pragma once

#include <cstdint>

struct FramePixels {
  uint8_t* const* rows;  // ScanLines: the address of each row, top row first
  int32_t width;
  int32_t height;

  bool Contains(int64_t x, int64_t y) const { return x >= 0 && x < width && y >= 0 && y < height; }
  uint32_t& At(int32_t x, int32_t y) const { return reinterpret_cast<uint32_t*>(rows[y])[x]; }
};

// The frame is QImage::Format_RGB32, whose fourth byte the toolkit keeps at 0xFF: a pixel the
// program stores whole carries the colour's blue, green and red bytes and that 0xFF.
inline constexpr uint32_t kOpaque = 0xFF000000u;
