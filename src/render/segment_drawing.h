// The renderer's drawing pass.
#pragma once

#include <cstddef>

#include "render/frame_pixels.h"
#include "render/point_projection.h"

class TForm1;
struct ScreenPoint;

// Draws segments[0 .. segmentCount − 1] of the form in that order into `frame` (the form's
// frame, its row table current): for each the visibility test, the depth fade over `range`
// and its drawing form, exactly as defined. `screen` holds the compact positions the
// projection left for the form's `pointCount` points; `cull` is CircleRadius × Scale.
void DrawSegments(TForm1& form, const FramePixels& frame, const DepthRange& range, float cull,
                  size_t pointCount, const ScreenPoint* screen, size_t segmentCount);
