// A deterministic large model for the benchmarks: a closed knot drawn as one long polyline.
#pragma once

#include <cstdint>

class TForm1;

// Replaces the form's model with `points` points along a trefoil knot, joined in order by
// points − 1 lines in slowly changing colours, and two comment lines. The same on every run.
void MakeCurveScene(TForm1& form, int32_t points);
