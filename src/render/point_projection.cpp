// Projection of the model's points.
//
// LookAt, VecSub and Dot are written out here rather than called: the very same operations in
// the very same order (no fused multiply-adds, see the build flags), so the same bits, but
// without a call per point, so that a million points are a pass over memory and little else.
//
// Every point's values depend on that point alone, so threads may compute them in any order.
// What the plain loop fixes is what a failing frame leaves: the points before the first one
// that fails done, that one as far as it got, those after it untouched. So with several
// threads the points go in blocks, handed out in order; a block is computed into its thread's
// scratch and only written to the points once every block before it is known to hold no
// failure (computed, not yet written: the writes of two blocks go on at once). No block after
// the first failure is ever written. The depth range is the float of
// the smallest and of the largest depth, whatever the order it is gathered in (see below).
#include "render/point_projection.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "render/pass_parts.h"
#include "render/render_workspace.h"
#include "render/screen_geometry.h"
#include "scene/error.h"
#include "scene/scene_model.h"
#include "scene/worker_pool.h"

namespace {

ScreenPoint EncodeScreen(double x, double y, double width, double height) {
  if (!(std::fabs(x) < kFarScreen && std::fabs(y) < kFarScreen)) return kFarPoint;
  return ScreenPoint{RoundInRange(x) * 4 | EdgeBits(x, width),
                     RoundInRange(y) * 4 | EdgeBits(y, height)};
}

// The camera and frame a frame's projection works with.
struct Projection {
  double halfWidth, halfHeight;  // integer halves, rounded down
  double frameWidth, frameHeight;
  Vec3 centre, right, up, view;
  bool flip;
  double panX, panY, scale;

