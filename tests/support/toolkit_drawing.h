// The plain figures drawn by the toolkit's painter, as the renderer defines them: 1-pixel lines
// with the end pixel not drawn, and ellipses in a bounding box whose right column and bottom
// row lie outside. The renderer draws them itself (render/plain_figures.h); the tests and the
// plain reference renderer draw them this way to hold it to the toolkit's pixels.
#pragma once

#include <QImage>
#include <QPainter>
#include <cstdint>
#include <optional>

#include "render/frame_pixels.h"
#include "render/plain_figures.h"

// A line from (x1, y1) toward (x2, y2) in the painter's pen: the start pixel drawn, the end
// pixel not. `pixel` is the pen colour as a whole frame pixel (for the start pixel, see the
// definition). The painter must be open on the frame that `frame` addresses.
void DrawPlainLine(QPainter& painter, const FramePixels& frame, int32_t x1, int32_t y1, int32_t x2,
                   int32_t y2, uint32_t pixel);

// An ellipse in the box (left, top, right, bottom) with the painter's pen and brush; the
// outline touches the left column and the top row, and stays left of `right` and above
// `bottom`. Nothing is drawn for a box that reaches beyond kEllipseCoordinateLimit.
void DrawEllipseInBox(QPainter& painter, int32_t left, int32_t top, int32_t right, int32_t bottom);

// The pen every plain figure uses: 1 pixel, solid, flat ends (a round or square end would draw
// the end pixel too).
QPen PlainPen(const QColor& colour);

// The painter for the figures the toolkit draws on the frame. It is opened at the first figure,
// so that frames of lines and dots alone never create one; the raster painter writes every
// figure into the frame's memory before it returns, which direct writes in between rely on.
// Pens and brushes are shared values, and setting one allocates, so only a change is set. The
// painter ends with the object.
class FigurePainter {
 public:
  // `firstRow` is where the frame's pixels are written directly: opening the painter must not
  // move them (it does not on an image nobody shares; this is checked, not assumed).
  FigurePainter(QImage& frame, const uint8_t* firstRow) : frame_(frame), firstRow_(firstRow) {}
  QPainter& Painter();
  void SetPen(QRgb colour);
  void SetBrush(bool solid, QRgb colour);

 private:
  QImage& frame_;
  const uint8_t* firstRow_;
  std::optional<QPainter> painter_;
  QRgb penColour_ = 0;
  bool brushSolid_ = false;
  QRgb brushColour_ = 0;
};
