// Vector helpers and the camera: the turns' effect on camera coordinates, the transform, and
// the faults that must not slip through as NaNs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "test_support.h"
#include "view/vector_camera.h"

namespace {

constexpr double kTol = 1e-12;

void ExpectNear(const Vec3& v, double x, double y, double z, double tol = kTol) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

void ExpectSame(const Vec3& a, const Vec3& b) {
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(a.z, b.z);
}

// A form whose camera is in the reset orientation, as after loading a model.
struct CameraTest : ::testing::Test {
  FormFixture f;
  TForm1& form = f.form;
  void SetUp() override { form.NewView(); }
  Vec3 Look(const Vec3& v) {
    Vec3 r{};
    form.LookAt(v, r);
    return r;
  }
};

}  // namespace

TEST(VectorMaths, OperationsAndArgumentOrder) {
  const Vec3 a = MakeVec3(1, 2, 3);
  const Vec3 b = MakeVec3(10, 20, 40);
  EXPECT_EQ(Dot(a, b), 170.0);
  ExpectSame(VecScale(a, -2), MakeVec3(-2, -4, -6));
  ExpectSame(VecAdd(a, b), MakeVec3(11, 22, 43));
  // First minus second.
  ExpectSame(VecSub(a, b), MakeVec3(-9, -18, -37));
  const Vec2 pan = MakeVec2(3, -4);
  EXPECT_EQ(pan.x, 3);
  EXPECT_EQ(pan.y, -4);
}

TEST(VectorMaths, DotSumsInOrder) {
  // (1e16 + 1) − 1e16 in that order rounds the 1 away; any other order keeps it.
  EXPECT_EQ(Dot(MakeVec3(1e16, 1, -1e16), MakeVec3(1, 1, 1)), 0.0);
}

TEST(VectorMaths, ResultMayBeOneOfItsArguments) {
  Vec3 a = MakeVec3(1.5, -2, 7);
  const Vec3 b = MakeVec3(0.25, 4, -3);
  const Vec3 sum = VecAdd(a, b);
  const Vec3 diff = VecSub(b, a);
  Vec3 c = a;
  a = VecAdd(a, b);
  ExpectSame(a, sum);
  c = VecSub(b, c);
  ExpectSame(c, diff);
  Vec3 d = b;
  d = VecScale(d, 3);
  ExpectSame(d, MakeVec3(0.75, 12, -9));
}

TEST_F(CameraTest, ResetIsIdentityAndFlipZMirrorsTheSourceCopy) {
  const Vec3 src = MakeVec3(1, 2, 3);
  ExpectSame(Look(src), src);
  form.FlipZ = true;
  ExpectSame(Look(src), MakeVec3(1, 2, -3));
  ExpectSame(src, MakeVec3(1, 2, 3));
  // The result may be the source itself.
  Vec3 v = src;
  form.LookAt(v, v);
  ExpectSame(v, MakeVec3(1, 2, -3));
}

TEST_F(CameraTest, FlipZMirrorsInModelSpaceBeforeTheTurn) {
  form.RotateCam(1, std::numbers::pi / 2);
  form.FlipZ = true;
  // Model z is mirrored first, then turned: (0, 0, 1) → (0, 0, −1) → camera x = +1.
  ExpectNear(Look(MakeVec3(0, 0, 1)), 1, 0, 0);
}

TEST_F(CameraTest, QuarterTurnAboutUpAxis) {
  form.RotateCam(1, std::numbers::pi / 2);
  ExpectNear(form.RightAxis, 0, 0, -1);
  ExpectNear(form.ViewAxis, 1, 0, 0);
  ExpectSame(form.UpAxis, MakeVec3(0, 1, 0));
  ExpectNear(Look(MakeVec3(1, 0, 0)), 0, 0, 1);
}

