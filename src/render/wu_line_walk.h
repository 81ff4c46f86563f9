// The anti-aliased line's walk and blend, shared by WuLine and the renderer's drawing pass
// (which inlines them into its own loop, once plain and once for AVX2). Internal to render/.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "render/frame_pixels.h"
#include "scene/colour_codes.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KESTREL_HAVE_AVX2_PATH 1
#endif

namespace wu_line {

inline constexpr int kFractionBits = 11;
inline constexpr int64_t kOne = int64_t{1} << kFractionBits;  // one pixel in fixed point
inline constexpr int64_t kFractionMask = kOne - 1;
inline constexpr uint32_t kColourBytes = 0x00FFFFFFu;

inline uint32_t LoadPixel(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Byte 3 is not part of the colour: it goes back as it was.
inline void StoreColour(uint8_t* p, uint32_t old, uint32_t colour) {
  const uint32_t v = (colour & kColourBytes) | (old & ~kColourBytes);
  std::memcpy(p, &v, sizeof v);
}

// Blends the near and the far pixel of one step, a channel at a time. The two terms of each
// channel are truncated separately before they are added, so f = 1024 over equal colours
// loses one step (255 → 254); that is the picture users know, so it stays.
struct PortableBlend {
  uint32_t k[3];  // the line's blue, green, red

  [[gnu::always_inline]] void operator()(uint8_t* nearPixel, uint8_t* farPixel, uint32_t f) const {
    const uint32_t w = static_cast<uint32_t>(kOne) - f;
    const uint32_t fw = f * w, ff = f * f, ww = w * w;
    const uint32_t nearOld = LoadPixel(nearPixel);
    const uint32_t farOld = LoadPixel(farPixel);
    uint32_t nearNew = 0;
    uint32_t farNew = 0;
    for (int i = 0; i < 3; ++i) {
      const uint32_t kfw = k[i] * fw;  // < 2^28, and every sum below stays under 2^31
      const uint32_t n = (nearOld >> (8 * i)) & 0xFF;
      const uint32_t o = (farOld >> (8 * i)) & 0xFF;
      nearNew |= (((kfw + n * ff) >> 22) + ((k[i] * w) >> 11)) << (8 * i);
      farNew |= (((kfw + o * ww) >> 22) + ((k[i] * f) >> 11)) << (8 * i);
    }
    StoreColour(nearPixel, nearOld, nearNew);
    StoreColour(farPixel, farOld, farNew);
  }

  [[gnu::always_inline]] void Adjacent(uint8_t* nearPixel, uint32_t f) const {
    (*this)(nearPixel, nearPixel + 4, f);
  }
};

// One pixel of a step's pair alone, for a pair that a band boundary cuts: each pixel's new
// value depends on its own old value only, so it is what the whole step gives that pixel.
inline void BlendNearOnly(uint8_t* nearPixel, const uint32_t k[3], uint32_t f) {
  const uint32_t w = static_cast<uint32_t>(kOne) - f;
  const uint32_t old = LoadPixel(nearPixel);
  uint32_t v = 0;
  for (int i = 0; i < 3; ++i) {
    const uint32_t n = (old >> (8 * i)) & 0xFF;
    v |= (((k[i] * f * w + n * f * f) >> 22) + ((k[i] * w) >> 11)) << (8 * i);
  }
  StoreColour(nearPixel, old, v);
}

inline void BlendFarOnly(uint8_t* farPixel, const uint32_t k[3], uint32_t f) {
  const uint32_t w = static_cast<uint32_t>(kOne) - f;
  const uint32_t old = LoadPixel(farPixel);
  uint32_t v = 0;
  for (int i = 0; i < 3; ++i) {
    const uint32_t o = (old >> (8 * i)) & 0xFF;
    v |= (((k[i] * f * w + o * w * w) >> 22) + ((k[i] * f) >> 11)) << (8 * i);
  }
  StoreColour(farPixel, old, v);
}

#ifdef KESTREL_HAVE_AVX2_PATH
// The same blend for both pixels at once, in eight 32-bit lanes: lanes 0–3 the near pixel's
// bytes, 4–7 the far pixel's. It rests on two exact identities of the blend's integers,
//   k·f·w + o·f·f = f·(o·f + k·w)   and   k·f·w + o·w·w = w·(o·w + k·f),
// so that each lane's sum of two products comes from one 16-bit multiply-add (every factor
// is below 2^12) and one 32-bit product: results identical to the channel-by-channel form.
struct Avx2Blend {
  __m256i lineHigh;  // the line's components shifted to the high 16 bits; 0 in lanes 3 and 7

  // The near pixel in the low four bytes of `old`, the far one in the high four; the same
  // with their new colours returned, each fourth byte as it was.
  [[gnu::target("avx2")]] inline uint64_t Blend(uint64_t old, uint32_t f) const {
    const uint32_t w = static_cast<uint32_t>(kOne) - f;
    // Lanes 0–3: (w << 16) | f, lanes 4–7: (f << 16) | w.
    const uint64_t pairs = uint64_t{(w << 16) | f} | (uint64_t{(f << 16) | w} << 32);
    const __m256i wf = _mm256_permutevar8x32_epi32(
        _mm256_castsi128_si256(_mm_cvtsi64_si128(static_cast<int64_t>(pairs))),
        _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1));
    const __m256i bytesOld = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<int64_t>(old)));
    const __m256i pairsOfOldAndLine = _mm256_or_si256(bytesOld, lineHigh);  // (k << 16) | o
    const __m256i high = _mm256_set1_epi32(static_cast<int32_t>(0xFFFF0000u));
    const __m256i low = _mm256_set1_epi32(0xFFFF);
    // near: o·f + k·w, far: o·w + k·f
    const __m256i inner = _mm256_madd_epi16(pairsOfOldAndLine, wf);
    // near: k·w, far: k·f
    const __m256i line = _mm256_madd_epi16(pairsOfOldAndLine, _mm256_and_si256(wf, high));
    // near: f·inner, far: w·inner
    const __m256i outer = _mm256_mullo_epi32(inner, _mm256_and_si256(wf, low));
    const __m256i blended =
        _mm256_add_epi32(_mm256_srli_epi32(outer, 22), _mm256_srli_epi32(line, 11));
    // The low byte of each lane, four to each half, and the halves side by side.
    const __m256i bytes = _mm256_shuffle_epi8(
        blended, _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 4,
                                  8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
    const auto both = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 1, 1, 1, 1, 1)))));
    constexpr uint64_t kColours = 0x00FFFFFF00FFFFFFull;
    return (both & kColours) | (old & ~kColours);
  }

  [[gnu::target("avx2")]] inline void operator()(uint8_t* nearPixel, uint8_t* farPixel,
                                                 uint32_t f) const {
    const uint64_t pixels = Blend(LoadPixel(nearPixel) | uint64_t{LoadPixel(farPixel)} << 32, f);
    const auto nearNew = static_cast<uint32_t>(pixels);
    const auto farNew = static_cast<uint32_t>(pixels >> 32);
    std::memcpy(nearPixel, &nearNew, sizeof nearNew);
    std::memcpy(farPixel, &farNew, sizeof farNew);
  }

  // The far pixel right of the near one: both read and written in one piece.
  [[gnu::target("avx2")]] inline void Adjacent(uint8_t* nearPixel, uint32_t f) const {
    uint64_t pixels;
    std::memcpy(&pixels, nearPixel, sizeof pixels);
    pixels = Blend(pixels, f);
    std::memcpy(nearPixel, &pixels, sizeof pixels);
  }
};
#endif

