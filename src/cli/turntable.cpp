#include "cli/turntable.h"

#include <numbers>
#include <vector>

#include "scene/headless_controls.h"
#include "scene/scene_model.h"

void TurnByDegrees(TForm1& form, double yaw, double pitch) {
  form.RotateCam(1, yaw * std::numbers::pi / 180);
  form.RotateCam(0, pitch * std::numbers::pi / 180);
}

double TurntableDegrees(int k, int n) {
  return 360.0 * k / n;
}

bool DrawTurntable(TForm1& form, const HeadlessControls& controls, int n, TurnAxis axis,
                   const std::function<void(int, const QImage&)>& take) {
  const Vec3 right = form.RightAxis;
  const Vec3 up = form.UpAxis;
  const Vec3 view = form.ViewAxis;
  // Each frame's sort starts from the order the frame before it left, and equal depths keep
  // whatever order they are met in: without going back to the starting order, a frame could
  // differ from the single render of its view where segments of equal depth overlap.
  const std::vector<SegmentRecord> order = form.Segments;
  for (int k = 0; k < n; ++k) {
    form.RightAxis = right;
    form.UpAxis = up;
    form.ViewAxis = view;
    form.Segments = order;
    const double degrees = TurntableDegrees(k, n);
    if (axis == TurnAxis::Vertical) {
      TurnByDegrees(form, degrees, 0);
    } else {
      TurnByDegrees(form, 0, degrees);
    }
    const int framesBefore = controls.FramesPresented;
    form.Render();
    if (controls.FramesPresented == framesBefore) return false;
    take(k, form.FrameBitmap);
  }
  return true;
}
