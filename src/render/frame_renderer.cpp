// The frame renderer: background, projection, depth keys, depth sort, then every segment in
// painter's order with depth fade, as an anti-aliased or plain line, a circle or a dot.
#include <QColor>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

#include "render/colour_codes.h"
#include "render/depth_fade.h"
#include "render/depth_sort.h"
#include "render/frame_pixels.h"
#include "render/screen_geometry.h"
#include "render/toolkit_drawing.h"
#include "scene/scene_model.h"
#include "scene/single.h"
#include "view/vector_camera.h"

namespace {

void CheckFinite(double value) {
  // Overflow and invalid operations are failures of the frame, never silent infinities.
  if (!std::isfinite(value)) throw KestrelError("Floating point overflow");
}

// The row table must address the frame's current storage. The frame is Format_RGB32 in both
// modes, but any copy of the image made elsewhere makes the next write detach and move it, so
// the table is compared with the storage on every frame and rebuilt only when it differs.
FramePixels PrepareRows(TForm1& form) {
  const int32_t width = form.FrameBitmap.width();
  const int32_t height = form.FrameBitmap.height();
  uint8_t* first = form.FrameBitmap.bits();  // detaches now, before any pixel is written
  const uint8_t* last = first + (height - 1) * form.FrameBitmap.bytesPerLine();
  if (form.ScanLines.size() != static_cast<size_t>(height) || form.ScanLines.front() != first ||
      form.ScanLines.back() != last) {
    form.ScanLines.resize(static_cast<size_t>(height));
    form.PopulateScanlines();
  }
  return FramePixels{form.ScanLines.data(), width, height};
}

// The background fill of FrameRect (the whole frame), written the way the toolkit's solid
// rectangle fill writes it.
void FillBackground(const TForm1& form, const FramePixels& frame) {
  const uint32_t pixel = form.WhiteBack ? kOpaque | MakeColor(255, 255, 255) : kOpaque;
  const int32_t left = std::max(form.FrameRect.Left, 0);
  const int32_t right = std::min(form.FrameRect.Right, frame.width);
  const int32_t top = std::max(form.FrameRect.Top, 0);
  const int32_t bottom = std::min(form.FrameRect.Bottom, frame.height);
  for (int32_t y = top; y < bottom; ++y) {
    if (left < right) std::fill(&frame.At(left, y), &frame.At(left, y) + (right - left), pixel);
  }
}

struct DepthRange {
  float zmin = 0;
  float zmax = 0;
};

// Camera space and screen position of every point, and the depth range over all of them.
DepthRange ProjectPoints(TForm1& form, size_t pointCount, int32_t width, int32_t height) {
  const double halfWidth = width / 2;  // integer halves, rounded down
  const double halfHeight = height / 2;
  DepthRange range;
  for (size_t i = 0; i < pointCount; ++i) {
    PointRecord& p = form.Points[i];
    form.LookAt(VecSub(p.Pos, form.Centre), p.View);
    CheckFinite(p.View.x);
    CheckFinite(p.View.y);
    CheckFinite(p.View.z);
    p.ScreenX = halfWidth + (p.View.x + form.PanX) * form.Scale;
    p.ScreenY = halfHeight - (p.View.y + form.PanY) * form.Scale;
    CheckFinite(p.ScreenX);
    CheckFinite(p.ScreenY);
    // The double depth is compared with the stored float; a store is rounded to 32 bits.
    if (i == 0) {
      range.zmin = range.zmax = ToSingle(p.View.z);
    } else {
      if (p.View.z > range.zmax) range.zmax = ToSingle(p.View.z);
      if (p.View.z < range.zmin) range.zmin = ToSingle(p.View.z);
    }
  }
  return range;
}

bool ValidIndex(int32_t index, size_t pointCount) {
  return index >= 0 && static_cast<size_t>(index) < pointCount;
}

// A segment naming a point that does not exist keeps the Depth it had and is never drawn.
void ComputeDepthKeys(TForm1& form, size_t pointCount, size_t segmentCount) {
  for (size_t k = 0; k < segmentCount; ++k) {
    SegmentRecord& s = form.Segments[k];
    if (!ValidIndex(s.First, pointCount)) continue;
    const double z1 = form.Points[static_cast<size_t>(s.First)].View.z;
    if (s.Kind != 0) {
      s.Depth = z1;
    } else if (ValidIndex(s.Second, pointCount)) {
      s.Depth = (z1 + form.Points[static_cast<size_t>(s.Second)].View.z) * 0.5;
    }
  }
}

// Everything the drawing pass needs for one frame.
struct DrawContext {
  TForm1& form;
  FramePixels frame;
  DepthRange range;
  float cull;  // CircleRadius × Scale, in pixels
  size_t pointCount;
  // Opened at the first figure the toolkit draws, so that frames of lines and dots alone never
  // create a painter. The raster painter writes every figure into the frame's memory before it
  // returns, which the direct writes in between rely on.
  std::optional<QPainter> painter;
  QRgb penColour = 0;
  bool brushSolid = false;
  QRgb brushColour = 0;