// The walk runs in 64 bits. Up to 2^20 in every coordinate and difference this gives exactly
// the values a 32-bit walk gives; beyond that it simply goes on being the same line instead of
// wrapping, so far-off ends neither misplace the visible part nor overflow. Positions before
// the first visible major coordinate are skipped in one step; they draw nothing and only
// advance the minor position, so the pixels are those of the full walk.
struct Walk {
  int64_t start;  // first major coordinate
  int64_t end;    // last major coordinate, inclusive
  int64_t minor;  // minor coordinate at `start`, fixed point
  int64_t step;   // minor advance per major step, fixed point
};

// Clips the walk to the major range [0, majorSize − 1]. False when nothing is left.
inline bool ClipWalk(Walk& walk, int64_t majorSize) {
  const int64_t last = std::min(walk.end, majorSize - 1);
  if (last < walk.start) return false;
  if (walk.start < 0) {
    walk.minor += walk.step * -walk.start;  // |step × skipped| ≤ 2^11 × |minor difference|
    walk.start = 0;
  }
  walk.end = last;
  return walk.start <= walk.end;
}

// The walk from the end with the smaller major coordinate to the other one.
inline Walk MakeWalk(int64_t majorA, int64_t minorA, int64_t majorB, int64_t minorB) {
  if (majorB < majorA) {
    std::swap(majorA, majorB);
    std::swap(minorA, minorB);
  }
  const int64_t majorSpan = majorB - majorA;  // > 0 on both blended paths
  const int64_t minorSpan = std::abs(minorB - minorA);
  // Truncating division of the magnitude, the sign following the minor direction. Nearly every
  // line fits the cheaper 32-bit division, which gives the same quotient.
  const int64_t magnitude =
      minorSpan < (int64_t{1} << 20) && majorSpan <= UINT32_MAX
          ? static_cast<uint32_t>(minorSpan << kFractionBits) / static_cast<uint32_t>(majorSpan)
          : (minorSpan * kOne) / majorSpan;
  return Walk{majorA, majorB, minorA * kOne, minorB < minorA ? -magnitude : magnitude};
}

