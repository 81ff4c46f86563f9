// Mouse drags, free spin, keys and the wheel, driven through the recording fake as the window
// would drive them.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cfloat>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"
#include "view/wheel_steps.h"

namespace {

constexpr double kFiveDegrees = 0.08726646259971647;
static_assert(kFiveDegrees == std::numbers::pi / 36);

// A scale at which dividing by 0.96 and multiplying by its inverse differ, as do three
// stepwise zooms and one by 0.96 cubed.
constexpr double kScale = 123.456;

using Bits = std::array<uint64_t, 9>;

Bits AxisBits(const TForm1& f) {
  Bits b{};
  size_t i = 0;
  for (const Vec3* v : {&f.ViewAxis, &f.UpAxis, &f.RightAxis}) {
    for (double c : {v->x, v->y, v->z}) b[i++] = std::bit_cast<uint64_t>(c);
  }
  return b;
}

// A form with a two-point model loaded (small enough to stay inside the frame at the usual
// scale), a frame to draw into, and a chosen scale; no frame counted yet.
struct ModelForm : FormFixture {
  explicit ModelForm(double scale = kScale) {
    form.FormResize(FrameWidthAllowance + 200, FrameHeightAllowance + 160);
    form.Points = {PointRecord{{-0.25, 0, 0}, {}, 0, 0}, PointRecord{{0.25, 0.25, 0.25}, {}, 0, 0}};
    form.PointCount = 2;
    form.Segments = {SegmentRecord{0, 0, 0x00FFFFFFu, 0, 1, 0}};
    form.SegmentCount = 1;
    form.NewView();
    form.Scale = scale;
    form.InitialScale = scale;
    controls.FramesPresented = 0;
  }
  int Frames() const { return controls.FramesPresented; }
};

// The camera of a freshly loaded model, to replay the expected turns on.
struct Reference : FormFixture {
  Reference() { form.NewView(); }
};

uint16_t KeyDown(ModelForm& m, uint16_t key, std::set<int> held) {
  m.controls.HeldKeys = std::move(held);
  m.form.FormKeyDown(key);
  return key;
}

void TurnFreeSpinOn(FormFixture& f) {
  f.controls.ClickCheckBox(kFreeSpinCheckBox);
  ASSERT_TRUE(f.form.FreeSpin);
}

// Free Spin on, a left drag with a step of (dx, dy), released: spinning.
void StartSpin(ModelForm& m, int32_t dx, int32_t dy) {
  TurnFreeSpinOn(m);
  m.form.FormMouseDown(MouseButton::Left, 200, 100);
  m.form.FormMouseMove(200 - dx, 100 - dy);
  m.form.FormMouseUp(MouseButton::Left, 200 - dx, 100 - dy);
  ASSERT_TRUE(m.controls.TimerOn);
}

// --- Drags ---

TEST(Drag, LeftMoveTurnsAboutUpThenRight) {
  ModelForm m;
  m.form.FormMouseDown(MouseButton::Left, 100, 50);
  EXPECT_EQ(m.Frames(), 0);
  m.form.FormMouseMove(90, 50);
  Reference r;
  r.form.RotateCam(1, 0.03);
  r.form.RotateCam(0, 0);
  EXPECT_EQ(AxisBits(m.form), AxisBits(r.form));
  EXPECT_EQ(m.form.SpinDX, 10);
  EXPECT_EQ(m.form.SpinDY, 0);
  EXPECT_EQ(m.form.LastMouseX, 90);
  EXPECT_EQ(m.form.LastMouseY, 50);
  EXPECT_EQ(m.Frames(), 1);
  EXPECT_EQ(m.form.PanX, 0);
  EXPECT_EQ(m.form.Scale, kScale);

  // Right 7 and down 4 from there: the turns do not commute, so their order shows.
  m.form.FormMouseMove(97, 54);
  r.form.RotateCam(1, -7 * 0.003);
  r.form.RotateCam(0, -4 * 0.003);
  EXPECT_EQ(AxisBits(m.form), AxisBits(r.form));
  EXPECT_EQ(m.Frames(), 2);
  Reference swapped;
  swapped.form.RotateCam(1, 0.03);
  swapped.form.RotateCam(0, 0);
  swapped.form.RotateCam(0, -4 * 0.003);
  swapped.form.RotateCam(1, -7 * 0.003);
  EXPECT_NE(AxisBits(m.form), AxisBits(swapped.form));
}

TEST(Drag, RightMovePansPixelForPixel) {
  ModelForm m;
  m.form.PanX = 1;
  m.form.PanY = -2;
  m.form.FormMouseDown(MouseButton::Right, 100, 100);
  m.form.FormMouseMove(110, 95);
  EXPECT_EQ(m.form.PanX, 1 + 10 / kScale);
  EXPECT_EQ(m.form.PanY, -2 + 5 / kScale);
  EXPECT_EQ(AxisBits(m.form), AxisBits(Reference().form));
  EXPECT_EQ(m.Frames(), 1);
}

TEST(Drag, BothButtonsTurnAndPanInOneMove) {
  ModelForm m;
  m.form.FormMouseDown(MouseButton::Left, 100, 100);
  m.form.FormMouseDown(MouseButton::Right, 100, 100);
  m.form.FormMouseMove(103, 98);
  Reference r;
  r.form.RotateCam(1, -3 * 0.003);
  r.form.RotateCam(0, 2 * 0.003);
  EXPECT_EQ(AxisBits(m.form), AxisBits(r.form));
  EXPECT_EQ(m.form.PanX, 3 / kScale);
  EXPECT_EQ(m.form.PanY, 2 / kScale);
  EXPECT_EQ(m.Frames(), 1);

  // Releasing one leaves the other dragging.
  m.form.FormMouseUp(MouseButton::Left, 103, 98);
  m.form.FormMouseMove(104, 98);
  EXPECT_EQ(AxisBits(m.form), AxisBits(r.form));
  EXPECT_EQ(m.form.PanX, 3 / kScale + 1 / kScale);
  EXPECT_EQ(m.Frames(), 2);
}

TEST(Drag, MovesWithoutAButtonDoNothing) {
  ModelForm m;
  m.form.FormMouseMove(10, 10);
  m.form.FormMouseDown(MouseButton::Left, 0, 0);
  m.form.FormMouseUp(MouseButton::Left, 0, 0);
  m.form.FormMouseMove(50, 50);
  EXPECT_EQ(m.Frames(), 0);
  EXPECT_EQ(AxisBits(m.form), AxisBits(Reference().form));
  EXPECT_EQ(m.form.LastMouseX, 0);
}

TEST(Drag, MiddleButtonOnlyGrabsAndStopsTheSpin) {
  ModelForm m;
  StartSpin(m, 4, 0);
  const Bits before = AxisBits(m.form);
  const int frames = m.Frames();
  m.form.FormMouseDown(MouseButton::Middle, 30, 40);
  EXPECT_EQ(m.controls.ScreenCursor, CursorId::GrabHand);
  EXPECT_FALSE(m.controls.TimerOn);
  EXPECT_FALSE(m.form.LeftDragging);
  EXPECT_FALSE(m.form.RightDragging);
  EXPECT_EQ(m.form.SpinDX, 0);
  EXPECT_EQ(m.form.LastMouseX, 30);
  m.form.FormMouseMove(60, 90);
  m.form.FormMouseUp(MouseButton::Middle, 60, 90);
  EXPECT_EQ(AxisBits(m.form), before);
  EXPECT_EQ(m.form.PanX, 0);
  EXPECT_EQ(m.Frames(), frames);
  EXPECT_EQ(m.controls.ScreenCursor, CursorId::Default);
  EXPECT_FALSE(m.controls.TimerOn);
}

TEST(Drag, CursorGrabsOnAnyPressAndLetsGoOnAnyRelease) {
  for (MouseButton b : {MouseButton::Left, MouseButton::Right, MouseButton::Middle}) {
    FormFixture f;  // no model: the cursor follows the buttons all the same
    f.form.FormMouseDown(b, 1, 1);
    EXPECT_EQ(f.controls.ScreenCursor, CursorId::GrabHand);
    f.form.FormMouseUp(b, 1, 1);
    EXPECT_EQ(f.controls.ScreenCursor, CursorId::Default);
  }
  // A release lets go of the closed hand even while another button is still held.
  ModelForm m;
  m.form.FormMouseDown(MouseButton::Left, 1, 1);
  m.form.FormMouseDown(MouseButton::Right, 1, 1);
  m.form.FormMouseUp(MouseButton::Right, 1, 1);
  EXPECT_EQ(m.controls.ScreenCursor, CursorId::Default);
  EXPECT_TRUE(m.form.LeftDragging);
  EXPECT_FALSE(m.form.RightDragging);
}

// --- A failing drag ---

TEST(DragFailure, ZeroScaleReportsAndLeavesTheOldPosition) {
  ModelForm m(0);
  m.form.FormMouseDown(MouseButton::Right, 100, 100);
  m.form.FormMouseMove(110, 95);
  EXPECT_EQ(m.controls.Messages, std::vector<std::string>{"Error dragging viewpoint"});
  // The box's second line says what went wrong.
  EXPECT_EQ(m.controls.MessageDetails, std::vector<std::string>{"Floating point division by zero"});
  EXPECT_EQ(m.form.LastMouseX, 100);
  EXPECT_EQ(m.form.LastMouseY, 100);
  EXPECT_EQ(m.form.SpinDX, -10);
  EXPECT_EQ(m.form.SpinDY, 5);
  EXPECT_EQ(m.form.PanX, 0);
  EXPECT_EQ(m.form.PanY, 0);
  EXPECT_TRUE(m.form.RightDragging);
  EXPECT_EQ(m.Frames(), 0);

  // The next move tries again from the old position.
  m.form.Scale = 2;
  m.form.FormMouseMove(110, 95);
  EXPECT_EQ(m.form.PanX, 5);
  EXPECT_EQ(m.form.PanY, 2.5);
  EXPECT_EQ(m.form.LastMouseX, 110);
  EXPECT_EQ(m.controls.Messages.size(), 1u);
  EXPECT_EQ(m.Frames(), 1);
}

TEST(DragFailure, WhatWasDoneBeforeTheFaultStays) {
  // The turn comes before the pan, so it stands when the pan fails.
  ModelForm both(0);
  both.form.FormMouseDown(MouseButton::Left, 100, 100);
  both.form.FormMouseDown(MouseButton::Right, 100, 100);
  both.form.FormMouseMove(100, 100);  // even a zero step divides by the zero scale
  Reference r;
  r.form.RotateCam(1, 0);
  r.form.RotateCam(0, 0);
  EXPECT_EQ(AxisBits(both.form), AxisBits(r.form));
  EXPECT_EQ(both.controls.Messages, std::vector<std::string>{"Error dragging viewpoint"});
  EXPECT_EQ(both.Frames(), 0);

  // PanX is stored before PanY overflows.
  ModelForm m(1e-300);
  m.form.PanY = DBL_MAX;
  m.form.FormMouseDown(MouseButton::Right, 100, 100);
  m.form.FormMouseMove(90, 95);
  EXPECT_EQ(m.form.PanX, -10 / 1e-300);
  EXPECT_EQ(m.form.PanY, DBL_MAX);
  EXPECT_EQ(m.controls.Messages, std::vector<std::string>{"Error dragging viewpoint"});
  EXPECT_EQ(m.form.LastMouseX, 100);
  EXPECT_EQ(m.Frames(), 0);
}

TEST(DragFailure, NonFiniteResultsAreFaults) {
  // A tiny scale makes the pan step itself overflow.
  ModelForm tiny(1e-310);
  tiny.form.FormMouseDown(MouseButton::Right, 0, 0);
  tiny.form.FormMouseMove(0, 1);
  EXPECT_EQ(tiny.controls.Messages, std::vector<std::string>{"Error dragging viewpoint"});
  EXPECT_EQ(tiny.form.PanY, 0);

  // Axes blown up to the edge of the range overflow in the turn, which then stores nothing.
  ModelForm huge;
  huge.form.RightAxis = {1.7e308, 0, 0};
  huge.form.ViewAxis = {1.7e308, 0, 0};
  const Bits before = AxisBits(huge.form);
  huge.form.FormMouseDown(MouseButton::Left, 100, 0);
  huge.form.FormMouseMove(0, 0);
  EXPECT_EQ(AxisBits(huge.form), before);
  EXPECT_EQ(huge.controls.Messages, std::vector<std::string>{"Error dragging viewpoint"});
  EXPECT_EQ(huge.form.LastMouseX, 100);
  EXPECT_EQ(huge.Frames(), 0);

  // A step beyond 32 bits is a fault too, not a wrapped step.
  ModelForm far;
  far.form.FormMouseDown(MouseButton::Left, INT32_MIN, 0);
  far.form.FormMouseMove(1, 0);
  EXPECT_EQ(far.controls.Messages, std::vector<std::string>{"Error dragging viewpoint"});
  EXPECT_EQ(far.form.SpinDX, 0);
  EXPECT_EQ(far.form.LastMouseX, INT32_MIN);
  EXPECT_EQ(far.Frames(), 0);
}

// --- Free spin ---

TEST(FreeSpin, StartsOnReleaseOnlyAfterALeftDragThatMoved) {
  {
    ModelForm m;
    StartSpin(m, 3, -2);
  }
  {  // Free Spin off
    ModelForm m;
    m.form.FormMouseDown(MouseButton::Left, 10, 10);
    m.form.FormMouseMove(0, 10);
    m.form.FormMouseUp(MouseButton::Left, 0, 10);
    EXPECT_FALSE(m.controls.TimerOn);
  }
  {  // a right drag
    ModelForm m;
    TurnFreeSpinOn(m);
    m.form.FormMouseDown(MouseButton::Right, 10, 10);
    m.form.FormMouseMove(0, 10);
    m.form.FormMouseUp(MouseButton::Right, 0, 10);
    EXPECT_FALSE(m.controls.TimerOn);
  }
  {  // a drag whose last move went nowhere
    ModelForm m;
    TurnFreeSpinOn(m);
    m.form.FormMouseDown(MouseButton::Left, 10, 10);
    m.form.FormMouseMove(0, 10);
    m.form.FormMouseMove(0, 10);
    m.form.FormMouseUp(MouseButton::Left, 0, 10);
    EXPECT_FALSE(m.controls.TimerOn);
  }
}

TEST(FreeSpin, ReleasingRightWhileLeftIsHeldStartsIt) {
  ModelForm m;
  TurnFreeSpinOn(m);
  m.form.FormMouseDown(MouseButton::Left, 100, 100);
  m.form.FormMouseDown(MouseButton::Right, 100, 100);
  m.form.FormMouseMove(95, 100);
  m.form.FormMouseUp(MouseButton::Right, 95, 100);
  EXPECT_TRUE(m.controls.TimerOn);
  EXPECT_TRUE(m.form.LeftDragging);
  // The left drag goes on, turning only.
  const double panX = m.form.PanX;
  m.form.FormMouseMove(90, 100);
  EXPECT_EQ(m.form.PanX, panX);
  EXPECT_EQ(m.Frames(), 2);
}

TEST(FreeSpin, TicksRepeatTheLastStep) {
  ModelForm m;
  StartSpin(m, 6, -3);
  const int frames = m.Frames();
  m.form.Timer1Timer();
  m.form.Timer1Timer();
  Reference r;
  for (int i = 0; i < 3; ++i) {
    r.form.RotateCam(1, 6 * 0.003);
    r.form.RotateCam(0, -3 * 0.003);
  }
  EXPECT_EQ(AxisBits(m.form), AxisBits(r.form));
  EXPECT_EQ(m.Frames(), frames + 2);
  EXPECT_TRUE(m.controls.TimerOn);
}

TEST(FreeSpin, AClickWithoutMovingStopsItForGood) {
  ModelForm m;
  StartSpin(m, 5, 5);
  m.form.FormMouseDown(MouseButton::Left, 50, 50);
  EXPECT_FALSE(m.controls.TimerOn);
  m.form.FormMouseUp(MouseButton::Left, 50, 50);
  EXPECT_FALSE(m.controls.TimerOn);
  EXPECT_EQ(m.form.SpinDX, 0);
  EXPECT_EQ(m.form.SpinDY, 0);
}

TEST(FreeSpin, TogglingFreeSpinStopsItWithoutDrawing) {
  ModelForm m;
  StartSpin(m, 5, 0);
  const int frames = m.Frames();
  m.controls.ClickCheckBox(kFreeSpinCheckBox);
  EXPECT_FALSE(m.controls.TimerOn);
  m.controls.ClickCheckBox(kFreeSpinCheckBox);
  EXPECT_FALSE(m.controls.TimerOn);
  EXPECT_EQ(m.Frames(), frames);
}

TEST(FreeSpin, KeysAndWheelLeaveItSpinning) {
  ModelForm m;
  StartSpin(m, 5, 0);
  EXPECT_EQ(KeyDown(m, VK_UP, {VK_UP}), 0);
  m.form.FormMouseWheel(-120);
  EXPECT_TRUE(m.controls.TimerOn);
}

TEST(FreeSpin, AFaultingTickChangesNothingAndDrawsNothing) {
  ModelForm m;
  StartSpin(m, 100, 0);
  m.form.RightAxis = {1.7e308, 0, 0};
  m.form.ViewAxis = {1.7e308, 0, 0};
  const Bits before = AxisBits(m.form);
  const int frames = m.Frames();
  EXPECT_THROW(m.form.Timer1Timer(), KestrelError);
  EXPECT_EQ(AxisBits(m.form), before);
  EXPECT_EQ(m.Frames(), frames);
}

// --- Keys ---

struct ArrowCase {
  int arrow;
  std::set<int> modifiers;
  std::function<void(TForm1&)> expect;
};

TEST(Keys, ArrowTable) {
  const double k = kFiveDegrees;
  auto panX = [](double by) { return [by](TForm1& f) { f.PanX += by * (10 / f.Scale); }; };
  auto panY = [](double by) { return [by](TForm1& f) { f.PanY += by * (10 / f.Scale); }; };
  auto none = [](TForm1&) {};
  const std::set<int> plain{}, ctrl{VK_CONTROL}, shift{VK_SHIFT}, both{VK_CONTROL, VK_SHIFT};
  const std::vector<ArrowCase> cases = {
      {VK_DOWN, plain, [k](TForm1& f) { f.RotateCam(0, -k); }},
      {VK_DOWN, ctrl, panY(-1)},
      {VK_DOWN, both, panY(-1)},
      {VK_DOWN, shift, [](TForm1& f) { f.Scale *= 0.96; }},
      {VK_UP, plain, [k](TForm1& f) { f.RotateCam(0, k); }},
      {VK_UP, ctrl, panY(1)},
      {VK_UP, both, panY(1)},
      {VK_UP, shift, [](TForm1& f) { f.Scale /= 0.96; }},
      {VK_LEFT, plain, [k](TForm1& f) { f.RotateCam(1, k); }},
      {VK_LEFT, ctrl, panX(-1)},
      {VK_LEFT, both, panX(-1)},
      {VK_LEFT, shift, none},
      {VK_RIGHT, plain, [k](TForm1& f) { f.RotateCam(1, -k); }},
      {VK_RIGHT, ctrl, panX(1)},
      {VK_RIGHT, both, panX(1)},
      {VK_RIGHT, shift, none},
  };
  for (const ArrowCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "arrow " << c.arrow << " ctrl " << c.modifiers.count(VK_CONTROL) << " shift "
                 << c.modifiers.count(VK_SHIFT));
    ModelForm m;
    std::set<int> held = c.modifiers;
    held.insert(c.arrow);
    EXPECT_EQ(KeyDown(m, c.arrow, held), 0);
    ModelForm r;
    c.expect(r.form);
    EXPECT_EQ(AxisBits(m.form), AxisBits(r.form));
    EXPECT_EQ(m.form.PanX, r.form.PanX);
    EXPECT_EQ(m.form.PanY, r.form.PanY);
    EXPECT_EQ(m.form.Scale, r.form.Scale);
    EXPECT_EQ(m.Frames(), 1);
  }
}

