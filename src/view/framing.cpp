// Fitting a model to the frame, and the Center button's return to that fit.
#include "view/framing.h"

#include <algorithm>
#include <cmath>

#include "scene/error.h"
#include "scene/scene_model.h"
#include "view/vector_camera.h"

namespace {

void ResetAxes(TForm1& f) {
  f.ViewAxis = MakeVec3(0, 0, 1);
  f.UpAxis = MakeVec3(0, 1, 0);
  f.RightAxis = MakeVec3(1, 0, 0);
}

void ResetPan(TForm1& f) {
  const Vec2 pan = MakeVec2(0, 0);
  f.PanX = pan.x;
  f.PanY = pan.y;
}

double CheckedMiddle(double lo, double hi) {
  const double mid = lo + (hi - lo) * 0.5;
  if (!std::isfinite(mid)) ThrowFloatFault(FloatFault::Overflow);
  return mid;
}

}  // namespace

void FitScaleToFrame(TForm1& form) {
  // ModelDiameter went through ToSingle, so it is finite; zero is the one fault left.
  if (form.ModelDiameter == 0.0f) ThrowFloatFault(FloatFault::DivisionByZero);
  const int m = std::min(form.FrameBitmap.width(), form.FrameBitmap.height()) - FitMargin;
  form.Scale = m / double{form.ModelDiameter};
  form.InitialScale = form.Scale;
}

void TForm1::NewView() {
  NoModel = false;
  Controls().SetCommandEnabled(Command::SaveImageAs, true);
  Controls().SetCommandEnabled(Command::Center, true);
  CentreGiven = false;
  ResetAxes(*this);
  ResetPan(*this);
}

bool TForm1::ComputeScale() {
  try {
    // The readers keep PointCount equal to the array's length; should they ever disagree, we
    // stop here rather than read past the array.
    if (PointCount < 0 || static_cast<size_t>(PointCount) > Points.size()) {
      throw KestrelError("Point count does not match the point array");
    }
    const size_t count = static_cast<size_t>(PointCount);
    if (!CentreGiven) {
      if (count == 0) throw KestrelError("No points to centre");
      Vec3 lo = Points[0].Pos;
      Vec3 hi = Points[0].Pos;
      for (size_t i = 1; i < count; ++i) {
        const Vec3& p = Points[i].Pos;
        if (p.x < lo.x) lo.x = p.x;
        if (p.x > hi.x) hi.x = p.x;
        if (p.y < lo.y) lo.y = p.y;
        if (p.y > hi.y) hi.y = p.y;
        if (p.z < lo.z) lo.z = p.z;
        if (p.z > hi.z) hi.z = p.z;
      }
      Centre.x = CheckedMiddle(lo.x, hi.x);
      Centre.y = CheckedMiddle(lo.y, hi.y);
      Centre.z = CheckedMiddle(lo.z, hi.z);
    }
    // The running maximum lives in the float field itself: each comparison is against the
    // value as stored, rounded to 32 bits.
    ModelDiameter = 0;
    for (size_t i = 0; i < count; ++i) {
      const Vec3 d = VecSub(Centre, Points[i].Pos);
      const double q = Dot(d, d);
      if (std::isnan(q)) ThrowFloatFault(FloatFault::Invalid);
      if (q > ModelDiameter) ModelDiameter = ToSingle(q);
    }
    // A sphere about the centre, widened by the largest circle: not the box diagonal.
    ModelDiameter = ToSingle((std::sqrt(double{ModelDiameter}) + CircleRadius) * 2);
    FitScaleToFrame(*this);
    return true;
  } catch (const std::exception& e) {
    Controls().ShowMessage("Error centering and scaling coordinates", e.what());
    return false;
  }
}

void TForm1::CenterButtonClick() {
  ResetAxes(*this);
  ResetPan(*this);
  Scale = InitialScale;
  Render();
}