// The toolkit's plain line for horizontal, vertical and zero-length lines: the pixels from the
// start toward the end, the start included and the end not, overwritten with the opaque colour
// exactly as the toolkit's 1-pixel pen writes them (tests compare the two pixel for pixel).
// Writing them here keeps the anti-aliased frame free of any toolkit painter.
inline void AxisLine(const FramePixels& frame, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                     uint32_t pixel) {
  if (x1 == x2 && y1 == y2) return;
  if (y1 == y2) {
    if (y1 < 0 || y1 >= frame.height) return;
    const int64_t from = std::max<int64_t>(x1 < x2 ? x1 : x2 + 1, 0);
    const int64_t to = std::min<int64_t>(x1 < x2 ? x2 - 1 : x1, frame.width - 1);
    auto* row = reinterpret_cast<uint32_t*>(frame.rows[y1]);
    for (int64_t x = from; x <= to; ++x) row[x] = pixel;
  } else {
    if (x1 < 0 || x1 >= frame.width) return;
    const int64_t from = std::max<int64_t>(y1 < y2 ? y1 : y2 + 1, 0);
    const int64_t to = std::min<int64_t>(y1 < y2 ? y2 - 1 : y1, frame.height - 1);
    for (int64_t y = from; y <= to; ++y) reinterpret_cast<uint32_t*>(frame.rows[y])[x1] = pixel;
  }
}

// Everything but the blend itself. A step draws when its pixel pair lies wholly in the frame:
// 0 ≤ minor and (minor >> 11) ≤ size − 2, which is 0 ≤ minor < (size − 1) << 11, one unsigned
// comparison.
template <class Blend>
[[gnu::always_inline]] inline void WalkLine(const FramePixels& frame, int64_t x1, int64_t y1,
                                            int64_t x2, int64_t y2, uint8_t r, uint8_t g, uint8_t b,
                                            const Blend& blend) {
  const int64_t dx = std::abs(x2 - x1);
  const int64_t dy = std::abs(y2 - y1);
  if (dx == 0 || dy == 0) {
    AxisLine(frame, x1, y1, x2, y2, 0xFF000000u | MakeColor(b, g, r));
    return;
  }
  uint8_t* const* rows = frame.rows;
  if (dy < dx) {
    // Shallow: x is the major axis; pixel pairs are stacked in a column.
    Walk walk = MakeWalk(x1, y1, x2, y2);
    if (!ClipWalk(walk, frame.width)) return;
    const auto limit = static_cast<uint64_t>(std::max(frame.height - 1, 0)) << kFractionBits;
    int64_t yf = walk.minor;
    for (int64_t x = walk.start; x <= walk.end; ++x, yf += walk.step) {
      if (static_cast<uint64_t>(yf) >= limit) continue;
      const int64_t row = yf >> kFractionBits;
      blend(rows[row] + 4 * x, rows[row + 1] + 4 * x, static_cast<uint32_t>(yf & kFractionMask));
    }
  } else {
    // Steep (a 45° line included): y is the major axis; pixel pairs side by side in a row.
    Walk walk = MakeWalk(y1, x1, y2, x2);
    if (!ClipWalk(walk, frame.height)) return;
    const auto limit = static_cast<uint64_t>(std::max(frame.width - 1, 0)) << kFractionBits;
    int64_t xf = walk.minor;
    for (int64_t y = walk.start; y <= walk.end; ++y, xf += walk.step) {
      if (static_cast<uint64_t>(xf) >= limit) continue;
      blend.Adjacent(rows[y] + 4 * (xf >> kFractionBits),
                     static_cast<uint32_t>(xf & kFractionMask));
    }
  }
}