TEST(Keys, HeldArrowsActOnAnyKeyEventDownOrUpFirst) {
  ModelForm m;
  // The arrows come from the key state: even a key the handler knows nothing of acts on them.
  EXPECT_EQ(KeyDown(m, VK_LEFT, {VK_UP, VK_LEFT}), 0);
  EXPECT_EQ(KeyDown(m, 'X', {VK_UP, VK_LEFT}), 0);
  Reference r;
  for (int i = 0; i < 2; ++i) {
    r.form.RotateCam(0, kFiveDegrees);
    r.form.RotateCam(1, kFiveDegrees);
  }
  EXPECT_EQ(AxisBits(m.form), AxisBits(r.form));
  EXPECT_EQ(m.Frames(), 2);
}

TEST(Keys, LettersPanAndZoomWhateverTheModifiers) {
  struct Letter {
    uint16_t key;
    double dx, dy;
  };
  for (const Letter& l :
       {Letter{'A', 0, -1}, Letter{'Q', 0, 1}, Letter{'S', -1, 0}, Letter{'D', 1, 0}}) {
    for (const std::set<int>& held : {std::set<int>{}, std::set<int>{VK_CONTROL}}) {
      ModelForm m;
      EXPECT_EQ(KeyDown(m, l.key, held), 0);
      EXPECT_EQ(m.form.PanX, l.dx * (10 / kScale));
      EXPECT_EQ(m.form.PanY, l.dy * (10 / kScale));
      EXPECT_EQ(m.form.Scale, kScale);
      EXPECT_EQ(m.Frames(), 1);
    }
  }
  ModelForm m;
  EXPECT_EQ(KeyDown(m, 'F', {}), 0);
  EXPECT_EQ(m.form.Scale, kScale / 0.96);
  EXPECT_EQ(KeyDown(m, 'C', {VK_SHIFT}), 0);  // Shift alone with no arrow held does nothing
  EXPECT_EQ(m.form.Scale, (kScale / 0.96) * 0.96);
  EXPECT_NEAR(m.form.Scale, kScale, 1e-12);
  EXPECT_EQ(m.Frames(), 2);
}

