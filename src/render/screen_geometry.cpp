// Rounding and clipping screen positions.
#include "render/screen_geometry.h"

#include <algorithm>
#include <cmath>

namespace {

struct Box {
  long double left, top, right, bottom;
};

// Liang–Barsky for the segment a → b: whether some of it lies in the box, and which edge it
// leaves the box by (0 left, 1 right, 2 top, 3 bottom; −1 when b itself lies in the box). Long
// double keeps the differences of two finite doubles finite.
bool ExitEdge(long double ax, long double ay, long double bx, long double by, const Box& box,
              int& edge) {
  const long double dx = bx - ax;
  const long double dy = by - ay;
  const long double p[4] = {-dx, dx, -dy, dy};
  const long double q[4] = {ax - box.left, box.right - ax, ay - box.top, box.bottom - ay};
  long double enter = 0;
  long double exit = 1;
  edge = -1;
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0) {
      if (q[k] < 0) return false;  // parallel to this edge and outside it
    } else {
      const long double t = q[k] / p[k];
      if (p[k] < 0) {
        enter = std::max(enter, t);
      } else if (t < exit) {
        exit = t;
        edge = k;
      }
    }
  }
  return enter <= exit;
}

// `b` moved toward `a` to the box edge it leaves by. That coordinate becomes the edge exactly;
// the other follows from the slope, measured from `a`, so a far-off b costs no precision when a
// is near the frame. When both ends are far out the result is only as precise as the input, and
// it is kept in the box.
bool ClipEnd(double ax, double ay, double& bx, double& by, const Box& box) {
  int edge;
  if (!ExitEdge(ax, ay, bx, by, box, edge)) return false;
  const long double dx = static_cast<long double>(bx) - ax;
  const long double dy = static_cast<long double>(by) - ay;
  if (edge == 0 || edge == 1) {
    const long double x = edge == 0 ? box.left : box.right;
    bx = static_cast<double>(x);
    by = static_cast<double>(std::clamp(ay + (x - ax) * dy / dx, box.top, box.bottom));
  } else if (edge == 2 || edge == 3) {
    const long double y = edge == 2 ? box.top : box.bottom;
    by = static_cast<double>(y);
    bx = static_cast<double>(std::clamp(ax + (y - ay) * dx / dy, box.left, box.right));
  }
  return true;
}

}  // namespace

bool RoundLine(double x1, double y1, double x2, double y2, int32_t width, int32_t height,
               PixelLine& out) {
  if (RoundToInt32(x1, out.x1) && RoundToInt32(y1, out.y1) && RoundToInt32(x2, out.x2) &&
      RoundToInt32(y2, out.y2)) {
    return true;
  }
  if (!(std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2))) {
    return false;
  }
  const Box box{-kLineClipMargin, -kLineClipMargin, width - 1 + kLineClipMargin,
                height - 1 + kLineClipMargin};
  const double ax = x1, ay = y1;  // the first end as given, the anchor for the second
  if (!ClipEnd(ax, ay, x2, y2, box) || !ClipEnd(x2, y2, x1, y1, box)) return false;
  return RoundToInt32(x1, out.x1) && RoundToInt32(y1, out.y1) && RoundToInt32(x2, out.x2) &&
         RoundToInt32(y2, out.y2);
}
