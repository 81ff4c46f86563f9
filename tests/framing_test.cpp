// Fitting a model to the frame, its failures and what each leaves, and the Center button.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "frame_test_support.h"

namespace {

const std::vector<std::string> kFitError{"Error centering and scaling coordinates"};

// A form whose frame is `w` × `h`, sized as the window would size it, before any model.
struct Framing : ::testing::Test {
  PresentingForm f;
  TForm1& form = f.form;
  std::vector<std::string>& messages = f.controls.Messages;
  void Frame(int w, int h) { form.FormResize(w + FrameWidthAllowance, h + FrameHeightAllowance); }
  void SetUp() override { Frame(410, 300); }
};

void ExpectVec(const Vec3& v, double x, double y, double z) {
  EXPECT_EQ(v.x, x);
  EXPECT_EQ(v.y, y);
  EXPECT_EQ(v.z, z);
}

}  // namespace

TEST_F(Framing, SpanFitsTheSmallerSideLessTheMargin) {
  LoadModel(form, {{0, 0, 0}, {10, 0, 0}, {3, 0, 0}});
  ExpectVec(form.Centre, 5, 0, 0);
  EXPECT_EQ(form.ModelDiameter, 10.0f);
  EXPECT_EQ(form.Scale, 29);
  EXPECT_EQ(form.InitialScale, 29);
  EXPECT_TRUE(messages.empty());
}

TEST_F(Framing, DiameterIsTheSphereNotTheBox) {
  std::vector<Vec3> corners;
  for (double x : {-1, 1})
    for (double y : {-1, 1})
      for (double z : {-1, 1}) corners.push_back({x, y, z});
  LoadModel(form, corners);
  ExpectVec(form.Centre, 0, 0, 0);
  EXPECT_EQ(form.ModelDiameter, static_cast<float>(2 * std::sqrt(3.0)));
}

TEST_F(Framing, GivenCentreIsKeptHoweverFar) {
  form.NewView();
  SetModel(form, {{0, 0, 0}, {10, 0, 0}});
  form.Centre = Vec3{0, 0, 0};
  form.CentreGiven = true;
  form.ComputeScale();
  ExpectVec(form.Centre, 0, 0, 0);
  EXPECT_EQ(form.ModelDiameter, 20.0f);
  EXPECT_EQ(form.Scale, 290 / 20.0);
}

TEST_F(Framing, SinglePointNeedsACircle) {
  form.Scale = 7;
  form.InitialScale = 6;
  form.NewView();
  SetModel(form, {{2, 3, 4}});
  form.CircleRadius = 0.5;
  form.ComputeScale();
  ExpectVec(form.Centre, 2, 3, 4);
  EXPECT_EQ(form.ModelDiameter, 1.0f);
  EXPECT_EQ(form.Scale, 290);
  EXPECT_TRUE(messages.empty());

  form.Scale = 7;
  form.InitialScale = 6;
  form.NewView();
  SetModel(form, {{-1, 5, 9}});
  form.CircleRadius = 0;
  form.ComputeScale();
  EXPECT_EQ(messages, kFitError);
  ExpectVec(form.Centre, -1, 5, 9);
  EXPECT_EQ(form.ModelDiameter, 0.0f);
  EXPECT_EQ(form.Scale, 7);
  EXPECT_EQ(form.InitialScale, 6);
}

TEST_F(Framing, NoPoints) {
  form.NewView();
  form.Centre = Vec3{1, 2, 3};
  form.ModelDiameter = 4;
  form.Scale = 7;
  form.ComputeScale();  // nothing to centre on: nothing changes
  EXPECT_EQ(messages, kFitError);
  EXPECT_EQ(f.controls.MessageDetails, std::vector<std::string>{"No points to centre"});
  ExpectVec(form.Centre, 1, 2, 3);
  EXPECT_EQ(form.ModelDiameter, 4.0f);
  EXPECT_EQ(form.Scale, 7);

  form.CentreGiven = true;  // a given centre, but still nothing round it
  form.ComputeScale();
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_EQ(form.ModelDiameter, 0.0f);
  EXPECT_EQ(form.Scale, 7);
}

TEST_F(Framing, SmallFramesGiveZeroAndNegativeScale) {
  Frame(10, 40);
  LoadModel(form, {{0, 0, 0}, {10, 0, 0}});
  EXPECT_EQ(form.Scale, 0);
  Frame(30, 8);  // the refit on resize uses the same rule
  EXPECT_EQ(form.Scale, -0.2);
  LoadModel(form, {{0, 0, 0}, {4, 0, 0}});
  EXPECT_EQ(form.Scale, -0.5);
  EXPECT_TRUE(messages.empty());
}

