// How deep the depth sort's quicksort goes on the models people turn: the benchmark models and
// random models with many ties, from their file order and then frame after frame under small
// and large turns, mirrored and not. The quicksort's level limit must stay far above all of
// these; this prints the deepest level of each model beside log2 of its size and the limit.
//
//   sort_levels_bench
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "render/depth_sort_testing.h"
#include "scene/headless_controls.h"
#include "scene/scene_model.h"
#include "support/bench_models.h"

namespace {

// The depths the next frame's sort starts from: each segment's new Depth in the order the last
// frame left the segments.
std::vector<double> NextDepths(const TForm1& form) {
  std::vector<double> z(form.Points.size());
  for (size_t i = 0; i < z.size(); ++i) {
    Vec3 v;
    form.LookAt(Vec3{form.Points[i].Pos.x - form.Centre.x, form.Points[i].Pos.y - form.Centre.y,
                     form.Points[i].Pos.z - form.Centre.z},
                v);
    z[i] = v.z;
  }
  std::vector<double> depths;
  depths.reserve(form.Segments.size());
  for (const SegmentRecord& s : form.Segments) {
    depths.push_back(
        s.Kind != 0 ? z[static_cast<size_t>(s.First)]
                    : (z[static_cast<size_t>(s.First)] + z[static_cast<size_t>(s.Second)]) * 0.5);
  }
  return depths;
}

struct Deepest {
  int levels = 0;
  std::string when;
};

void Measure(const char* name, const std::function<void(TForm1&)>& make, Deepest& overall,
             double& worstRatio) {
  for (const bool flip : {false, true}) {
    HeadlessControls controls;
    TForm1 form(controls);
    controls.Attach(&form);
    form.FormResize(601 + FrameWidthAllowance, 593 + FrameHeightAllowance);
    make(form);
    form.FlipZ = flip;
    Deepest d;
    for (int frame = 0; frame < 40; ++frame) {
      if (frame > 0) {
        const double angle = frame % 10 == 0 ? 0.7 : 0.003;
        form.RotateCam(static_cast<uint8_t>(frame % 3), angle);
      }
      const int levels = QuicksortLevels(NextDepths(form));
      if (levels > d.levels) d = Deepest{levels, "frame " + std::to_string(frame)};
      form.Render();
    }
    const double log2n = std::log2(static_cast<double>(form.Segments.size()));
    std::printf("%-40s %s %9zu segments: deepest %4d levels (%s) = %.2f log2 n; limit %d\n", name,
                flip ? "flipped" : "       ", form.Segments.size(), d.levels, d.when.c_str(),
                d.levels / log2n, QuicksortLevelLimit(form.Segments.size()));
    std::fflush(stdout);
    worstRatio = std::max(worstRatio, d.levels / log2n);
    if (d.levels > overall.levels) overall = Deepest{d.levels, std::string(name) + ", " + d.when};
  }
}

}  // namespace

int main() {
  Deepest overall;
  double worstRatio = 0;
  Measure(
      "Lorenz curve", [](TForm1& f) { MakeLorenzCurve(f, 1'000'000); }, overall, worstRatio);
  Measure(
      "random lines, 8 colours", [](TForm1& f) { MakeRandomLines(f, 100'000, 2, 8); }, overall,
      worstRatio);
  Measure(
      "random lines", [](TForm1& f) { MakeRandomLines(f, 1'000'000, 5); }, overall, worstRatio);
  Measure(
      "dots", [](TForm1& f) { MakeDots(f, 1'000'000, 3); }, overall, worstRatio);
  Measure(
      "circles", [](TForm1& f) { MakeCircles(f, 100'000, 0.01, 4); }, overall, worstRatio);
  Measure(
      "torus grid 1000 x 1000", [](TForm1& f) { MakeTorusGrid(f, 1000, 1000); }, overall,
      worstRatio);
  Measure(
      "torus grid 100 x 100", [](TForm1& f) { MakeTorusGrid(f, 100, 100); }, overall, worstRatio);
  for (const int steps : {2, 3, 8, 64}) {
    for (const int32_t n : {1'000, 30'000, 300'000}) {
      const std::string name = "ties: " + std::to_string(steps) + " values an axis";
      Measure(
          name.c_str(), [&](TForm1& f) { MakeTiedModel(f, n, steps, 11 + steps); }, overall,
          worstRatio);
    }
  }
  std::printf("\ndeepest of all: %d levels (%s); at most %.2f log2 n\n", overall.levels,
              overall.when.c_str(), worstRatio);
  return 0;
}
