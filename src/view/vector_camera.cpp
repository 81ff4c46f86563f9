// Vector maths and the camera's turns and transform.
#include "view/vector_camera.h"

#include <cmath>

#include "scene/error.h"
#include "scene/scene_model.h"

void TForm1::RotateCam(uint8_t axis, double angle) {
  const double s = std::sin(angle);
  const double c = std::cos(angle);
  // Selector 0 turns about RightAxis, 1 about UpAxis, anything else about ViewAxis.
  Vec3* a;
  Vec3* b;
  switch (axis) {
    case 0:
      a = &ViewAxis;
      b = &UpAxis;
      break;
    case 1:
      a = &RightAxis;
      b = &ViewAxis;
      break;
    default:
      a = &UpAxis;
      b = &RightAxis;
      break;
  }
  // Both from the old pair; never re-normalised, so drift lasts until the next reset.
  const Vec3 newA = VecSub(VecScale(*a, c), VecScale(*b, s));
  const Vec3 newB = VecAdd(VecScale(*b, c), VecScale(*a, s));
  // An infinite or NaN angle is an invalid operation, not a camera full of NaNs: the caller's
  // guard reports it and the camera stays as it was.
  if (!IsFinite(newA) || !IsFinite(newB)) ThrowFloatFault(FloatFault::Invalid);
  *a = newA;
  *b = newB;
}

void TForm1::LookAt(const Vec3& source, Vec3& result) const {
  Vec3 d = source;
  // The mirror is the model's own plane z = 0 through Centre: it turns with the model.
  if (FlipZ) d.z = -d.z;
  const Vec3 r{Dot(d, RightAxis), Dot(d, UpAxis), Dot(d, ViewAxis)};
  // Overflow (or an infinite offset) ends the frame in the caller's guard rather than
  // reaching pixel arithmetic as an infinity.
  if (!IsFinite(r)) ThrowFloatFault(FloatFault::Overflow);
  result = r;
}