TEST(Keys, PanStepUsesTheScaleAfterThisEventsZoom) {
  ModelForm m;
  EXPECT_EQ(KeyDown(m, 'Q', {VK_SHIFT, VK_UP}), 0);
  EXPECT_EQ(m.form.Scale, kScale / 0.96);
  EXPECT_EQ(m.form.PanY, 10 / (kScale / 0.96));
  EXPECT_EQ(m.Frames(), 1);
}

TEST(Keys, OtherKeysAreLeftForTheFocusedControl) {
  ModelForm m;
  for (uint16_t key : {uint16_t{'X'}, uint16_t{VK_SHIFT}, uint16_t{'a'}, uint16_t{0}}) {
    EXPECT_EQ(KeyDown(m, key, {VK_SHIFT, VK_CONTROL}), key);
  }
  EXPECT_EQ(m.Frames(), 0);
}

TEST(Keys, ZeroScalePanIsAnUncaughtFault) {
  ModelForm m(0);
  m.controls.HeldKeys = {VK_CONTROL, VK_UP};
  uint16_t key = VK_UP;
  try {
    m.form.FormKeyDown(key);
    ADD_FAILURE() << "no fault";
  } catch (const KestrelError& e) {
    EXPECT_STREQ(e.what(), "Floating point division by zero");
  }
  EXPECT_EQ(key, VK_UP);
  EXPECT_EQ(m.form.PanY, 0);
  EXPECT_EQ(m.Frames(), 0);
  EXPECT_TRUE(m.controls.Messages.empty());

  ModelForm big(DBL_MAX);
  EXPECT_EQ(KeyDown(big, 'C', {}), 0);  // zooming out from the top is fine
  big.form.Scale = DBL_MAX;
  key = 'F';
  EXPECT_THROW(big.form.FormKeyDown(key), KestrelError);
  EXPECT_EQ(big.form.Scale, DBL_MAX);
}

