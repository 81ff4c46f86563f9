// Saving and opening a native scene file of a million segments, whole and step by step.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "scene/headless_controls.h"
#include "scene/native_body.h"
#include "scene/scene_model.h"
#include "scene/zlib_stream.h"
#include "support/curve_scene.h"

namespace {

constexpr int32_t kPoints = 1000000;  // and 999,999 lines

struct Bench {
  HeadlessControls controls;
  TForm1 form{controls};
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kestrel-native-bench-" + std::to_string(getpid()));
  std::string path = (dir / "curve.ksl").string();
  Bench() {
    controls.Attach(&form);
    std::filesystem::create_directories(dir);
    MakeCurveScene(form, kPoints);
  }
  ~Bench() { std::filesystem::remove_all(dir); }
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

BENCHMARK(BM_SaveKslFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadKslFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_EncodeKslBody)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CompressBody)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DecompressBody)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DecodeKslBody)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
