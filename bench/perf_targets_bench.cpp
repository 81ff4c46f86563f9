// The speed targets in one run: steady frames of the three large models, the largest Lorenz
// curve that still turns at 30 frames a second, the line drawing beside the toolkit's
// anti-aliased painter, the heap allocations of a steady frame, and the load of a large Tumbra
// file with its peak memory. Ends with a table of every figure beside its target.
//
//   perf_targets_bench                      everything (a few minutes)
//   perf_targets_bench frames MODEL N K     only K steady frames of MODEL (lorenz, lines,
//                                           dots) with N segments: for callgrind or perf
//   perf_targets_bench lines MODEL N K      only the line drawing beside the toolkit's, K times
//   perf_targets_bench load                 only one load of the large Tumbra file
#include <sys/resource.h>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "render/depth_fade.h"
#include "render/screen_geometry.h"
#include "scene/colour_codes.h"
#include "scene/error.h"
#include "scene/headless_controls.h"
#include "scene/scene_model.h"
#include "support/bench_models.h"
#include "support/child_process.h"
#include "support/counting_allocator.h"
#include "support/scratch_dir.h"
#include "support/tumbra_model.h"

namespace {

constexpr int kWidth = 601;
constexpr int kHeight = 593;
constexpr double kTurn = 0.003;  // radians per frame: one pixel of mouse drag
constexpr int kWarmFrames = 3;
constexpr int kTimedFrames = 15;

using Clock = std::chrono::steady_clock;

double Milliseconds(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Median with the smallest and largest of repeated measurements.
struct Spread {
  double median = 0, min = 0, max = 0;
};

Spread SpreadOf(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return Spread{v[v.size() / 2], v.front(), v.back()};
}

// A form with the benchmark frame, as the window would have it after a resize.
struct BenchForm {
  HeadlessControls controls;
  TForm1 form{controls};
  BenchForm() {
    controls.Attach(&form);
    form.FormResize(kWidth + FrameWidthAllowance, kHeight + FrameHeightAllowance);
  }
  void CheckQuiet(const char* what) const {
    if (!controls.Messages.empty()) {
      std::fprintf(stderr, "%s: %s\n", what, controls.Messages.front().c_str());
      std::exit(1);
    }
  }
};

// The first frame sorts from the generator's order; the warm frames bring the segments into
// the nearly sorted order a turning model keeps. Then every timed frame is one Render after a
// turn of kTurn, as a mouse drag of one pixel per frame gives.
Spread SteadyFrames(TForm1& form, int frames) {
  form.Render();
  for (int k = 0; k < kWarmFrames; ++k) {
    form.RotateCam(1, kTurn);
    form.Render();
  }
  std::vector<double> times;
  for (int k = 0; k < frames; ++k) {
    form.RotateCam(1, kTurn);
    times.push_back(Milliseconds([&] { form.Render(); }));
  }
  return SpreadOf(times);
}

enum class Model { Lorenz, Lines, Dots };

void MakeModel(TForm1& form, Model model, int32_t count) {
  switch (model) {
    case Model::Lorenz:
      MakeLorenzCurve(form, count + 1);  // count segments
      break;
    case Model::Lines:
      MakeRandomLines(form, count, 2, 8);
      break;
    case Model::Dots:
      MakeDots(form, count, 3);
      break;
  }
}

// The lines of the last frame exactly as the renderer hands them to WuLine: the visible line
// segments in painter's order, rounded, in their faded colours (black background).
struct PixelLineColour {
  PixelLine line;
  uint8_t red, green, blue;
};

std::vector<PixelLineColour> LinesOfFrame(const TForm1& form) {
  float zmin = ToSingle(form.Points[0].View.z), zmax = zmin;
  for (const PointRecord& p : form.Points) {
    if (p.View.z > zmax) zmax = ToSingle(p.View.z);
    if (p.View.z < zmin) zmin = ToSingle(p.View.z);
  }
  std::vector<PixelLineColour> lines;
  for (const SegmentRecord& s : form.Segments) {
    if (s.Kind != 0) continue;
    const PointRecord& a = form.Points[static_cast<size_t>(s.First)];
    const PointRecord& b = form.Points[static_cast<size_t>(s.Second)];
    if ((a.ScreenX < 0 && b.ScreenX < 0) || (a.ScreenX >= kWidth && b.ScreenX >= kWidth) ||
        (a.ScreenY < 0 && b.ScreenY < 0) || (a.ScreenY >= kHeight && b.ScreenY >= kHeight)) {
      continue;
    }
    const float f = FadeFactor(form.Fade, s.Depth, zmin, zmax);
    PixelLineColour l{};
    if (!RoundLine(a.ScreenX, a.ScreenY, b.ScreenX, b.ScreenY, kWidth, kHeight, l.line)) continue;
    l.red = FadeOnBlack(ColourRed(s.Colour), f);
    l.green = FadeOnBlack(ColourGreen(s.Colour), f);
    l.blue = FadeOnBlack(ColourBlue(s.Colour), f);
    lines.push_back(l);
  }
  return lines;
}

// The toolkit's best: anti-aliased, one drawLines call per run of equal colour.
struct ToolkitBatches {
  std::vector<QLine> lines;
  std::vector<std::pair<size_t, QColor>> runs;  // start of each run and its colour
};

ToolkitBatches BatchesOf(const std::vector<PixelLineColour>& lines) {
  ToolkitBatches b;
  for (const PixelLineColour& l : lines) {
    const QColor colour(l.red, l.green, l.blue);
    if (b.runs.empty() || b.runs.back().second != colour)
      b.runs.emplace_back(b.lines.size(), colour);
    b.lines.emplace_back(l.line.x1, l.line.y1, l.line.x2, l.line.y2);
  }
  return b;
}

struct LineRatio {
  size_t lines = 0;
  Spread kestrel, toolkit;
};

// Kestrel's lines and the toolkit's, drawn alternately into equal black frames, so that both
// see the same load on the machine.
LineRatio CompareLineDrawing(TForm1& form, int repeats) {
  const std::vector<PixelLineColour> lines = LinesOfFrame(form);
  const ToolkitBatches batches = BatchesOf(lines);
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  std::vector<double> ours, theirs;
  for (int r = 0; r < repeats; ++r) {
    form.FrameBitmap.fill(0xFF000000u);
    ours.push_back(Milliseconds([&] {
      for (const PixelLineColour& l : lines) {
        form.WuLine(l.line.x1, l.line.y1, l.line.x2, l.line.y2, l.red, l.green, l.blue);
      }
    }));
    image.fill(0xFF000000u);
    theirs.push_back(Milliseconds([&] {
      QPainter painter(&image);
      painter.setRenderHint(QPainter::Antialiasing);
      for (size_t k = 0; k < batches.runs.size(); ++k) {
        const size_t begin = batches.runs[k].first;
        const size_t end = k + 1 < batches.runs.size() ? batches.runs[k + 1].first : lines.size();
        painter.setPen(QPen(batches.runs[k].second, 1));
        painter.drawLines(batches.lines.data() + begin, static_cast<int>(end - begin));
      }
    }));
  }
  return LineRatio{lines.size(), SpreadOf(ours), SpreadOf(theirs)};
}

uint64_t SteadyFrameAllocations(TForm1& form) {
  form.RotateCam(1, kTurn);
  form.Render();
  form.RotateCam(1, kTurn);
  const uint64_t start = AllocationCount();
  form.Render();
  return AllocationCount() - start;
}

double PeakResidentMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

struct LoadFigures {
  Spread whole;         // LoadTmbFile at 601 × 593: read, parse, fit and the frame it ends with
  Spread tinyFrame;     // the same into a frame of one pixel, which leaves little to draw
  Spread withoutFrame;  // the whole load less its frame, drawn again on its own
  double fileMB = 0, modelMB = 0, peakGrowthMB = 0;
};

// The frame a load ends with, drawn on its own: a fresh form holding the model exactly as the
// reader leaves it before that frame (segments in file order, nothing projected yet), with the
// view and options the load set.
double FrameOfLoad(const TForm1& loaded) {
  BenchForm b;
  TForm1& f = b.form;
  f.NewView();
  f.Points = loaded.Points;
  for (PointRecord& p : f.Points) p = PointRecord{p.Pos, {}, 0, 0};
  f.Segments = loaded.Segments;
  // Every point line adds at most one segment, for its own point: a line ends there, a dot is
  // drawn there.
  std::sort(f.Segments.begin(), f.Segments.end(),
            [](const SegmentRecord& a, const SegmentRecord& b) {
              return (a.Kind == 0 ? a.Second : a.First) < (b.Kind == 0 ? b.Second : b.First);
            });
  for (SegmentRecord& s : f.Segments) s.Depth = 0;
  f.PointCount = loaded.PointCount;
  f.SegmentCount = loaded.SegmentCount;
  f.CircleRadius = loaded.CircleRadius;
  f.Centre = loaded.Centre;
  f.Scale = loaded.Scale;
  f.AntiAlias = loaded.AntiAlias;
  f.Fade = loaded.Fade;
  f.FlipZ = loaded.FlipZ;
  f.WhiteBack = loaded.WhiteBack;
  f.FillCircles = loaded.FillCircles;
  const double ms = Milliseconds([&] { f.Render(); });
  b.CheckQuiet("frame of the load");
  return ms;
}

// Runs in a child process of its own, so that its peak memory is its own.
LoadFigures MeasureLoad(int repeats) {
  LoadFigures f;
  const double residentAtStart = PeakResidentMegabytes();
  ScratchDir folder;
  const std::filesystem::path file = folder.path() / "large.tmb";
  WriteTumbraModel(file, 1'000'000);
  f.fileMB = static_cast<double>(std::filesystem::file_size(file)) / 1048576.0;
  std::vector<double> whole, tinyFrame, withoutFrame, frames;
  for (int r = 0; r < repeats; ++r) {
    BenchForm b;
    whole.push_back(Milliseconds([&] { b.form.LoadTmbFile(file.string()); }));
    b.CheckQuiet("load");
    f.modelMB = static_cast<double>(b.form.Points.capacity() * sizeof(PointRecord) +
                                    b.form.Segments.capacity() * sizeof(SegmentRecord)) /
                1048576.0;
  }
  // Taken before any copy of a model is made below.
  f.peakGrowthMB = PeakResidentMegabytes() - residentAtStart;
  for (int r = 0; r < repeats; ++r) {
    BenchForm b;
    b.form.FormResize(FrameWidthAllowance + 1, FrameHeightAllowance + 1);
    tinyFrame.push_back(Milliseconds([&] { b.form.LoadTmbFile(file.string()); }));
    b.CheckQuiet("load");
  }
  for (int r = 0; r < repeats; ++r) {
    BenchForm b;
    const double load = Milliseconds([&] { b.form.LoadTmbFile(file.string()); });
    b.CheckQuiet("load");
    withoutFrame.push_back(load - FrameOfLoad(b.form));
  }
  f.whole = SpreadOf(whole);
  f.tinyFrame = SpreadOf(tinyFrame);
  f.withoutFrame = SpreadOf(withoutFrame);
  return f;
}

LoadFigures MeasureLoadInChild(int repeats) {
  LoadFigures f;
  if (!InChildProcess<LoadFigures>(f,
                                   [&](LoadFigures& filled) { filled = MeasureLoad(repeats); })) {
    std::fprintf(stderr, "load measurement failed\n");
    std::exit(1);
  }
  return f;
}

// The largest Lorenz curve, in steps of 50,000 segments from 300,000, whose median steady
// frame stays within 33 ms. Also returns the median at 300,000.
int32_t LargestSmoothLorenz(double& at300k) {
  int32_t best = 0;
  for (int32_t n = 300'000; n <= 1'000'000; n += 50'000) {
    BenchForm b;
    MakeModel(b.form, Model::Lorenz, n);
    const Spread s = SteadyFrames(b.form, 9);
    b.CheckQuiet("lorenz");
    std::printf("  Lorenz %7d segments: %6.1f ms (%.1f-%.1f)\n", n, s.median, s.min, s.max);
    std::fflush(stdout);
    if (n == 300'000) at300k = s.median;
    if (s.median > 33.0) break;
    best = n;
  }
  return best;
}

Model ModelNamed(const char* name) {
  if (std::strcmp(name, "lines") == 0) return Model::Lines;
  if (std::strcmp(name, "dots") == 0) return Model::Dots;
  return Model::Lorenz;
}

int FramesOnly(const char* name, int32_t count, int frames) {
  BenchForm b;
  MakeModel(b.form, ModelNamed(name), count);
  const Spread s = SteadyFrames(b.form, frames);
  b.CheckQuiet(name);
  std::printf("%s %d: median %.1f ms (%.1f-%.1f)\n", name, count, s.median, s.min, s.max);
  return 0;
}

int LinesOnly(const char* name, int32_t count, int repeats) {
  BenchForm b;
  MakeModel(b.form, ModelNamed(name), count);
  SteadyFrames(b.form, 1);
  const LineRatio r = CompareLineDrawing(b.form, repeats);
  std::printf("%s %d, %zu lines: Kestrel %.1f ms (%.1f-%.1f), toolkit %.1f ms (%.1f-%.1f)\n", name,
              count, r.lines, r.kestrel.median, r.kestrel.min, r.kestrel.max, r.toolkit.median,
              r.toolkit.min, r.toolkit.max);
  return 0;
}

void PrintRow(const char* what, const Spread& s, const char* target, bool met) {
  std::printf("%-52s %8.1f %8.1f-%-8.1f %-14s %s\n", what, s.median, s.min, s.max, target,
              met ? "met" : "NOT MET");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "frames") == 0) {
    return FramesOnly(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  }
  if (argc == 2 && std::strcmp(argv[1], "load") == 0) {
    ScratchDir folder;
    const std::filesystem::path file = folder.path() / "large.tmb";
    WriteTumbraModel(file, 1'000'000);
    BenchForm b;
    const double ms = Milliseconds([&] { b.form.LoadTmbFile(file.string()); });
    b.CheckQuiet("load");
    std::printf("load %.1f ms\n", ms);
    return 0;
  }
  if (argc == 5 && std::strcmp(argv[1], "lines") == 0) {
    return LinesOnly(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  }
  std::printf(
      "Frames at %dx%d, anti-aliasing and fade on, camera turned %.3f rad a frame;\n"
      "median and min-max of %d frames after %d warm ones (ms)\n\n",
      kWidth, kHeight, kTurn, kTimedFrames, kWarmFrames);
  std::fflush(stdout);

  const LoadFigures load = MeasureLoadInChild(5);
  std::printf("load done\n");
  std::fflush(stdout);

  struct FrameRow {
    const char* name;
    Model model;
    int32_t count;
    double target;
    Spread frame;
    uint64_t allocations;
    LineRatio ratio;
  };
  FrameRow rows[] = {
      {"A: Lorenz curve, 999,999 lines", Model::Lorenz, 999'999, 100, {}, 0, {}},
      {"B: 100,000 random lines, 8 colours", Model::Lines, 100'000, 100, {}, 0, {}},
      {"C: 1,000,000 dots", Model::Dots, 1'000'000, 80, {}, 0, {}},
  };
  for (FrameRow& r : rows) {
    BenchForm b;
    MakeModel(b.form, r.model, r.count);
    r.frame = SteadyFrames(b.form, kTimedFrames);
    r.allocations = SteadyFrameAllocations(b.form);
    if (r.model != Model::Dots) r.ratio = CompareLineDrawing(b.form, 9);
    b.CheckQuiet(r.name);
    std::printf("%s done\n", r.name);
    std::fflush(stdout);
  }

  double at300k = 0;
  const int32_t largest = LargestSmoothLorenz(at300k);

  std::printf("\n%-52s %8s %17s %-14s %s\n", "target", "median", "min-max", "target", "");
  for (const FrameRow& r : rows) {
    char target[32];
    std::snprintf(target, sizeof target, "<= %.0f ms", r.target);
    PrintRow(r.name, r.frame, target, r.frame.median <= r.target);
  }
  PrintRow("Lorenz curve, 300,000 lines", Spread{at300k, at300k, at300k}, "<= 33 ms",
           at300k <= 33.0);
  std::printf("%-52s %8d %17s %-14s %s\n", "largest Lorenz curve within 33 ms (segments)", largest,
              "", ">= 300000", largest >= 300'000 ? "met" : "NOT MET");
  for (const FrameRow& r : rows) {
    if (r.ratio.lines == 0) continue;
    const double ratio = r.ratio.toolkit.median / r.ratio.kestrel.median;
    char what[96];
    std::snprintf(what, sizeof what, "lines of %.1s (%zu): Kestrel ms", r.name, r.ratio.lines);
    PrintRow(what, r.ratio.kestrel, "", true);
    std::snprintf(what, sizeof what, "lines of %.1s: toolkit AA, batched by colour, ms", r.name);
    PrintRow(what, r.ratio.toolkit, "", true);
    std::printf("%-52s %7.2fx %17s %-14s %s\n", "  toolkit / Kestrel (medians)", ratio, "", ">= 4x",
                ratio >= 4 ? "met" : "NOT MET");
  }
  for (const FrameRow& r : rows) {
    char what[96];
    std::snprintf(what, sizeof what, "allocations in a steady frame of %.1s", r.name);
    std::printf("%-52s %8llu %17s %-14s %s\n", what, static_cast<unsigned long long>(r.allocations),
                "", "0", r.allocations == 0 ? "met" : "NOT MET");
  }
  PrintRow("Tumbra load, 1,000,000 lines: read, parse, fit", load.withoutFrame, "<= 250 ms",
           load.withoutFrame.median <= 250);
  PrintRow("  the same load into a 1x1 frame", load.tinyFrame, "(see note)", true);
  PrintRow("  the same load with its 601x593 frame", load.whole, "(see note)", true);
  const double budget = 3 * load.modelMB + load.fileMB;
  std::printf("%-52s %8.1f %17s <= %-11.1f %s\n", "Tumbra load peak memory growth (MB)",
              load.peakGrowthMB, "", budget, load.peakGrowthMB <= budget ? "met" : "NOT MET");
  std::printf(
      "\nfile %.1f MB, model arrays %.1f MB. Read, parse, fit: the whole load less the frame it\n"
      "ends with, that frame drawn again on its own from the same model in file order. Into a\n"
      "1x1 frame the load also projects and sorts; with its 601x593 frame it also draws\n"
      "750,000 long random lines. Toolkit/Kestrel: the same lines in the same colours into\n"
      "equal images, drawn alternately.\n",
      load.fileMB, load.modelMB);
  return 0;
}