  QPainter& Painter() {
    if (!painter) {
      painter.emplace(&form.FrameBitmap);
      // Opening a painter on an image nobody shares does not move it; check, do not assume.
      if (form.FrameBitmap.constBits() != frame.rows[0]) throw KestrelError("Frame moved");
      penColour = qRgb(0, 0, 0);
      painter->setPen(PlainPen(QColor(penColour)));
      painter->setBrush(Qt::NoBrush);
      brushSolid = false;
    }
    return *painter;
  }
  // Pens and brushes are shared values: setting one allocates, so only a change is set.
  void SetPen(QRgb colour) {
    QPainter& p = Painter();
    if (colour != penColour) {
      penColour = colour;
      p.setPen(PlainPen(QColor(colour)));
    }
  }
  void SetBrush(bool solid, QRgb colour) {
    QPainter& p = Painter();
    if (solid != brushSolid || (solid && colour != brushColour)) {
      brushSolid = solid;
      brushColour = colour;
      if (solid) {
        p.setBrush(QColor(colour));
      } else {
        p.setBrush(Qt::NoBrush);
      }
    }
  }
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
    c.SetPen(colour);
    c.SetBrush(c.form.FillCircles, colour);
    DrawEllipseInBox(c.Painter(), left, top, right, bottom);
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
    c.SetPen(qRgb(red, green, blue));
    DrawPlainLine(c.Painter(), c.frame, line.x1, line.y1, line.x2, line.y2,
                  kOpaque | MakeColor(blue, green, red));
  }
}

void DrawSegments(DrawContext& c, size_t segmentCount) {
  TForm1& form = c.form;
  const double width = c.frame.width;
  const double height = c.frame.height;
  for (size_t k = 0; k < segmentCount; ++k) {
    const SegmentRecord& s = form.Segments[k];
    if (!ValidIndex(s.First, c.pointCount)) continue;
    const PointRecord& p1 = form.Points[static_cast<size_t>(s.First)];
    const PointRecord* p2 = nullptr;
    // Cheap bound tests before any colour is computed.
    if (s.Kind != 0) {
      if (p1.ScreenX + c.cull < 0 || p1.ScreenX - c.cull >= width || p1.ScreenY + c.cull < 0 ||
          p1.ScreenY - c.cull >= height) {
        continue;
      }
    } else {
      if (!ValidIndex(s.Second, c.pointCount)) continue;
      p2 = &form.Points[static_cast<size_t>(s.Second)];
      if ((p1.ScreenX < 0 && p2->ScreenX < 0) || (p1.ScreenX >= width && p2->ScreenX >= width) ||
          (p1.ScreenY < 0 && p2->ScreenY < 0) || (p1.ScreenY >= height && p2->ScreenY >= height)) {
        continue;
      }
    }

    const float f = FadeFactor(form.Fade, s.Depth, c.range.zmin, c.range.zmax);
    uint8_t red = ColourRed(s.Colour);
    uint8_t green = ColourGreen(s.Colour);
    uint8_t blue = ColourBlue(s.Colour);
    if (form.WhiteBack) {
      const float toWhite = ToSingle(1.0 - f);
      red = FadeOnWhite(red, toWhite);
      green = FadeOnWhite(green, toWhite);
      blue = FadeOnWhite(blue, toWhite);
    } else {
      red = FadeOnBlack(red, f);
      green = FadeOnBlack(green, f);
      blue = FadeOnBlack(blue, f);
    }

    if (p2 == nullptr) {
      DrawPointSegment(c, s, p1.ScreenX, p1.ScreenY, red, green, blue);
    } else {
      DrawLineSegment(c, p1, *p2, red, green, blue);
    }
  }
}

}  // namespace

void TForm1::Render() {
  try {
    const int32_t width = FrameBitmap.width();
    const int32_t height = FrameBitmap.height();
    // A frame without pixels (a window too small for one) is projected and sorted but not drawn.
    const bool hasPixels = width > 0 && height > 0;
    // The arrays should match their counts; never read past either of them if they do not.
    const size_t pointCount = std::min(Points.size(), static_cast<size_t>(std::max(PointCount, 0)));
    const size_t segmentCount =
        std::min(Segments.size(), static_cast<size_t>(std::max(SegmentCount, 0)));

    std::optional<FramePixels> frame;
    if (hasPixels) {
      frame = PrepareRows(*this);
      FillBackground(*this, *frame);
    }
    // With no points there is no depth range and nothing a segment could name: the frame is
    // the background alone.
    const DepthRange range = ProjectPoints(*this, pointCount, width, height);
    ComputeDepthKeys(*this, pointCount, segmentCount);
    SortSegmentsByDepth(Segments.data(), static_cast<int64_t>(segmentCount));
    const float cull = ToSingle(CircleRadius * Scale);
    if (hasPixels && pointCount > 0) {
      DrawContext context{*this, *frame, range, cull, pointCount, {}};
      DrawSegments(context, segmentCount);
    }  // the painter, if any, ends here: the frame is complete before it is shown
    BlitBitmap();
  } catch (const std::exception&) {
    Controls().ShowMessage("Error rendering model");
  }
}