TEST_F(Framing, DistanceTooLargeForAFloat) {
  form.Scale = 7;
  form.InitialScale = 6;
  form.NewView();
  form.Centre = Vec3{0, 0, 0};
  form.CentreGiven = true;
  SetModel(form, {{1, 0, 0}, {3, 0, 0}, {1e20, 0, 0}, {2, 0, 0}});
  form.ComputeScale();
  EXPECT_EQ(messages, kFitError);
  EXPECT_EQ(form.ModelDiameter, 9.0f);  // the last value stored
  EXPECT_EQ(form.Scale, 7);
  EXPECT_EQ(form.InitialScale, 6);
}

TEST_F(Framing, DiameterTooLargeForAFloat) {
  form.Scale = 7;
  form.NewView();
  SetModel(form, {{0, 0, 0}, {4, 0, 0}});
  form.CircleRadius = 1e39;
  form.ComputeScale();
  EXPECT_EQ(messages, kFitError);
  EXPECT_EQ(form.ModelDiameter, 4.0f);  // the squared distance, still there
  EXPECT_EQ(form.Scale, 7);
}

TEST_F(Framing, BoundingBoxOverflowOrNaNFailsBeforeAnyChange) {
  form.Scale = 7;
  form.ModelDiameter = 3;
  form.NewView();
  SetModel(form, {{-1.7e308, 0, 0}, {1.7e308, 0, 0}});
  form.ComputeScale();
  EXPECT_EQ(messages, kFitError);
  ExpectVec(form.Centre, 0, 0, 0);
  EXPECT_EQ(form.ModelDiameter, 3.0f);

  SetModel(form, {{0, 0, 0}, {std::nan(""), 1, 1}, {2, 2, 2}});
  form.CentreGiven = true;
  form.ComputeScale();
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_EQ(form.Scale, 7);
}

TEST_F(Framing, CountBeyondTheArrayIsRefused) {
  form.Scale = 7;
  form.NewView();
  SetModel(form, {{0, 0, 0}, {4, 0, 0}});
  form.PointCount = 3;
  form.ComputeScale();
  EXPECT_EQ(messages, kFitError);
  EXPECT_EQ(form.Scale, 7);
}

TEST_F(Framing, NewViewResetsTheViewAndEnablesCommands) {
  EXPECT_FALSE(f.controls.IsEnabled(Command::SaveImageAs));
  EXPECT_FALSE(f.controls.IsEnabled(Command::Center));
  form.CentreGiven = true;
  form.Centre = Vec3{1, 2, 3};
  form.Scale = 5;
  form.InitialScale = 4;
  form.ModelDiameter = 3;
  form.PanX = 8;
  form.PanY = 9;
  f.controls.TimerOn = true;
  form.NewView();
  EXPECT_FALSE(form.NoModel);
  EXPECT_TRUE(f.controls.IsEnabled(Command::SaveImageAs));
  EXPECT_TRUE(f.controls.IsEnabled(Command::Center));
  EXPECT_FALSE(f.controls.IsEnabled(Command::SaveAs));
  EXPECT_FALSE(form.CentreGiven);
  ExpectVec(form.ViewAxis, 0, 0, 1);
  ExpectVec(form.UpAxis, 0, 1, 0);
  ExpectVec(form.RightAxis, 1, 0, 0);
  EXPECT_EQ(form.PanX, 0);
  EXPECT_EQ(form.PanY, 0);
  ExpectVec(form.Centre, 1, 2, 3);
  EXPECT_EQ(form.Scale, 5);
  EXPECT_EQ(form.InitialScale, 4);
  EXPECT_EQ(form.ModelDiameter, 3.0f);
  EXPECT_TRUE(f.controls.TimerOn);
}

TEST_F(Framing, CenterReturnsToTheFitKeepingCentreAndSpin) {
  LoadModel(form, {{0, 0, 0}, {10, 0, 0}});
  f.controls.TimerOn = true;
  form.Scale = 100;
  form.PanX = 3;
  form.PanY = -2;
  form.RotateCam(0, 0.4);
  form.RotateCam(1, 0.9);
  form.RotateCam(2, 1.3);
  const int presented = f.controls.FramesPresented;
  form.CenterButtonClick();
  ExpectVec(form.ViewAxis, 0, 0, 1);
  ExpectVec(form.UpAxis, 0, 1, 0);
  ExpectVec(form.RightAxis, 1, 0, 0);
  EXPECT_EQ(form.PanX, 0);
  EXPECT_EQ(form.PanY, 0);
  EXPECT_EQ(form.Scale, 29);
  EXPECT_EQ(form.InitialScale, 29);
  ExpectVec(form.Centre, 5, 0, 0);
  EXPECT_EQ(form.ModelDiameter, 10.0f);
  EXPECT_TRUE(f.controls.TimerOn);
  EXPECT_EQ(f.controls.FramesPresented, presented + 1);
}

TEST_F(Framing, CenterAfterResizeReturnsToTheNewFit) {
  LoadModel(form, {{0, 0, 0}, {10, 0, 0}});
  Frame(600, 510);
  form.Scale = 3;
  form.CenterButtonClick();
  EXPECT_EQ(form.Scale, 50);
}