// --- Screens of more than one device pixel per logical pixel ---

// The pointer arrives in device pixels. A drag turns by the same angle per logical pixel at any
// ratio, a right drag pans the picture with the pointer device pixel for device pixel, and the
// keys' pan step is ten logical pixels; the wheel's zoom knows no pixels.
TEST(DenseScreen, TurnPerLogicalPixelPanPerDevicePixel) {
  for (const double ratio : {2.0, 1.5, 1.25}) {
    SCOPED_TRACE(testing::Message() << "ratio " << ratio);
    ModelForm m;
    m.form.PixelRatio = ratio;
    Reference r;

    m.form.FormMouseDown(MouseButton::Left, 100, 50);
    m.form.FormMouseMove(76, 56);  // 24 device pixels left, 6 down
    r.form.RotateCam(1, 24 * 0.003 / ratio);
    r.form.RotateCam(0, -6 * 0.003 / ratio);
    EXPECT_EQ(AxisBits(m.form), AxisBits(r.form));
    // Free spin repeats the step as it was turned.
    m.form.Timer1Timer();
    r.form.RotateCam(1, 24 * 0.003 / ratio);
    r.form.RotateCam(0, -6 * 0.003 / ratio);
    EXPECT_EQ(AxisBits(m.form), AxisBits(r.form));
    m.form.FormMouseUp(MouseButton::Left, 76, 56);

    m.form.FormMouseDown(MouseButton::Right, 100, 100);
    m.form.FormMouseMove(130, 85);
    EXPECT_EQ(m.form.PanX, 30 / kScale);
    EXPECT_EQ(m.form.PanY, 15 / kScale);
    m.form.FormMouseUp(MouseButton::Right, 130, 85);

    m.controls.HeldKeys = {VK_CONTROL, VK_LEFT};
    uint16_t key = VK_LEFT;
    m.form.FormKeyDown(key);
    EXPECT_EQ(m.form.PanX, 30 / kScale - 10 * ratio / kScale);
    EXPECT_EQ(KeyDown(m, 'Q', {}), 0);
    EXPECT_EQ(m.form.PanY, 15 / kScale + 10 * ratio / kScale);
    m.form.FormMouseWheel(-120);
    EXPECT_EQ(m.form.Scale, kScale * 0.96);
    EXPECT_EQ(m.Frames(), 6);
    EXPECT_TRUE(m.controls.Messages.empty());
  }
}

