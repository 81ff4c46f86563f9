// The renderer's drawing pass.
#pragma once

#include <cstddef>
#include <vector>

#include "render/frame_pixels.h"
#include "render/point_projection.h"
#include "scene/records.h"

class TForm1;
class WorkerPool;
struct ScreenPoint;
struct DepthOrder;
struct RenderWorkspace;

// What every segment of a frame is drawn with.
struct DrawSetup {
  FramePixels frame;  // the form's frame, its row table current
  DepthRange range;   // for the depth fade
  float cull;         // CircleRadius × Scale
  size_t pointCount;
  const ScreenPoint* screen;  // the compact positions the projection left
};

// The sort's `order` put into effect (as ApplyDepthOrder does) and the segments then drawn in
// that order into the frame: for each the visibility test, the depth fade and its drawing form,
// exactly as defined. Each record is drawn as it is moved into its place. With several of the
// pool's threads, the records are moved and each one's drawing worked out in ranges of
// segments at once, then the frame is drawn in bands of rows, each band drawing every figure
// that reaches into it in the segments' order, but only its own rows: a pixel belongs to one
// band, so it sees the same writes in the same order as when one thread draws everything.
// When a segment cannot be drawn, the records are all in their places, the segments before it
// drawn, and then it throws.
void SortAndDrawSegments(TForm1& form, const DrawSetup& setup, size_t segmentCount,
                         const DepthOrder& order, RenderWorkspace& workspace, WorkerPool& pool);
