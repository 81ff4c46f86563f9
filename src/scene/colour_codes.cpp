// Colour codes of the Tumbra format.
#include "scene/colour_codes.h"

#include "scene/scene_model.h"

uint32_t TForm1::CodeToColor(uint8_t code) const {
  return CodeColour(code, WhiteBack);
}

uint32_t CodeColour(uint8_t code, bool whiteBack) {
  // The default follows the background: white lines on black, dark grey on white.
  const uint32_t fallback = whiteBack ? MakeColor(40, 40, 40) : MakeColor(255, 255, 255);
  switch (code) {
    case 1:
      return MakeColor(0, 0, 255);  // red
    case 2:
      return MakeColor(0, 255, 0);  // green
    case 3:
      return MakeColor(255, 0, 0);  // blue
    case 4:
      return MakeColor(0, 255, 255);  // yellow
    case 5:
      return MakeColor(255, 0, 255);  // magenta
    case 6:
      return MakeColor(255, 255, 0);  // cyan
    default:
      return fallback;
  }
}
