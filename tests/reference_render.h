// The frame renderer written the plain way, pass after pass over the records exactly as the
// program defines it: LookAt per point, the depth keys, the recursive quicksort exchanging whole
// records, the bound tests on doubles, the fade with nearbyint, and the anti-aliased line one
// channel at a time. Only the tests use it: the program's renderer must give the same pixels
// and leave the same records, to the bit, however it gets there.
#pragma once

#include <QColor>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <utility>

#include "render/frame_pixels.h"
#include "render/screen_geometry.h"
#include "support/toolkit_drawing.h"
#include "scene/colour_codes.h"
#include "scene/error.h"
#include "scene/scene_model.h"
#include "view/vector_camera.h"

namespace reference {

inline bool RoundToInt32(double value, int32_t& out) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return false;
  out = static_cast<int32_t>(rounded);
  return true;
}

// Lines whose ends fit are rounded here; the program's clipping of far ends is not under test.
inline bool RoundPixelLine(double x1, double y1, double x2, double y2, int32_t width,
                           int32_t height, PixelLine& out) {
  if (RoundToInt32(x1, out.x1) && RoundToInt32(y1, out.y1) && RoundToInt32(x2, out.x2) &&
      RoundToInt32(y2, out.y2)) {
    return true;
  }
  return ::RoundLine(x1, y1, x2, y2, width, height, out);
}

inline float FadeFactor(bool fade, double depth, float zmin, float zmax) {
  const double range = double{zmax} - double{zmin};
  if (!fade || range == 0) return 1.0f;
  return ToSingle(std::min(std::max((depth - zmin) * 1.2 / range, 0.5), 1.0));
}

inline uint8_t FadeOnBlack(uint8_t s, float f) {
  return static_cast<uint8_t>(std::nearbyint(static_cast<double>(s) * double{f}));
}

inline uint8_t FadeOnWhite(uint8_t s, float whiteFraction) {
  return static_cast<uint8_t>(s + std::nearbyint((255.0 - s) * double{whiteFraction}));
}

// The quicksort as defined, recursing plainly. Returns how deep it recursed.
inline int Quicksort(SegmentRecord* s, int64_t lo, int64_t hi) {
  const double pivot = s[(lo + hi) / 2].Depth;
  int64_t i = lo, j = hi;
  do {
    while (s[i].Depth < pivot) ++i;
    while (s[j].Depth > pivot) --j;
    if (i <= j) {
      std::swap(s[i], s[j]);
      ++i;
      --j;
    }
  } while (i <= j);
  int depth = 0;
  if (lo < j) depth = std::max(depth, Quicksort(s, lo, j));
  if (i < hi) depth = std::max(depth, Quicksort(s, i, hi));
  return depth + 1;
}

// WuLine as defined, in 64-bit fixed point (exact for every end the renderer hands it).
inline void BlendPair(uint8_t* nearPixel, uint8_t* farPixel, int64_t f, uint8_t b, uint8_t g,
                      uint8_t r) {
  const int64_t w = 2048 - f;
  const int64_t k[3] = {b, g, r};
  for (int i = 0; i < 3; ++i) {
    nearPixel[i] =
        static_cast<uint8_t>(((k[i] * f * w + nearPixel[i] * f * f) >> 22) + ((k[i] * w) >> 11));
    farPixel[i] =
        static_cast<uint8_t>(((k[i] * f * w + farPixel[i] * w * w) >> 22) + ((k[i] * f) >> 11));
  }
}

