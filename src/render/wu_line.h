// The anti-aliased line drawn straight into the frame's rows: what WuLine draws, for callers
// that hold the row table themselves (the renderer's drawing pass).
#pragma once

#include <cstdint>

#include "render/frame_pixels.h"

// Draws the line from (x1, y1) to (x2, y2) in the colour (red, green, blue) exactly as WuLine
// does: blended pixel pairs for sloping lines, the toolkit's plain pixels for horizontal and
// vertical ones, nothing outside the frame.
using LineDrawer = void (*)(const FramePixels& frame, int32_t x1, int32_t y1, int32_t x2,
                            int32_t y2, uint8_t red, uint8_t green, uint8_t blue);

// Blends one channel at a time in plain integer arithmetic; runs everywhere.
void DrawWuLinePortable(const FramePixels& frame, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                        uint8_t red, uint8_t green, uint8_t blue);

// Blends the three channels of both pixels of a step together with AVX2 integer arithmetic;
// the same pixels, to the bit. Only to be called where the processor has AVX2 (see below).
void DrawWuLineAvx2(const FramePixels& frame, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                    uint8_t red, uint8_t green, uint8_t blue);

bool ProcessorHasAvx2();

// Whether the AVX2 forms of the line and of the drawing pass run: where the processor has them,
// unless the tests have switched them off (wu_line_testing.h).
bool UseAvx2();

// The fastest of the two that may run.
LineDrawer ChosenLineDrawer();
