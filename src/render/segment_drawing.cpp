// The drawing pass: every segment in painter's order with its visibility test, depth fade and
// drawing form.
//
// The pass walks the segments in order but reads their ends at random, so it reads them from
// the workspace's compact positions, fetched a few segments ahead, and keeps the exact
// arithmetic on the points' doubles for the rare segment that needs it: an end too far out
// for the compact form, or a point with a cull radius to test.
#include "render/segment_drawing.h"

#include <QColor>

#include "render/depth_fade.h"
#include "render/render_workspace.h"
#include "render/screen_geometry.h"
#include "render/toolkit_drawing.h"
#include "render/wu_line.h"
#include "render/wu_line_walk.h"
#include "scene/colour_codes.h"
#include "scene/error.h"
#include "scene/scene_model.h"

namespace {

bool ValidIndex(int32_t index, size_t pointCount) {
  return index >= 0 && static_cast<size_t>(index) < pointCount;
}

// Everything the drawing pass needs for one frame.
struct DrawContext {
  TForm1& form;
  FramePixels frame;
  DepthRange range;
  float cull;  // CircleRadius × Scale, in pixels
  size_t pointCount;
  FigurePainter figures;
};

void DrawPointSegment(DrawContext& c, const SegmentRecord& s, double x, double y, uint8_t red,
                      uint8_t green, uint8_t blue) {
  const float r = ToSingle(s.Radius * c.form.Scale);
  if (r > 1.0f) {
    // Circles are never anti-aliased. Box corners that do not fit 32 bits cannot be drawn.
    int32_t left, top, right, bottom;
    if (!RoundToInt32(x - r, left) || !RoundToInt32(y - r, top) || !RoundToInt32(x + r, right) ||
        !RoundToInt32(y + r, bottom)) {
      return;
    }
    const QRgb colour = qRgb(red, green, blue);
    c.figures.SetPen(colour);
    c.figures.SetBrush(c.form.FillCircles, colour);
    DrawEllipseInBox(c.figures.Painter(), left, top, right, bottom);
    return;
  }
  // A single pixel, stored whole. With anti-aliasing off the toolkit would set the same pixel.
  int32_t px, py;
  if (RoundToInt32(x, px) && RoundToInt32(y, py) && c.frame.Contains(px, py)) {
    c.frame.At(px, py) = kOpaque | MakeColor(blue, green, red);
  }
}

void DrawLineSegment(DrawContext& c, const PointRecord& p1, const PointRecord& p2, uint8_t red,
                     uint8_t green, uint8_t blue) {
  PixelLine line;
  if (!RoundLine(p1.ScreenX, p1.ScreenY, p2.ScreenX, p2.ScreenY, c.frame.width, c.frame.height,
                 line)) {
    return;
  }
  if (c.form.AntiAlias) {
    c.form.WuLine(line.x1, line.y1, line.x2, line.y2, red, green, blue);
  } else {
    c.figures.SetPen(qRgb(red, green, blue));
    DrawPlainLine(c.figures.Painter(), c.frame, line.x1, line.y1, line.x2, line.y2,
                  kOpaque | MakeColor(blue, green, red));
  }
}

struct LineColour {
  uint8_t red, green, blue;
};

// The segment's colour after depth fade. At f = 1 every channel is its own colour on either
// background, so the rounding is skipped there.
[[gnu::always_inline]] inline LineColour FadedColour(const TForm1& form, const DepthRange& range,
                                                     const SegmentRecord& s) {
  const float f = FadeFactor(form.Fade, s.Depth, range.zmin, range.zmax);
  LineColour c{ColourRed(s.Colour), ColourGreen(s.Colour), ColourBlue(s.Colour)};
  if (f == 1.0f) return c;
  if (form.WhiteBack) {
    const float toWhite = ToSingle(1.0 - f);
    return LineColour{FadeOnWhite(c.red, toWhite), FadeOnWhite(c.green, toWhite),
                      FadeOnWhite(c.blue, toWhite)};
  }
  return LineColour{FadeOnBlack(c.red, f), FadeOnBlack(c.green, f), FadeOnBlack(c.blue, f)};
}

// One segment from the points' doubles: the bound tests, fade and drawing as defined, for the
// segments the compact positions cannot settle.
void DrawSegmentExact(DrawContext& c, const SegmentRecord& s) {
  TForm1& form = c.form;
  const double width = c.frame.width;
  const double height = c.frame.height;
  const PointRecord& p1 = form.Points[static_cast<size_t>(s.First)];
  const PointRecord* p2 = nullptr;
  if (s.Kind != 0) {
    // A point counts with its cull radius about it.
    const ScreenPoint e{EdgeBits(p1.ScreenX, width, c.cull), EdgeBits(p1.ScreenY, height, c.cull)};
    if (BeyondOneEdge(e, e)) return;
  } else {
    p2 = &form.Points[static_cast<size_t>(s.Second)];
    const ScreenPoint e1{EdgeBits(p1.ScreenX, width), EdgeBits(p1.ScreenY, height)};
    const ScreenPoint e2{EdgeBits(p2->ScreenX, width), EdgeBits(p2->ScreenY, height)};
    if (BeyondOneEdge(e1, e2)) return;
  }
  const LineColour colour = FadedColour(form, c.range, s);
  if (p2 == nullptr) {
    DrawPointSegment(c, s, p1.ScreenX, p1.ScreenY, colour.red, colour.green, colour.blue);
  } else {
    DrawLineSegment(c, p1, *p2, colour.red, colour.green, colour.blue);
  }
}

// The drawing pass walks the segments in order but reads their ends at random: the positions
// of the segment this many places ahead are fetched while the current one is drawn.
constexpr size_t kPrefetchAhead = 12;

// Every segment in painter's order. The compact positions settle the bound tests exactly: their
// edge bits are the ones DrawSegmentExact finds from the doubles, for a point without a cull
// radius too. A non-far position is the rounded
// ScreenX and ScreenY, which is what drawing takes.
template <class Lines>
[[gnu::always_inline]] inline void DrawSegmentsWith(DrawContext& c, const ScreenPoint* screen,
                                                    size_t segmentCount) {
  TForm1& form = c.form;
  const SegmentRecord* segments = form.Segments.data();
  const size_t pointCount = c.pointCount;
  // With a cull radius a point's test needs its doubles; only models with circles have one.
  const bool pointsNeedDoubles = c.cull != 0;
  const PointRecord* points = form.Points.data();
  for (size_t k = 0; k < segmentCount; ++k) {
    if (k + kPrefetchAhead < segmentCount) {
      const SegmentRecord& ahead = segments[k + kPrefetchAhead];
      if (ValidIndex(ahead.First, pointCount)) {
        __builtin_prefetch(screen + ahead.First);
        // A point tested against the cull radius reads its record.
        if (pointsNeedDoubles && ahead.Kind != 0) __builtin_prefetch(points + ahead.First);
      }
      if (ValidIndex(ahead.Second, pointCount)) __builtin_prefetch(screen + ahead.Second);
    }
    const SegmentRecord& s = segments[k];
    if (!ValidIndex(s.First, pointCount)) continue;
    const ScreenPoint a = screen[s.First];
    if (s.Kind != 0) {
      if (pointsNeedDoubles || IsFar(a)) {
        DrawSegmentExact(c, s);
        continue;
      }
      if (BeyondOneEdge(a, a)) continue;
      const LineColour colour = FadedColour(form, c.range, s);
      const float r = ToSingle(s.Radius * form.Scale);
      if (r > 1.0f) {
        const PointRecord& p = form.Points[static_cast<size_t>(s.First)];
        DrawPointSegment(c, s, p.ScreenX, p.ScreenY, colour.red, colour.green, colour.blue);
        continue;
      }
      // Within the frame's edges the rounded position is at least 0 but may reach W or H.
      const int32_t px = PixelOf(a.x);
      const int32_t py = PixelOf(a.y);
      if (px < c.frame.width && py < c.frame.height) {
        c.frame.At(px, py) = kOpaque | MakeColor(colour.blue, colour.green, colour.red);
      }
      continue;
    }
    if (!ValidIndex(s.Second, pointCount)) continue;
    const ScreenPoint b = screen[s.Second];
    if (IsFar(a) || IsFar(b)) {
      DrawSegmentExact(c, s);
      continue;
    }
    if (BeyondOneEdge(a, b)) continue;
    const LineColour colour = FadedColour(form, c.range, s);
    const int32_t x1 = PixelOf(a.x), y1 = PixelOf(a.y), x2 = PixelOf(b.x), y2 = PixelOf(b.y);
    if (form.AntiAlias) {
      Lines::Draw(c.frame, x1, y1, x2, y2, colour.red, colour.green, colour.blue);
    } else {
      c.figures.SetPen(qRgb(colour.red, colour.green, colour.blue));
      DrawPlainLine(c.figures.Painter(), c.frame, x1, y1, x2, y2,
                    kOpaque | MakeColor(colour.blue, colour.green, colour.red));
    }
  }
}

void DrawSegmentsPortable(DrawContext& c, const ScreenPoint* screen, size_t segmentCount) {
  DrawSegmentsWith<wu_line::PortableLines>(c, screen, segmentCount);
}

#ifdef KESTREL_HAVE_AVX2_PATH
// The whole pass compiled for AVX2, not just the blend: see Avx2Lines.
[[gnu::target("avx2")]] void DrawSegmentsAvx2(DrawContext& c, const ScreenPoint* screen,
                                              size_t segmentCount) {
  DrawSegmentsWith<wu_line::Avx2Lines>(c, screen, segmentCount);
}
#endif

}  // namespace

void DrawSegments(TForm1& form, const FramePixels& frame, const DepthRange& range, float cull,
                  size_t pointCount, const ScreenPoint* screen, size_t segmentCount) {
  DrawContext context{form, frame,      range,
                      cull, pointCount, FigurePainter(form.FrameBitmap, frame.rows[0])};
#ifdef KESTREL_HAVE_AVX2_PATH
  if (UseAvx2()) {
    DrawSegmentsAvx2(context, screen, segmentCount);
    return;
  }
#endif
  DrawSegmentsPortable(context, screen, segmentCount);
}  // the painter, if any, ends here: the frame is complete before it is shown