inline void WuLine(const FramePixels& frame, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                   uint8_t r, uint8_t g, uint8_t b) {
  const int64_t dx = std::abs(x2 - x1);
  const int64_t dy = std::abs(y2 - y1);
  const uint32_t pixel = kOpaque | MakeColor(b, g, r);
  if (dx == 0 && dy == 0) return;
  if (dx == 0 || dy == 0) {
    // Start drawn, end not: the pixels from the start up to the end, or from after the end up
    // to the start, within the frame.
    const bool alongX = dy == 0;
    const int64_t a = alongX ? x1 : y1, e = alongX ? x2 : y2;
    const int64_t from = a < e ? a : e + 1, to = a < e ? e - 1 : a;
    const int64_t size = alongX ? frame.width : frame.height;
    for (int64_t v = std::max<int64_t>(from, 0); v <= std::min<int64_t>(to, size - 1); ++v) {
      const int64_t x = alongX ? v : x1, y = alongX ? y1 : v;
      if (frame.Contains(x, y)) frame.At(static_cast<int32_t>(x), static_cast<int32_t>(y)) = pixel;
    }
    return;
  }
  const bool shallow = dy < dx;
  int64_t ma = shallow ? x1 : y1, na = shallow ? y1 : x1;
  int64_t mb = shallow ? x2 : y2, nb = shallow ? y2 : x2;
  if (mb < ma) {
    std::swap(ma, mb);
    std::swap(na, nb);
  }
  const int64_t magnitude = std::abs(nb - na) * 2048 / (mb - ma);
  const int64_t step = nb < na ? -magnitude : magnitude;
  const int64_t majorSize = shallow ? frame.width : frame.height;
  const int64_t minorSize = shallow ? frame.height : frame.width;
  const int64_t last = std::min(mb, majorSize - 1);
  // Steps left of (or above) the frame draw nothing; they only move the minor position.
  const int64_t first = std::max<int64_t>(ma, 0);
  int64_t minor = na * 2048 + step * (first - ma);
  for (int64_t m = first; m <= last; ++m, minor += step) {
    if (minor < 0 || (minor >> 11) > minorSize - 2) continue;
    const int64_t c = minor >> 11;
    const int64_t f = minor & 2047;
    if (shallow) {
      BlendPair(frame.rows[c] + 4 * m, frame.rows[c + 1] + 4 * m, f, b, g, r);
    } else {
      BlendPair(frame.rows[m] + 4 * c, frame.rows[m] + 4 * c + 4, f, b, g, r);
    }
  }
}

struct Context {
  TForm1& form;
  FramePixels frame;
  float zmin = 0, zmax = 0, cull = 0;
  std::optional<FigurePainter> figures;
};

inline bool Valid(int32_t index, const TForm1& form) {
  return index >= 0 && static_cast<size_t>(index) < form.Points.size();
}

inline void DrawSegment(Context& c, const SegmentRecord& s) {
  TForm1& form = c.form;
  const double W = c.frame.width, H = c.frame.height;
  if (!Valid(s.First, form)) return;
  const PointRecord& p1 = form.Points[static_cast<size_t>(s.First)];
  const PointRecord* p2 = nullptr;
  if (s.Kind != 0) {
    if (p1.ScreenX + c.cull < 0 || p1.ScreenX - c.cull >= W || p1.ScreenY + c.cull < 0 ||
        p1.ScreenY - c.cull >= H) {
      return;
    }
  } else {
    if (!Valid(s.Second, form)) return;
    p2 = &form.Points[static_cast<size_t>(s.Second)];
    if ((p1.ScreenX < 0 && p2->ScreenX < 0) || (p1.ScreenX >= W && p2->ScreenX >= W) ||
        (p1.ScreenY < 0 && p2->ScreenY < 0) || (p1.ScreenY >= H && p2->ScreenY >= H)) {
      return;
    }
  }
  float f = FadeFactor(form.Fade, s.Depth, c.zmin, c.zmax);
  uint8_t r = ColourRed(s.Colour), g = ColourGreen(s.Colour), b = ColourBlue(s.Colour);
  if (form.WhiteBack) {
    f = ToSingle(1.0 - f);
    r = FadeOnWhite(r, f);
    g = FadeOnWhite(g, f);
    b = FadeOnWhite(b, f);
  } else {
    r = FadeOnBlack(r, f);
    g = FadeOnBlack(g, f);
    b = FadeOnBlack(b, f);
  }
  if (p2 == nullptr) {
    const double x = p1.ScreenX, y = p1.ScreenY;
    const float radius = ToSingle(s.Radius * form.Scale);
    if (radius > 1.0f) {
      int32_t left, top, right, bottom;
      if (!RoundToInt32(x - radius, left) || !RoundToInt32(y - radius, top) ||
          !RoundToInt32(x + radius, right) || !RoundToInt32(y + radius, bottom)) {
        return;
      }
      c.figures->SetPen(qRgb(r, g, b));
      c.figures->SetBrush(form.FillCircles, qRgb(r, g, b));
      DrawEllipseInBox(c.figures->Painter(), left, top, right, bottom);
      return;
    }
    int32_t px, py;
    if (RoundToInt32(x, px) && RoundToInt32(y, py) && c.frame.Contains(px, py)) {
      c.frame.At(px, py) = kOpaque | MakeColor(b, g, r);
    }
    return;
  }
  PixelLine l;
  if (!RoundPixelLine(p1.ScreenX, p1.ScreenY, p2->ScreenX, p2->ScreenY, c.frame.width,
                      c.frame.height, l)) {
    return;
  }
  if (form.AntiAlias) {
    WuLine(c.frame, l.x1, l.y1, l.x2, l.y2, r, g, b);
  } else {
    c.figures->SetPen(qRgb(r, g, b));
    DrawPlainLine(c.figures->Painter(), c.frame, l.x1, l.y1, l.x2, l.y2,
                  kOpaque | MakeColor(b, g, r));
  }
}