TEST(DenseScreen, RatioThatIsNoNumberFailsTheDragNotTheProgram) {
  for (const double ratio : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
    ModelForm m;
    m.form.PixelRatio = ratio;
    m.form.FormMouseDown(MouseButton::Left, 100, 50);
    m.form.FormMouseMove(90, 50);
    EXPECT_EQ(m.controls.Messages, std::vector<std::string>{"Error dragging viewpoint"});
    EXPECT_EQ(AxisBits(m.form), AxisBits(Reference().form));
    EXPECT_EQ(m.Frames(), 0);
  }
}

// --- Wheel ---

TEST(Wheel, EachFullNotchIsOneZoomStepAndOneFrame) {
  ModelForm m;
  m.form.FormMouseWheel(-360);  // toward the user
  EXPECT_EQ(m.form.Scale, kScale * 0.96 * 0.96 * 0.96);
  EXPECT_NE(m.form.Scale, kScale * (0.96 * 0.96 * 0.96));
  EXPECT_EQ(m.Frames(), 3);
  EXPECT_EQ(m.form.WheelRemainder, 0);

  m.form.FormMouseWheel(240);  // away
  EXPECT_EQ(m.form.Scale, kScale * 0.96 * 0.96 * 0.96 / 0.96 / 0.96);
  EXPECT_EQ(m.Frames(), 5);
}

