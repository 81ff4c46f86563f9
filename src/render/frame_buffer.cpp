// The frame: sizing it to the window, its row table, and copying it to the window.
//
// The frame stays a QImage in Format_RGB32 whether anti-aliasing is on or off (there is no
// display-dependent form to switch to). Qt keeps rows top-down, so entry y of ScanLines is
// simply the address of row y; its meaning (row y counted from the top) is the same as with
// bottom-up storage. The fourth byte of each pixel is kept 0xFF, as RGB32 requires.
#include <cmath>
#include <limits>
#include <utility>

#include "scene/scene_model.h"
#include "view/framing.h"

namespace {

// Opaque black in RGB32.
constexpr uint32_t kBlack = 0xFF000000u;

// A side of the frame in device pixels, from the logical side the client area leaves it. At a
// ratio of 1 the side is the logical one, exactly.
int64_t DeviceSide(int64_t logical, double ratio) {
  const double side = std::nearbyint(static_cast<double>(logical) * ratio);
  if (!(side <= std::numeric_limits<int>::max())) throw KestrelError("Out of memory");
  return static_cast<int64_t>(side);
}

}  // namespace

void TForm1::FormResize(int32_t clientWidth, int32_t clientHeight) {
  try {
    const int64_t logicalW = int64_t{clientWidth} - FrameWidthAllowance;
    const int64_t logicalH = int64_t{clientHeight} - FrameHeightAllowance;
    if (logicalW < 0 || logicalH < 0) {
      // No room for a frame at all: an empty one, nothing drawn and nothing to complain
      // about; the cleared client area drops the picture of the last size. Zoom is kept.
      ScanLines.clear();
      FrameBitmap = QImage(0, 0, QImage::Format_RGB32);
      FrameRect = TRect{0, 0, 0, 0};
      controls_.ClearClientArea();
      return;
    }
    const int64_t w = DeviceSide(logicalW, CheckedPixelRatio());
    const int64_t h = DeviceSide(logicalH, CheckedPixelRatio());
    if (FrameBitmap.width() != w || FrameBitmap.height() != h) {
      QImage resized(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
      // Qt answers a size it cannot allocate with a null image instead of throwing; the old
      // frame and its table then stay as they were.
      if (resized.isNull() && w > 0 && h > 0) throw KestrelError(kOutOfMemoryText);
      // The old storage goes with the old image: the table must not outlive it.
      ScanLines.clear();
      FrameBitmap = std::move(resized);
    }
    FrameRect = TRect{0, 0, FrameBitmap.width(), FrameBitmap.height()};
    ScanLines.assign(static_cast<size_t>(FrameBitmap.height()), nullptr);
    // With anti-aliasing on, a frame without a row is an error here. With it off nothing
    // reads the table, but the frame has no other form to switch back from, so we keep the
    // table valid whenever there are rows to address: turning anti-aliasing on later then
    // needs no rebuild.
    if (AntiAlias || !FrameBitmap.isNull()) PopulateScanlines();
    FrameBitmap.fill(kBlack);
    controls_.ClearClientArea();
    if (NoModel) {
      BlitBitmap();
      return;
    }
    FitScaleToFrame(*this);
    Render();
  } catch (const std::exception& e) {
    controls_.ShowMessage("Error sizing form", e.what());
  }
}

void TForm1::PopulateScanlines() {
  // A frame without a row, or with rows of no pixels, has nothing a row address could name.
  if (FrameBitmap.width() <= 0 || FrameBitmap.height() <= 0) {
    throw KestrelError("Scan line index out of range");
  }
  if (FrameBitmap.format() != QImage::Format_RGB32) {
    throw KestrelError("The frame is not in its 32-bit form");
  }
  // Exactly one entry per row, whatever length the table had: no entry may name a row the
  // frame does not have.
  ScanLines.resize(static_cast<size_t>(FrameBitmap.height()));
  // bits() detaches first, so the table addresses storage this frame alone owns.
  uint8_t* row = FrameBitmap.bits();
  const qsizetype stride = FrameBitmap.bytesPerLine();
  for (uint8_t*& entry : ScanLines) {
    entry = row;
    row += stride;
  }
}

void TForm1::BlitBitmap() {
  controls_.PresentFrame(FrameBitmap, FrameLeft, 0);
  // A window that keeps a shallow copy to repaint from now shares our storage, and Qt would
  // move ours on the next write through the image, leaving the row table pointing into the
  // window's copy. Take our own storage now and point the table at it.
  if (FrameBitmap.isNull() || FrameBitmap.isDetached()) return;
  FrameBitmap.detach();
  if (FrameBitmap.isNull()) {
    // The copy could not be allocated: no frame, and no row to address.
    ScanLines.clear();
    FrameRect = TRect{0, 0, 0, 0};
  } else if (!ScanLines.empty()) {
    PopulateScanlines();
  }
}

void TForm1::FormPaint() {
  BlitBitmap();
}