  Projection(const TForm1& form, int32_t width, int32_t height)
      : halfWidth(width / 2),
        halfHeight(height / 2),
        frameWidth(width),
        frameHeight(height),
        centre(form.Centre),
        right(form.RightAxis),
        up(form.UpAxis),
        view(form.ViewAxis),
        flip(form.FlipZ),
        panX(form.PanX),
        panY(form.PanY),
        scale(form.Scale) {}
};

// One point: its camera-space position and its screen position.
struct Projected {
  double vx, vy, vz, sx, sy;
};

// Called with the projection in locals of the caller's own (see ProjectInOrder).
[[gnu::always_inline]] inline Projected ProjectOne(const Vec3& pos, const Projection& c) {
  const double dx = pos.x - c.centre.x;
  const double dy = pos.y - c.centre.y;
  const double dz = c.flip ? -(pos.z - c.centre.z) : pos.z - c.centre.z;
  const double vx = dx * c.right.x + dy * c.right.y + dz * c.right.z;
  const double vy = dx * c.up.x + dy * c.up.y + dz * c.up.z;
  const double vz = dx * c.view.x + dy * c.view.y + dz * c.view.z;
  return Projected{vx, vy, vz, c.halfWidth + (vx + c.panX) * c.scale,
                   c.halfHeight - (vy + c.panY) * c.scale};
}

DepthRange ProjectInOrder(TForm1& form, const Projection& projection, size_t pointCount,
                          double* depths, ScreenPoint* screen) {
  // A copy of its own, held in registers, not read again after every store to a point that
  // might, for all the compiler knows, have changed it.
  const Projection c = projection;
  PointRecord* points = form.Points.data();
  DepthRange range;
  for (size_t i = 0; i < pointCount; ++i) {
    PointRecord& p = points[i];
    const Projected q = ProjectOne(p.Pos, c);
    const Vec3 v{q.vx, q.vy, q.vz};
    if (!IsFinite(v)) ThrowFloatFault(FloatFault::Overflow);
    p.View = v;
    p.ScreenX = q.sx;
    p.ScreenY = q.sy;
    if (!std::isfinite(q.sx) || !std::isfinite(q.sy)) ThrowFloatFault(FloatFault::Overflow);
    // The double depth is compared with the stored float; a store is rounded to 32 bits.
    if (i == 0) {
      range.zmin = range.zmax = ToSingle(q.vz);
    } else {
      if (q.vz > range.zmax) range.zmax = ToSingle(q.vz);
      if (q.vz < range.zmin) range.zmin = ToSingle(q.vz);
    }
    depths[i] = q.vz;
    screen[i] = EncodeScreen(q.sx, q.sy, c.frameWidth, c.frameHeight);
  }
  return range;
}

DepthRange ProjectInBlocks(TForm1& form, const Projection& projection, size_t pointCount,
                           size_t blockSize, double* depths, ScreenPoint* screen,
                           RenderWorkspace& w, WorkerPool& pool) {
  const size_t blockCount = (pointCount + blockSize - 1) / blockSize;
  ProjectedBlock* blocks = w.projectedBlocks.Prepare(blockCount);
  w.PrepareProjectionScratch(pool.Threads(), blockSize);
  PointRecord* points = form.Points.data();
  // How many blocks from the first are known to hold no failure, and whether the block after
  // them holds one: a block is written once every block before it is known to hold none
  // (whether or not those are written yet), and no block after a failing one ever is.
  std::mutex mutex;
  std::condition_variable known;
  size_t verified = 0;
  bool stopped = false;
  for (size_t b = 0; b < blockCount; ++b) {
    blocks[b].reached = ProjectedBlock::kAll;
    blocks[b].computed = false;
  }

  pool.Run(blockCount, [&](size_t b) {
    const Projection c = projection;
    ProjectedPoint* scratch = w.ProjectionScratch(WorkerPool::CurrentThread());
    ProjectedBlock& block = blocks[b];
    const size_t begin = b * blockSize;
    const size_t end = std::min(begin + blockSize, pointCount);
    double lowest = 0, highest = 0;
    size_t i = begin;
    for (; i < end; ++i) {
      const Projected q = ProjectOne(points[i].Pos, c);
      const Vec3 v{q.vx, q.vy, q.vz};
      ProjectedPoint& out = scratch[i - begin];
      if (!IsFinite(v)) {
        block.reached = ProjectedBlock::kNothing;
        break;
      }
      out.view = v;
      out.x = q.sx;
      out.y = q.sy;
      if (!std::isfinite(out.x) || !std::isfinite(out.y)) {
        block.reached = ProjectedBlock::kViewAndScreen;
        break;
      }
      // A depth beyond the floats always widens the range, whose bounds are floats, so the
      // plain loop always rounds it, and fails there.
      if (!FitsSingle(v.z)) {
        block.reached = ProjectedBlock::kViewAndScreen;
        break;
      }
      if (i == begin) {
        lowest = highest = v.z;
      } else {
        // The first of equal values stays, as in the plain loop.
        if (v.z > highest) highest = v.z;
        if (v.z < lowest) lowest = v.z;
      }
      depths[i] = v.z;
      screen[i] = EncodeScreen(out.x, out.y, c.frameWidth, c.frameHeight);
    }
    block.failedAt = i;
    block.lowest = lowest;
    block.highest = highest;

    {
      // The blocks before this one were handed out earlier, so their threads are at them.
      std::unique_lock lock(mutex);
      block.computed = true;
      while (!stopped && verified < blockCount && blocks[verified].computed) {
        if (blocks[verified].reached != ProjectedBlock::kAll) {
          stopped = true;
        } else {
          ++verified;
        }
      }
      known.notify_all();
      known.wait(lock, [&] { return verified >= b || stopped; });
      if (verified < b) return;  // a block before this one failed
    }
    const size_t complete = block.failedAt;
    for (size_t k = begin; k < complete; ++k) {
      const ProjectedPoint& p = scratch[k - begin];
      points[k].View = p.view;
      points[k].ScreenX = p.x;
      points[k].ScreenY = p.y;
    }
    if (block.reached == ProjectedBlock::kViewAndScreen) {
      const ProjectedPoint& p = scratch[complete - begin];
      points[complete].View = p.view;
      points[complete].ScreenX = p.x;
      points[complete].ScreenY = p.y;
    }
  });

  DepthRange range;
  double lowest = 0, highest = 0;
  for (size_t b = 0; b < blockCount; ++b) {
    if (blocks[b].reached != ProjectedBlock::kAll) ThrowFloatFault(FloatFault::Overflow);
    if (b == 0) {
      lowest = blocks[b].lowest;
      highest = blocks[b].highest;
    } else {
      if (blocks[b].highest > highest) highest = blocks[b].highest;
      if (blocks[b].lowest < lowest) lowest = blocks[b].lowest;
    }
  }
  // The plain loop's bounds are the floats of the smallest and the largest depth: a depth
  // that does not widen the float bound lies between the double that set it and that float,
  // and so rounds to the same float. (Up to the sign of a zero bound, which no fade factor
  // depends on.)
  range.zmin = ToSingle(lowest);
  range.zmax = ToSingle(highest);
  return range;
}

}  // namespace

DepthRange ProjectPoints(TForm1& form, size_t pointCount, int32_t width, int32_t height,
                         RenderWorkspace& workspace, WorkerPool& pool) {
  double* depths = workspace.depths.Prepare(pointCount);
  ScreenPoint* screen = workspace.screen.Prepare(pointCount);
  const Projection projection(form, width, height);
  const size_t blockSize = std::min(kProjectionBlock, SmallestPart());
  if (pool.Threads() == 1 || pointCount < 2 * blockSize) {
    return ProjectInOrder(form, projection, pointCount, depths, screen);
  }
  return ProjectInBlocks(form, projection, pointCount, blockSize, depths, screen, workspace, pool);
}
