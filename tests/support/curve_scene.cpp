// A deterministic large model for the benchmarks.
#include "support/curve_scene.h"

#include <cmath>
#include <numbers>

#include "scene/colour_codes.h"
#include "scene/scene_model.h"

void MakeCurveScene(TForm1& form, int32_t points) {
  form.CommentLines = {"Trefoil knot", "benchmark model"};
  form.Points.assign(static_cast<size_t>(points), PointRecord{});
  form.Segments.assign(points > 0 ? static_cast<size_t>(points - 1) : 0, SegmentRecord{});
  const double step = 2 * std::numbers::pi / points;
  for (int32_t i = 0; i < points; ++i) {
    const double t = i * step;
    form.Points[i].Pos = {std::sin(t) + 2 * std::sin(2 * t), std::cos(t) - 2 * std::cos(2 * t),
                          -std::sin(3 * t)};
    if (i == 0) continue;
    SegmentRecord& s = form.Segments[i - 1];
    s.Kind = 0;
    s.First = i - 1;
    s.Second = i;
    s.Colour = MakeColor(static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8),
                         static_cast<uint8_t>(i >> 16));
  }
  form.PointCount = points;
  form.SegmentCount = static_cast<int32_t>(form.Segments.size());
  form.Centre = {0, 0, 0};
}
