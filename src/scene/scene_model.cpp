// Window creation and the six option check boxes.
#include "scene/scene_model.h"

#include <cmath>

#include "scene/colour_codes.h"

TForm1::TForm1(FormControls& controls) : controls_(controls) {
  FormCreate();
}

void TForm1::FormCreate() {
  FrameBitmap = QImage(0, 0, QImage::Format_RGB32);
  // The window's own cursor (the open hand) is the window's business; nothing to do here.
  NoModel = true;
  AntiAlias = true;
  LeftDragging = false;
  RightDragging = false;
  Fade = true;
  FlipZ = false;
  WhiteBack = false;
  FreeSpin = false;
  FillCircles = false;
  VecSize = 24;
  IntSize = 4;
}

double TForm1::CheckedPixelRatio() const {
  if (!(PixelRatio > 0) || !std::isfinite(PixelRatio)) ThrowFloatFault(FloatFault::Invalid);
  return PixelRatio;
}

void TForm1::SetCheckBox(uint8_t number, bool value) {
  // Raised so that the click handler the change fires neither draws nor recolours.
  NoModel = true;
  controls_.SetCheckBoxChecked(number, value);
  NoModel = false;
}

void TForm1::CheckBoxClick(int number) {
  switch (number) {
    case kAliasCheckBox:
      AliasCheckBoxClick();
      break;
    case kFadeCheckBox:
      FadeCheckboxClick();
      break;
    case kFlipZCheckBox:
      FlipZCheckBoxClick();
      break;
    case kWhiteBackCheckBox:
      WhiteBackCheckBoxClick();
      break;
    case kFreeSpinCheckBox:
      FreeSpinCheckBoxClick();
      break;
    default:
      CircleFillCheckBoxClick();
      break;
  }
}

void TForm1::AliasCheckBoxClick() {
  AntiAlias = controls_.CheckBoxChecked(kAliasCheckBox);
  if (!NoModel) Render();
}

void TForm1::FadeCheckboxClick() {
  Fade = controls_.CheckBoxChecked(kFadeCheckBox);
  if (!NoModel) Render();
}

void TForm1::FlipZCheckBoxClick() {
  FlipZ = controls_.CheckBoxChecked(kFlipZCheckBox);
  if (!NoModel) Render();
}

void TForm1::CircleFillCheckBoxClick() {
  FillCircles = controls_.CheckBoxChecked(kCircleFillCheckBox);
  if (!NoModel) Render();
}

void TForm1::FreeSpinCheckBoxClick() {
  FreeSpin = controls_.CheckBoxChecked(kFreeSpinCheckBox);
  controls_.SetTimerEnabled(false);
}

void TForm1::WhiteBackCheckBoxClick() {
  WhiteBack = controls_.CheckBoxChecked(kWhiteBackCheckBox);
  if (NoModel) return;
  // The default line colour follows the background; swap the one for the other by value.
  const uint32_t white = MakeColor(255, 255, 255);
  const uint32_t grey = MakeColor(40, 40, 40);
  const uint32_t from = WhiteBack ? white : grey;
  const uint32_t to = WhiteBack ? grey : white;
  for (SegmentRecord& s : Segments) {
    if ((s.Colour & 0x00FFFFFFu) == from) s.Colour = to;
  }
  Render();
}