inline void Overflow(double v) {
  if (!std::isfinite(v)) throw KestrelError("Floating point overflow");
}

// Render, pass by pass. The form's frame must be in its 32-bit form with a current row table
// (as after FormResize); counts must match the arrays.
inline void Render(TForm1& form) {
  try {
    const int32_t W = form.FrameBitmap.width(), H = form.FrameBitmap.height();
    const bool hasPixels = W > 0 && H > 0;
    std::optional<FramePixels> frame;
    if (hasPixels) {
      form.FrameBitmap.bits();
      frame = FramePixels{form.ScanLines.data(), W, H};
      const uint32_t background = form.WhiteBack ? 0xFFFFFFFFu : kOpaque;
      for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) frame->At(x, y) = background;
      }
    }
    Context c{form, frame.value_or(FramePixels{nullptr, 0, 0}), 0, 0, 0, {}};
    if (hasPixels) c.figures.emplace(form.FrameBitmap, frame->rows[0]);
    for (size_t i = 0; i < form.Points.size(); ++i) {
      PointRecord& p = form.Points[i];
      form.LookAt(VecSub(p.Pos, form.Centre), p.View);
      p.ScreenX = W / 2 + (p.View.x + form.PanX) * form.Scale;
      p.ScreenY = H / 2 - (p.View.y + form.PanY) * form.Scale;
      Overflow(p.ScreenX);
      Overflow(p.ScreenY);
      if (i == 0) {
        c.zmin = c.zmax = ToSingle(p.View.z);
      } else {
        if (p.View.z > c.zmax) c.zmax = ToSingle(p.View.z);
        if (p.View.z < c.zmin) c.zmin = ToSingle(p.View.z);
      }
    }
    for (SegmentRecord& s : form.Segments) {
      if (!Valid(s.First, form)) continue;
      const double z1 = form.Points[static_cast<size_t>(s.First)].View.z;
      if (s.Kind != 0) {
        s.Depth = z1;
      } else if (Valid(s.Second, form)) {
        s.Depth = (z1 + form.Points[static_cast<size_t>(s.Second)].View.z) * 0.5;
      }
    }
    if (form.Segments.size() > 1) {
      Quicksort(form.Segments.data(), 0, static_cast<int64_t>(form.Segments.size()) - 1);
    }
    c.cull = ToSingle(form.CircleRadius * form.Scale);
    if (hasPixels && !form.Points.empty()) {
      for (const SegmentRecord& s : form.Segments) DrawSegment(c, s);
    }
    c.figures.reset();
    form.BlitBitmap();
  } catch (const std::exception&) {
    form.Controls().ShowMessage("Error rendering model");
  }
}

}  // namespace reference
