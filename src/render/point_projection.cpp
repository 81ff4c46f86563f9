// Projection of the model's points.
//
// LookAt, VecSub and Dot are written out here rather than called: the very same operations in
// the very same order (no fused multiply-adds, see the build flags), so the same bits, but
// without a call per point, so that a million points are a pass over memory and little else.
#include "render/point_projection.h"

#include <cmath>

#include "render/render_workspace.h"
#include "render/screen_geometry.h"
#include "scene/error.h"
#include "scene/scene_model.h"

namespace {

ScreenPoint EncodeScreen(double x, double y, double width, double height) {
  if (!(std::fabs(x) < kFarScreen && std::fabs(y) < kFarScreen)) return kFarPoint;
  return ScreenPoint{RoundInRange(x) * 4 | EdgeBits(x, width),
                     RoundInRange(y) * 4 | EdgeBits(y, height)};
}

}  // namespace

DepthRange ProjectPoints(TForm1& form, size_t pointCount, int32_t width, int32_t height,
                         RenderWorkspace& workspace) {
  double* depths = workspace.depths.Prepare(pointCount);
  ScreenPoint* screen = workspace.screen.Prepare(pointCount);
  PointRecord* points = form.Points.data();

  const double halfWidth = width / 2;  // integer halves, rounded down
  const double halfHeight = height / 2;
  const double frameWidth = width;
  const double frameHeight = height;
  const Vec3 centre = form.Centre;
  const Vec3 right = form.RightAxis;
  const Vec3 up = form.UpAxis;
  const Vec3 view = form.ViewAxis;
  const bool flip = form.FlipZ;
  const double panX = form.PanX;
  const double panY = form.PanY;
  const double scale = form.Scale;

  DepthRange range;
  for (size_t i = 0; i < pointCount; ++i) {
    PointRecord& p = points[i];
    const double dx = p.Pos.x - centre.x;
    const double dy = p.Pos.y - centre.y;
    const double dz = flip ? -(p.Pos.z - centre.z) : p.Pos.z - centre.z;
    const double vx = dx * right.x + dy * right.y + dz * right.z;
    const double vy = dx * up.x + dy * up.y + dz * up.z;
    const double vz = dx * view.x + dy * view.y + dz * view.z;
    const Vec3 v{vx, vy, vz};
    if (!IsFinite(v)) ThrowFloatFault(FloatFault::Overflow);
    p.View = v;
    const double sx = halfWidth + (vx + panX) * scale;
    const double sy = halfHeight - (vy + panY) * scale;
    p.ScreenX = sx;
    p.ScreenY = sy;
    if (!std::isfinite(sx) || !std::isfinite(sy)) ThrowFloatFault(FloatFault::Overflow);
    // The double depth is compared with the stored float; a store is rounded to 32 bits.
    if (i == 0) {
      range.zmin = range.zmax = ToSingle(vz);
    } else {
      if (vz > range.zmax) range.zmax = ToSingle(vz);
      if (vz < range.zmin) range.zmin = ToSingle(vz);
    }
    depths[i] = vz;
    screen[i] = EncodeScreen(sx, sy, frameWidth, frameHeight);
  }
  return range;
}