// The rows [top, bottom) of the frame one thread draws while others draw the rest (already
// cut to the frame).
struct Rows {
  int64_t top;
  int64_t bottom;
};

// AxisLine, only the pixels in `rows`.
inline void AxisLineInRows(const FramePixels& frame, Rows rows, int64_t x1, int64_t y1, int64_t x2,
                           int64_t y2, uint32_t pixel) {
  if (x1 == x2 && y1 == y2) return;
  if (y1 == y2) {
    if (y1 < rows.top || y1 >= rows.bottom) return;
    AxisLine(frame, x1, y1, x2, y2, pixel);
    return;
  }
  if (x1 < 0 || x1 >= frame.width) return;
  const int64_t from = std::max<int64_t>(y1 < y2 ? y1 : y2 + 1, rows.top);
  const int64_t to = std::min<int64_t>(y1 < y2 ? y2 - 1 : y1, rows.bottom - 1);
  for (int64_t y = from; y <= to; ++y) reinterpret_cast<uint32_t*>(frame.rows[y])[x1] = pixel;
}

// The first and last steps of a walk whose minor position, starting at `minor` and moving by
// `step` a step, lies in [low, high): a range that holds every such step (and maybe a few
// more, which the caller's own test leaves out). False when there is none.
inline bool StepsWithin(int64_t minor, int64_t step, int64_t steps, int64_t low, int64_t high,
                        int64_t& first, int64_t& last) {
  first = 0;
  last = steps - 1;
  if (step == 0) return minor >= low && minor < high;
  // Steps from the start to reach a value, rounded toward the start (a superset).
  if (step > 0) {
    if (minor < low) first = (low - minor) / step;
    if (minor >= high) return false;
    last = std::min(last, (high - minor) / step + 1);
  } else {
    if (minor >= high) first = (minor - high) / -step;
    if (minor < low) return false;
    last = std::min(last, (minor - low) / -step + 1);
  }
  return first <= last;
}

