// Saving and opening a native scene file of a million segments, whole and step by step:
// median, mean, fastest and slowest of five runs of each.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "formats/deflate/deflate_level9.h"
#include "formats/native_body.h"
#include "formats/zlib_stream.h"
#include "scene/headless_controls.h"
#include "scene/scene_model.h"
#include "support/curve_scene.h"
#include "support/scratch_dir.h"

namespace {

constexpr int32_t kPoints = 1000000;  // and 999,999 lines

struct Bench {
  HeadlessControls controls;
  TForm1 form{controls};
  ScratchDir dir;
  std::string path = (dir.path() / "curve.ksl").string();
  Bench() {
    controls.Attach(&form);
    MakeCurveScene(form, kPoints);
  }
};

void BM_SaveKslFile(benchmark::State& state) {
  Bench b;
  for (auto _ : state) b.form.SaveKslFile(b.path);
  state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(b.path));
}

void BM_LoadKslFile(benchmark::State& state) {
  Bench b;
  b.form.SaveKslFile(b.path);
  for (auto _ : state) b.form.LoadKslFile(b.path);
  state.counters["segments"] = b.form.SegmentCount;
}

void BM_EncodeKslBody(benchmark::State& state) {
  Bench b;
  for (auto _ : state) benchmark::DoNotOptimize(EncodeKslBody(b.form));
}

void BM_CompressBody(benchmark::State& state) {
  Bench b;
  const std::vector<uint8_t> body = EncodeKslBody(b.form);
  for (auto _ : state) benchmark::DoNotOptimize(CompressStream(body, 9));
  state.counters["body_bytes"] = static_cast<double>(body.size());
}

// The rebuilt deflate alone: CompressBody less this is the check that unpacks its stream again.
void BM_DeflateLevel9Body(benchmark::State& state) {
  Bench b;
  const std::vector<uint8_t> body = EncodeKslBody(b.form);
  for (auto _ : state) benchmark::DoNotOptimize(DeflateLevel9(body));
}

void BM_DecompressBody(benchmark::State& state) {
  Bench b;
  const std::vector<uint8_t> packed = CompressStream(EncodeKslBody(b.form), 9);
  for (auto _ : state) benchmark::DoNotOptimize(DecompressStream(packed, kMaxKslBodyBytes));
}

void BM_DecodeKslBody(benchmark::State& state) {
  Bench b;
  const std::vector<uint8_t> body = EncodeKslBody(b.form);
  for (auto _ : state) benchmark::DoNotOptimize(DecodeKslBody(body, 24, 4));
}

}  // namespace

// Median, fastest and slowest of five runs of three.
void Register(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5)->ReportAggregatesOnly(true);
  b->ComputeStatistics(
      "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
  b->ComputeStatistics(
      "max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); });
}

BENCHMARK(BM_SaveKslFile)->Apply(Register);
BENCHMARK(BM_LoadKslFile)->Apply(Register);
BENCHMARK(BM_EncodeKslBody)->Apply(Register);
BENCHMARK(BM_CompressBody)->Apply(Register);
BENCHMARK(BM_DeflateLevel9Body)->Apply(Register);
BENCHMARK(BM_DecompressBody)->Apply(Register);
BENCHMARK(BM_DecodeKslBody)->Apply(Register);

BENCHMARK_MAIN();
