// Anti-aliased lines: an 11-bit fixed-point walk along the major axis that blends the two
// pixels straddling the ideal line with an opacity of 1 − d², straight into the frame's rows.
#include "render/wu_line.h"

#include <atomic>

#include "render/wu_line_testing.h"
#include "render/wu_line_walk.h"
#include "scene/scene_model.h"

void DrawWuLinePortable(const FramePixels& frame, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                        uint8_t red, uint8_t green, uint8_t blue) {
  wu_line::PortableLines::Draw(frame, x1, y1, x2, y2, red, green, blue);
}

#ifdef KESTREL_HAVE_AVX2_PATH
[[gnu::target("avx2")]] void DrawWuLineAvx2(const FramePixels& frame, int32_t x1, int32_t y1,
                                            int32_t x2, int32_t y2, uint8_t red, uint8_t green,
                                            uint8_t blue) {
  wu_line::Avx2Lines::Draw(frame, x1, y1, x2, y2, red, green, blue);
}

bool ProcessorHasAvx2() {
  return __builtin_cpu_supports("avx2");
}
#else
void DrawWuLineAvx2(const FramePixels& frame, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                    uint8_t red, uint8_t green, uint8_t blue) {
  DrawWuLinePortable(frame, x1, y1, x2, y2, red, green, blue);
}

bool ProcessorHasAvx2() {
  return false;
}
#endif

namespace {
std::atomic<bool> g_avx2Allowed{true};
}

void AllowAvx2(bool allowed) {
  g_avx2Allowed = allowed;
}

bool UseAvx2() {
  static const bool present = ProcessorHasAvx2();
  return present && g_avx2Allowed.load(std::memory_order_relaxed);
}

LineDrawer ChosenLineDrawer() {
  return UseAvx2() ? DrawWuLineAvx2 : DrawWuLinePortable;
}

void TForm1::WuLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t r, uint8_t g,
                    uint8_t b) {
  ChosenLineDrawer()(FramePixels{ScanLines.data(), FrameBitmap.width(), FrameBitmap.height()}, x1,
                     y1, x2, y2, r, g, b);
}