// WalkLine, only the pixels in `rows`: the same steps, each drawn when its pair lies in the
// frame, and of the pair only the pixels in those rows. A pixel's new value depends only on
// its old one and the step, so the bands of a frame drawn one after another, in any order,
// give the frame WalkLine gives.
template <class Blend>
[[gnu::always_inline]] inline void WalkLineInRows(const FramePixels& frame, Rows rows, int64_t x1,
                                                  int64_t y1, int64_t x2, int64_t y2, uint8_t r,
                                                  uint8_t g, uint8_t b, const Blend& blend) {
  const int64_t dx = std::abs(x2 - x1);
  const int64_t dy = std::abs(y2 - y1);
  if (dx == 0 || dy == 0) {
    AxisLineInRows(frame, rows, x1, y1, x2, y2, 0xFF000000u | MakeColor(b, g, r));
    return;
  }
  uint8_t* const* frameRows = frame.rows;
  if (dy < dx) {
    Walk walk = MakeWalk(x1, y1, x2, y2);
    if (!ClipWalk(walk, frame.width)) return;
    // Near rows whose pair reaches into the band and lies in the frame.
    const int64_t lowRow = std::max<int64_t>(rows.top - 1, 0);
    const int64_t highRow = std::min<int64_t>(rows.bottom - 1, frame.height - 2);
    if (lowRow > highRow) return;
    int64_t first, last;
    if (!StepsWithin(walk.minor, walk.step, walk.end - walk.start + 1, lowRow << kFractionBits,
                     (highRow + 1) << kFractionBits, first, last)) {
      return;
    }
    const uint32_t k[3] = {b, g, r};
    int64_t yf = walk.minor + walk.step * first;
    for (int64_t x = walk.start + first; x <= walk.start + last; ++x, yf += walk.step) {
      if (yf < 0) continue;
      const int64_t row = yf >> kFractionBits;
      if (row < lowRow || row > highRow) continue;
      const auto f = static_cast<uint32_t>(yf & kFractionMask);
      const bool nearIn = row >= rows.top;
      const bool farIn = row + 1 < rows.bottom;
      if (nearIn && farIn) {
        blend(frameRows[row] + 4 * x, frameRows[row + 1] + 4 * x, f);
      } else if (nearIn) {
        BlendNearOnly(frameRows[row] + 4 * x, k, f);
      } else {
        BlendFarOnly(frameRows[row + 1] + 4 * x, k, f);
      }
    }
  } else {
    Walk walk = MakeWalk(y1, x1, y2, x2);
    if (!ClipWalk(walk, rows.bottom)) return;
    if (walk.start < rows.top) {
      if (walk.end < rows.top) return;
      walk.minor += walk.step * (rows.top - walk.start);
      walk.start = rows.top;
    }
    const auto limit = static_cast<uint64_t>(std::max(frame.width - 1, 0)) << kFractionBits;
    int64_t xf = walk.minor;
    for (int64_t y = walk.start; y <= walk.end; ++y, xf += walk.step) {
      if (static_cast<uint64_t>(xf) >= limit) continue;
      blend.Adjacent(frameRows[y] + 4 * (xf >> kFractionBits),
                     static_cast<uint32_t>(xf & kFractionMask));
    }
  }
}

// Draws one line with the blend of its kind: the lines of a frame are drawn through one of
// these, chosen once for the whole drawing pass.
struct PortableLines {
  [[gnu::always_inline]] static void Draw(const FramePixels& frame, int32_t x1, int32_t y1,
                                          int32_t x2, int32_t y2, uint8_t red, uint8_t green,
                                          uint8_t blue) {
    WalkLine(frame, x1, y1, x2, y2, red, green, blue, PortableBlend{{blue, green, red}});
  }
  static void DrawInRows(const FramePixels& frame, Rows rows, int32_t x1, int32_t y1, int32_t x2,
                         int32_t y2, uint8_t red, uint8_t green, uint8_t blue) {
    WalkLineInRows(frame, rows, x1, y1, x2, y2, red, green, blue,
                   PortableBlend{{blue, green, red}});
  }
};

#ifdef KESTREL_HAVE_AVX2_PATH
// Only for code compiled for AVX2 as a whole: mixing these 256-bit steps into a loop of
// ordinary SSE code costs more in state transitions than the steps save.
struct Avx2Lines {
  [[gnu::target("avx2")]] static void Draw(const FramePixels& frame, int32_t x1, int32_t y1,
                                           int32_t x2, int32_t y2, uint8_t red, uint8_t green,
                                           uint8_t blue) {
    const Avx2Blend blend{_mm256_setr_epi32(blue << 16, green << 16, red << 16, 0, blue << 16,
                                            green << 16, red << 16, 0)};
    WalkLine(frame, x1, y1, x2, y2, red, green, blue, blend);
  }
  [[gnu::target("avx2")]] static void DrawInRows(const FramePixels& frame, Rows rows, int32_t x1,
                                                 int32_t y1, int32_t x2, int32_t y2, uint8_t red,
                                                 uint8_t green, uint8_t blue) {
    const Avx2Blend blend{_mm256_setr_epi32(blue << 16, green << 16, red << 16, 0, blue << 16,
                                            green << 16, red << 16, 0)};
    WalkLineInRows(frame, rows, x1, y1, x2, y2, red, green, blue, blend);
  }
};
#endif

}  // namespace wu_line
