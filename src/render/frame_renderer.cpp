// The frame renderer: background, projection, depth keys, depth sort, then every segment in
// painter's order with depth fade, as an anti-aliased or plain line, a circle or a dot.
//
// A million segments must turn smoothly, so the passes after the projection work from the
// workspace's compact copies (a point's depth, its rounded and edge-classified position) rather
// than from the 64-byte point records. Every pixel and every record comes out exactly as the
// plain passes give them.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>

#include "render/depth_sort.h"
#include "render/frame_pixels.h"
#include "render/point_projection.h"
#include "render/render_workspace.h"
#include "render/segment_drawing.h"
#include "scene/colour_codes.h"
#include "scene/error.h"
#include "scene/scene_model.h"
#include "scene/worker_pool.h"

namespace {

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
    if (!Workspace) Workspace = std::make_shared<RenderWorkspace>();
    RenderWorkspace& workspace = *Workspace;
    WorkerPool& pool = Workers ? *Workers : SharedWorkerPool();
    workspace.Reserve(pointCount, segmentCount, Segments.size(), pool.Threads());

    std::optional<FramePixels> frame;
    if (hasPixels) {
      frame = PrepareRows(*this);
      FillBackground(*this, *frame);
    }
    // With no points there is no depth range and nothing a segment could name: the frame is
    // the background alone.
    const DepthRange range = ProjectPoints(*this, pointCount, width, height, workspace, pool);
    const DepthOrder order = SortDepthKeys(Segments.data(), segmentCount, workspace.depths.data(),
                                           pointCount, workspace, pool);
    float cull = 0;
    const bool drawing = hasPixels && pointCount > 0;
    try {
      cull = ToSingle(CircleRadius * Scale);
    } catch (const std::exception&) {
      ApplyDepthOrder(Segments, segmentCount, order, workspace);  // the sort is finished first
      throw;
    }
    const DrawSetup setup{frame.value_or(FramePixels{nullptr, 0, 0}), range, cull, pointCount,
                          workspace.screen.data()};
    if (!drawing) {
      ApplyDepthOrder(Segments, segmentCount, order, workspace);
    } else {
      SortAndDrawSegments(*this, setup, segmentCount, order, workspace, pool);
    }
    BlitBitmap();
  } catch (const std::exception& e) {
    Controls().ShowMessage("Error rendering model", e.what());
  }
}