TEST(Wheel, PartTurnsCarryOverWithTheirSign) {
  ModelForm m;
  m.form.FormMouseWheel(-60);
  EXPECT_EQ(m.Frames(), 0);
  EXPECT_EQ(m.form.WheelRemainder, -60);
  m.form.FormMouseWheel(-60);
  EXPECT_EQ(m.Frames(), 1);
  EXPECT_EQ(m.form.Scale, kScale * 0.96);
  EXPECT_EQ(m.form.WheelRemainder, 0);

  m.form.FormMouseWheel(-200);
  EXPECT_EQ(m.form.WheelRemainder, -80);
  m.form.FormMouseWheel(100);  // cancels the carried part; no step
  EXPECT_EQ(m.form.WheelRemainder, 20);
  m.form.FormMouseWheel(110);
  EXPECT_EQ(m.form.WheelRemainder, 10);
  EXPECT_EQ(m.form.Scale, kScale * 0.96 * 0.96 / 0.96);
  EXPECT_EQ(m.Frames(), 3);
}

TEST(Wheel, SplitNeverOverflows) {
  EXPECT_EQ(SplitWheelRotation(119, INT32_MAX).steps, 17895698);
  EXPECT_EQ(SplitWheelRotation(119, INT32_MAX).remainder, 6);
  EXPECT_EQ(SplitWheelRotation(-119, INT32_MIN).steps, -17895698);
  EXPECT_EQ(SplitWheelRotation(-119, INT32_MIN).remainder, -7);
  EXPECT_EQ(SplitWheelRotation(-80, 100).steps, 0);
  EXPECT_EQ(SplitWheelRotation(-80, 100).remainder, 20);
  EXPECT_EQ(SplitWheelRotation(-1, -239).steps, -2);
  EXPECT_EQ(SplitWheelRotation(-1, -239).remainder, 0);
}