TEST_F(CameraTest, QuarterTurnAboutRightAxis) {
  form.RotateCam(0, std::numbers::pi / 2);
  ExpectNear(form.ViewAxis, 0, -1, 0);
  ExpectNear(form.UpAxis, 0, 0, 1);
  ExpectSame(form.RightAxis, MakeVec3(1, 0, 0));
  ExpectNear(Look(MakeVec3(0, 0, 1)), 0, 1, 0);
}

TEST_F(CameraTest, TurnAboutViewAxisIsClockwiseOnScreen) {
  form.RotateCam(2, 0.3);
  const Vec3 above = Look(MakeVec3(0, 1, 0));
  EXPECT_GT(above.x, 0);  // a point above the centre moves right
  ExpectNear(above, std::sin(0.3), std::cos(0.3), 0);
  ExpectSame(form.ViewAxis, MakeVec3(0, 0, 1));
}

TEST_F(CameraTest, EverySelectorAboveOneTurnsAboutViewAxis) {
  FormFixture other;
  other.form.NewView();
  form.RotateCam(2, 0.7);
  other.form.RotateCam(7, 0.7);
  ExpectSame(form.RightAxis, other.form.RightAxis);
  ExpectSame(form.UpAxis, other.form.UpAxis);
  ExpectSame(form.ViewAxis, other.form.ViewAxis);
}

TEST_F(CameraTest, ZeroAngleChangesNothing) {
  form.RotateCam(0, 0.4);
  form.RotateCam(1, -1.1);
  const Vec3 r = form.RightAxis, u = form.UpAxis, v = form.ViewAxis;
  for (uint8_t k : {0, 1, 2}) form.RotateCam(k, 0);
  ExpectSame(form.RightAxis, r);
  ExpectSame(form.UpAxis, u);
  ExpectSame(form.ViewAxis, v);
}

TEST_F(CameraTest, TurnAndTurnBackRestoresButTurnsDoNotCommute) {
  form.RotateCam(0, 0.9);
  form.RotateCam(0, -0.9);
  ExpectNear(form.ViewAxis, 0, 0, 1, 1e-15);
  ExpectNear(form.UpAxis, 0, 1, 0, 1e-15);

  FormFixture other;
  other.form.NewView();
  form.RotateCam(0, 0.5);
  form.RotateCam(1, 0.5);
  other.form.RotateCam(1, 0.5);
  other.form.RotateCam(0, 0.5);
  EXPECT_GT(std::fabs(form.ViewAxis.x - other.form.ViewAxis.x), 0.01);
}

TEST_F(CameraTest, ManySmallTurnsDriftAndNothingRenormalises) {
  for (int i = 0; i < 100000; ++i) {
    form.RotateCam(static_cast<uint8_t>(i % 2), 0.003 * ((i % 7) + 1));
  }
  const double len = std::sqrt(Dot(form.ViewAxis, form.ViewAxis));
  EXPECT_NE(len, 1.0);
  EXPECT_NEAR(len, 1.0, 1e-6);
  form.NewView();
  ExpectSame(form.ViewAxis, MakeVec3(0, 0, 1));
}

TEST_F(CameraTest, NonFiniteAngleThrowsAndKeepsTheCamera) {
  form.RotateCam(1, 0.2);
  const Vec3 r = form.RightAxis, v = form.ViewAxis;
  EXPECT_THROW(form.RotateCam(1, std::numeric_limits<double>::infinity()), KestrelError);
  EXPECT_THROW(form.RotateCam(1, std::nan("")), KestrelError);
  ExpectSame(form.RightAxis, r);
  ExpectSame(form.ViewAxis, v);
}

TEST_F(CameraTest, OverflowingTransformThrowsAndLeavesTheResult) {
  form.RotateCam(2, 0.7);  // each camera axis mixes x and y
  Vec3 r = MakeVec3(5, 6, 7);
  EXPECT_THROW(form.LookAt(MakeVec3(1.7e308, 1.7e308, 0), r), KestrelError);
  ExpectSame(r, MakeVec3(5, 6, 7));
  EXPECT_THROW(form.LookAt(MakeVec3(std::numeric_limits<double>::infinity(), 0, 0), r),
               KestrelError);
}
