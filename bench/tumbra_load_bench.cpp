// Loading a large Tumbra file: one million point lines with 17-digit coordinates, about
// 60 MB. Times LoadTmbFile whole (read, parse, fit and the frame that ends it) and reports
// the peak resident memory beside the model's arrays and the file size. From the second run on
// the file is read beside the model the run before shown (a model is replaced only once the
// new one is whole), so the peak may reach the old model, the new one and the file together:
// budget_MB.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <filesystem>

#include "scene/headless_controls.h"
#include "scene/scene_data.h"
#include "scene/scene_model.h"
#include "support/scratch_dir.h"
#include "support/tumbra_model.h"

namespace {

double PeakResidentMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// Taken before main: the benchmark runs its function more than once, and the peak of an
// earlier run would hide the growth of a later one.
const double kResidentAtStart = PeakResidentMegabytes();

void BM_LoadTmbFile(benchmark::State& state) {
  ScratchDir folder;
  const std::filesystem::path file = folder.path() / "large.tmb";
  WriteTumbraModel(file, state.range(0));
  const double fileMegabytes = static_cast<double>(std::filesystem::file_size(file)) / 1048576.0;

  HeadlessControls controls;
  TForm1 form(controls);
  controls.Attach(&form);
  form.FormResize(800 + FrameWidthAllowance, 600 + FrameHeightAllowance);
  for (auto _ : state) {
    form.LoadTmbFile(file.string());
    benchmark::DoNotOptimize(form.Points.data());
  }
  if (!controls.Messages.empty()) {
    state.SkipWithError(controls.Messages.front().c_str());
    return;
  }
  const double modelMegabytes =
      static_cast<double>(form.Points.capacity() * sizeof(PointRecord) +
                          form.Segments.capacity() * sizeof(SegmentRecord)) /
      1048576.0;
  state.counters["file_MB"] = fileMegabytes;
  state.counters["model_MB"] = modelMegabytes;
  state.counters["peak_growth_MB"] = PeakResidentMegabytes() - kResidentAtStart;
  // A shown model: its records and the renderer's working copies of them.
  const double shownMegabytes =
      static_cast<double>(SceneBytes(static_cast<uint64_t>(form.PointCount),
                                     static_cast<uint64_t>(form.SegmentCount))) /
      1048576.0;
  state.counters["shown_MB"] = shownMegabytes;
  state.counters["budget_MB"] = 2 * shownMegabytes + fileMegabytes;
  state.counters["points"] = form.PointCount;
  state.counters["segments"] = form.SegmentCount;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(file)));
}

BENCHMARK(BM_LoadTmbFile)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
