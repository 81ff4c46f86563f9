// Mouse, keyboard, wheel and free spin: turning the user's input into turns, pans and zooms of
// the view, each followed by exactly one frame drawn at once.
#include <cstdint>

#include "scene/error.h"
#include "scene/scene_model.h"
#include "view/wheel_steps.h"
#include "view/zoom_pan.h"

namespace {

// Radians per pixel of pointer motion, for drags and free spin alike.
constexpr double kTurnPerPixel = 0.003;
// 5 degrees (pi / 36) to the last bit: the arrow keys' turn.
constexpr double kKeyTurn = 0.08726646259971647;
// The pan keys move the picture by this many pixels; held as a single, as it always was.
constexpr float kPanPixels = 10.0f;
// One zoom step; zooming in divides by it rather than multiplying by its inverse, so that
// in-then-out comes back to the old scale within a rounding.
constexpr double kZoom = 0.96;

// Pointer coordinates are 32-bit, so their difference may not be.
int32_t Step(int32_t from, int32_t to) {
  const int64_t d = int64_t{from} - int64_t{to};
  if (d < INT32_MIN || d > INT32_MAX) throw KestrelError("Integer overflow");
  return static_cast<int32_t>(d);
}

// Horizontal motion turns about the up axis, vertical about the right axis: the front of the
// model follows the pointer. The steps are device pixels; the turn is per logical pixel, so a
// drag across the window turns the model as far on a 2x screen as on a plain one.
void TurnBySteps(TForm1& f, int32_t dx, int32_t dy) {
  const double ratio = f.CheckedPixelRatio();
  f.RotateCam(1, dx * kTurnPerPixel / ratio);
  f.RotateCam(0, dy * kTurnPerPixel / ratio);
}

// The keys' pan step in device pixels: ten logical pixels.
double KeyPanStep(const TForm1& f) {
  return kPanPixels * f.CheckedPixelRatio();
}

void ZoomIn(TForm1& f) {
  f.Scale = CheckedResult(f.Scale / kZoom);
}

void ZoomOut(TForm1& f) {
  ZoomBy(f, kZoom);
}

// The six letter keys; false for every other key code.
bool LetterKey(TForm1& f, uint16_t key) {
  switch (key) {
    case 'A':
      PanUp(f, -KeyPanStep(f));
      return true;
    case 'Q':
      PanUp(f, KeyPanStep(f));
      return true;
    case 'S':
      PanRight(f, -KeyPanStep(f));
      return true;
    case 'D':
      PanRight(f, KeyPanStep(f));
      return true;
    case 'F':
      ZoomIn(f);
      return true;
    case 'C':
      ZoomOut(f);
      return true;
    default:
      return false;
  }
}

}  // namespace

void ZoomBy(TForm1& form, double factor) {
  form.Scale = CheckedResult(form.Scale * factor);
}

// The step in model units comes from the scale of this very moment.
void PanRight(TForm1& form, double pixels) {
  form.PanX = CheckedResult(form.PanX + CheckedDivide(pixels, form.Scale));
}

void PanUp(TForm1& form, double pixels) {
  form.PanY = CheckedResult(form.PanY + CheckedDivide(pixels, form.Scale));
}

void TForm1::FormMouseDown(MouseButton button, int32_t x, int32_t y) {
  if (button == MouseButton::Left) LeftDragging = true;
  if (button == MouseButton::Right) RightDragging = true;
  LastMouseX = x;
  LastMouseY = y;
  controls_.SetScreenCursor(CursorId::GrabHand);
  if (FreeSpin) controls_.SetTimerEnabled(false);
  // A press without a move leaves a zero step, so its release starts no spin.
  SpinDX = 0;
  SpinDY = 0;
}

void TForm1::FormMouseMove(int32_t x, int32_t y) {
  if (NoModel) return;
  if (!LeftDragging && !RightDragging) return;
  try {
    SpinDX = Step(LastMouseX, x);
    SpinDY = Step(LastMouseY, y);
    if (LeftDragging) TurnBySteps(*this, SpinDX, SpinDY);
    // Pixel for pixel (device pixels, as the frame's): the picture stays under the pointer.
    if (RightDragging) {
      PanRight(*this, -static_cast<double>(SpinDX));
      PanUp(*this, SpinDY);
    }
    LastMouseX = x;
    LastMouseY = y;
  } catch (const std::exception& e) {
    // The old position stays, so the next move tries again from it.
    controls_.ShowMessage("Error dragging viewpoint", e.what());
    return;
  }
  Render();
}

void TForm1::FormMouseUp(MouseButton button, int32_t, int32_t) {
  // Looks at the left drag whatever button went up: releasing the right button while the left
  // is still held sets the model spinning too.
  if (FreeSpin && LeftDragging && !NoModel && (SpinDX != 0 || SpinDY != 0)) {
    controls_.SetTimerEnabled(true);
  }
  if (button == MouseButton::Left) LeftDragging = false;
  if (button == MouseButton::Right) RightDragging = false;
  controls_.SetScreenCursor(CursorId::Default);
}

void TForm1::Timer1Timer() {
  TurnBySteps(*this, SpinDX, SpinDY);
  Render();
}

void TForm1::FormKeyDown(uint16_t& key) {
  if (NoModel) return;
  // The arrows come from the key state, not the key code: whichever key auto-repeats keeps
  // every held arrow working.
  const bool shift = controls_.KeyIsDown(VK_SHIFT);
  const bool ctrl = controls_.KeyIsDown(VK_CONTROL);
  const bool plain = !shift && !ctrl;
  bool handled = false;
  if (controls_.KeyIsDown(VK_DOWN)) {
    if (plain)
      RotateCam(0, -kKeyTurn);
    else if (ctrl)
      PanUp(*this, -KeyPanStep(*this));
    else
      ZoomOut(*this);
    handled = true;
  }
  if (controls_.KeyIsDown(VK_UP)) {
    if (plain)
      RotateCam(0, kKeyTurn);
    else if (ctrl)
      PanUp(*this, KeyPanStep(*this));
    else
      ZoomIn(*this);
    handled = true;
  }
  // Shift alone does nothing to Left and Right, yet the key is still taken and drawn.
  if (controls_.KeyIsDown(VK_LEFT)) {
    if (ctrl)
      PanRight(*this, -KeyPanStep(*this));
    else if (plain)
      RotateCam(1, kKeyTurn);
    handled = true;
  }
  if (controls_.KeyIsDown(VK_RIGHT)) {
    if (ctrl)
      PanRight(*this, KeyPanStep(*this));
    else if (plain)
      RotateCam(1, -kKeyTurn);
    handled = true;
  }
  // The letter keys act on this event's own key, whatever the modifiers.
  if (LetterKey(*this, key)) handled = true;
  if (!handled) return;
  // Taken, so the focused control never sees it.
  key = 0;
  Render();
}

void TForm1::FormMouseWheel(int32_t delta) {
  // Before a model the rotation is dropped rather than saved up, so the first model loaded
  // does not start with a zoom step the user made at an empty window.
  if (NoModel) return;
  const WheelSplit split = SplitWheelRotation(WheelRemainder, delta);
  WheelRemainder = split.remainder;
  for (int64_t i = 0; i < split.steps; ++i) FormMouseWheelUp();
  for (int64_t i = 0; i > split.steps; --i) FormMouseWheelDown();
}

// The zoom is always about the middle of the frame, never about the pointer.
void TForm1::FormMouseWheelDown() {
  if (NoModel) return;
  ZoomOut(*this);
  Render();
}

void TForm1::FormMouseWheelUp() {
  if (NoModel) return;
  ZoomIn(*this);
  Render();
}
