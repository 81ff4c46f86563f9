// Plain lines and ellipses through the toolkit's painter.
#include "support/toolkit_drawing.h"

#include <cstdlib>

#include "scene/scene_model.h"

QPen PlainPen(const QColor& colour) {
  return QPen(QBrush(colour), 1, Qt::SolidLine, Qt::FlatCap);
}

void DrawPlainLine(QPainter& painter, const FramePixels& frame, int32_t x1, int32_t y1, int32_t x2,
                   int32_t y2, uint32_t pixel) {
  const int64_t dx = std::abs(int64_t{x2} - x1);
  const int64_t dy = std::abs(int64_t{y2} - y1);
  // The painter's flat-ended line covers pixels from its lower major coordinate up to, not
  // including, its higher one, whichever way it is given, and draws a zero-length line as a dot.
  if (dx == 0 && dy == 0) return;
  const bool forward = dx >= dy ? x1 < x2 : y1 < y2;
  if (forward) {
    painter.drawLine(QPointF(x1, y1), QPointF(x2, y2));
    return;
  }
  // Drawn backward, the painter would draw the end pixel and leave out the start. The raster
  // painter writes into the frame before it returns, so the pixel under the end is kept and put
  // back, and the start pixel set, as a forward line would have it.
  const bool endInFrame = frame.Contains(x2, y2);
  const uint32_t underEnd = endInFrame ? frame.At(x2, y2) : 0;
  painter.drawLine(QPointF(x1, y1), QPointF(x2, y2));
  if (endInFrame) frame.At(x2, y2) = underEnd;
  if (frame.Contains(x1, y1)) frame.At(x1, y1) = pixel;
}

void DrawEllipseInBox(QPainter& painter, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const auto within = [](int32_t v) {
    return v >= -kEllipseCoordinateLimit && v <= kEllipseCoordinateLimit;
  };
  if (!within(left) || !within(top) || !within(right) || !within(bottom)) return;
  // A 1-pixel outline of a w × h rectangle covers w + 1 columns and h + 1 rows; one less in each
  // keeps the right column and the bottom row outside.
  painter.drawEllipse(QRectF(left, top, right - left - 1.0, bottom - top - 1.0));
}

QPainter& FigurePainter::Painter() {
  if (!painter_) {
    painter_.emplace(&frame_);
    if (frame_.constBits() != firstRow_) throw KestrelError("Frame moved");
    penColour_ = qRgb(0, 0, 0);
    painter_->setPen(PlainPen(QColor(penColour_)));
    painter_->setBrush(Qt::NoBrush);
    brushSolid_ = false;
  }
  return *painter_;
}

void FigurePainter::SetPen(QRgb colour) {
  QPainter& p = Painter();
  if (colour != penColour_) {
    penColour_ = colour;
    p.setPen(PlainPen(QColor(colour)));
  }
}

void FigurePainter::SetBrush(bool solid, QRgb colour) {
  QPainter& p = Painter();
  if (solid != brushSolid_ || (solid && colour != brushColour_)) {
    brushSolid_ = solid;
    brushColour_ = colour;
    if (solid) {
      p.setBrush(QColor(colour));
    } else {
      p.setBrush(Qt::NoBrush);
    }
  }
}