// --- Before any model ---

TEST(NoModelYet, InputChangesNothingButTheButtonsAndCursor) {
  FormFixture f;
  f.controls.ClickCheckBox(kFreeSpinCheckBox);
  ASSERT_TRUE(f.form.FreeSpin);
  const auto keyDown = [&](uint16_t key, std::set<int> held) {
    f.controls.HeldKeys = std::move(held);
    f.form.FormKeyDown(key);
    return key;
  };
  EXPECT_EQ(keyDown(VK_UP, {VK_UP}), VK_UP);
  EXPECT_EQ(keyDown(VK_LEFT, {VK_LEFT, VK_CONTROL}), VK_LEFT);
  EXPECT_EQ(keyDown('F', {}), 'F');
  EXPECT_EQ(keyDown('S', {VK_CONTROL}), 'S');

  f.form.FormMouseWheel(-360);
  f.form.FormMouseWheel(90);
  f.form.FormMouseWheelDown();
  f.form.FormMouseWheelUp();
  EXPECT_EQ(f.form.WheelRemainder, 0);

  f.form.FormMouseDown(MouseButton::Left, 10, 20);
  EXPECT_EQ(f.controls.ScreenCursor, CursorId::GrabHand);
  EXPECT_TRUE(f.form.LeftDragging);
  f.form.FormMouseDown(MouseButton::Right, 10, 20);
  f.form.FormMouseMove(40, 60);
  EXPECT_EQ(f.form.SpinDX, 0);
  EXPECT_EQ(f.form.LastMouseX, 10);
  f.form.SpinDX = 5;  // even a step left over cannot start a spin without a model
  f.form.FormMouseUp(MouseButton::Left, 40, 60);
  EXPECT_FALSE(f.controls.TimerOn);
  EXPECT_EQ(f.controls.ScreenCursor, CursorId::Default);

  EXPECT_EQ(f.form.Scale, 0);
  EXPECT_EQ(f.form.PanX, 0);
  EXPECT_EQ(f.form.PanY, 0);
  EXPECT_EQ(AxisBits(f.form), Bits{});
  EXPECT_EQ(f.controls.FramesPresented, 0);
  EXPECT_TRUE(f.controls.Messages.empty());
}

}  // namespace
