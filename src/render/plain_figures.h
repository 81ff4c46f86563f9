// The plain figures, drawn straight into the frame's rows exactly as the toolkit's raster
// painter draws them with the program's pen (1 pixel, solid, flat ends) and brush: the
// aliased line and the ellipse in a box. Drawing them here keeps every frame free of a painter,
// its pens and brushes (and their allocations), and lets a figure be drawn a band of rows at a
// time. Tests compare them with the painter pixel for pixel on many random cases.
#pragma once

#include <cstdint>

#include "render/frame_pixels.h"

// The rows [top, bottom) of the frame a drawing may write: the whole frame, or one band of it
// when several threads draw at once. Nothing outside the frame is written either way.
struct RowBand {
  int32_t top;
  int32_t bottom;
};

// The toolkit's 1-pixel line from (x1, y1) toward (x2, y2) in the opaque `pixel`, start pixel
// drawn and end pixel not, as the renderer defines it (the painter itself draws a line given
// backward from its lower end; the renderer keeps the start and drops the end either way). A
// zero-length line draws nothing.
void DrawPlainLinePixels(const FramePixels& frame, RowBand band, int32_t x1, int32_t y1, int32_t x2,
                         int32_t y2, uint32_t pixel);

// Beyond this distance from the frame's origin the toolkit's ellipse is no longer drawn
// reliably (it loses the outline or floods the frame), so boxes reaching further are not drawn.
inline constexpr int32_t kEllipseCoordinateLimit = 65536;

// The toolkit's ellipse in the box (left, top, right, bottom) in the opaque `pixel`, filled
// when `filled`: the outline touches the left column and the top row, and stays left of
// `right` and above `bottom`. Nothing is drawn for a box that reaches beyond
// kEllipseCoordinateLimit, or that is less than 2 pixels wide or high (the renderer never
// asks for one).
void DrawEllipsePixels(const FramePixels& frame, RowBand band, int32_t left, int32_t top,
                       int32_t right, int32_t bottom, uint32_t pixel, bool filled);
