// The frame: sizing it to the window, its row table, and copying it to the window.
#include <algorithm>

#include "scene/scene_model.h"

void TForm1::FormResize(int32_t clientWidth, int32_t clientHeight) {
  try {
    const int64_t w = int64_t{clientWidth} - FrameWidthAllowance;
    const int64_t h = int64_t{clientHeight} - FrameHeightAllowance;
    if (w < 0 || h < 0) {
      // Too small for any frame: keep an empty one and draw nothing.
      FrameBitmap = QImage(0, 0, QImage::Format_RGB32);
      FrameRect = TRect{0, 0, 0, 0};
      ScanLines.clear();
      controls_.ClearClientArea();
      return;
    }
    if (FrameBitmap.width() != w || FrameBitmap.height() != h) {
      FrameBitmap = QImage(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
    }
    FrameRect = TRect{0, 0, FrameBitmap.width(), FrameBitmap.height()};
    ScanLines.assign(static_cast<size_t>(h), nullptr);
    if (AntiAlias) PopulateScanlines();
    FrameBitmap.fill(0xFF000000u);
    controls_.ClearClientArea();
    if (NoModel) {
      BlitBitmap();
      return;
    }
    if (ModelDiameter == 0.0f) throw KestrelError("division by zero");
    const int m = std::min(FrameBitmap.width(), FrameBitmap.height()) - FitMargin;
    Scale = m / static_cast<double>(ModelDiameter);
    InitialScale = Scale;
    Render();
  } catch (const std::exception&) {
    controls_.ShowMessage("Error sizing form");
  }
}

void TForm1::PopulateScanlines() {
  // A frame without pixels has no rows to address.
  if (FrameBitmap.isNull() || FrameBitmap.width() == 0 || FrameBitmap.height() == 0) {
    throw KestrelError("Scan line index out of range");
  }
  uint8_t* row = FrameBitmap.bits();
  const qsizetype stride = FrameBitmap.bytesPerLine();
  for (size_t y = 0; y < ScanLines.size(); ++y) {
    ScanLines[y] = row;
    row += stride;
  }
}

void TForm1::BlitBitmap() {
  controls_.PresentFrame(FrameBitmap, FrameLeft, 0);
}

void TForm1::FormPaint() {
  BlitBitmap();
}
