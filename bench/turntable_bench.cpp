// Turntable benchmark. First the bunny's 120-frame 601x593 MP4 made by the command itself, as a
// user runs it (median, fastest and slowest of five runs; wall and CPU time). Then, for a
// 1,000,000-segment Lorenz curve, where the time of each format goes: drawing the frames
// (the renderer, with the turntable's return to the starting order) against encoding them,
// and the final write; beside it the same frames drawn as a steady turn draws them, for what
// the return to the starting order costs.
// Usage: turntable_bench [FRAMES_OF_THE_LARGE_MODEL]   (default 24)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/turntable.h"
#include "formats/video/video_writer.h"
#include "scene/headless_controls.h"
#include "scene/scene_model.h"
#include "support/bench_models.h"

namespace {

constexpr int kWidth = 601;
constexpr int kHeight = 593;
constexpr int kRuns = 5;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

double CpuSeconds(const rusage& u) {
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Runs the command; its wall and CPU time (all its threads).
bool TimeCommand(const std::vector<std::string>& args, double& wall, double& cpu) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return false;
  wall = Seconds(Clock::now() - start);
  cpu = CpuSeconds(usage);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Spread {
  double median, min, max;
};

Spread SpreadOf(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return Spread{v[v.size() / 2], v.front(), v.back()};
}

int BunnyMp4(const std::filesystem::path& folder) {
  const std::string out = (folder / "bunny.mp4").string();
  std::vector<double> walls, cpus;
  for (int run = 0; run < kRuns; ++run) {
    double wall = 0, cpu = 0;
    if (!TimeCommand({KESTREL_RENDER_PATH, KESTREL_SOURCE_DIR "/examples/bunny.tmb", "-o", out,
                      "--turntable", "120"},
                     wall, cpu)) {
      std::fprintf(stderr, "kestrel-render failed\n");
      return 1;
    }
    walls.push_back(wall);
    cpus.push_back(cpu);
  }
  const Spread wall = SpreadOf(walls), cpu = SpreadOf(cpus);
  std::printf(
      "bunny, 120 frames 601x593 to MP4 (target <= 3 s): %.2f s (%.2f-%.2f), CPU %.2f s "
      "(%.2f-%.2f), %ju bytes\n",
      wall.median, wall.min, wall.max, cpu.median, cpu.min, cpu.max,
      static_cast<uintmax_t>(std::filesystem::file_size(out)));
  return 0;
}

struct LargeModel {
  HeadlessControls controls;
  TForm1 form{controls};
  LargeModel() {
    controls.Attach(&form);
    form.FormResize(kWidth + FrameWidthAllowance, kHeight + FrameHeightAllowance);
    MakeLorenzCurve(form, 1000001);
    form.Render();  // as the load leaves it
  }
};

// The frames of a steady turn, each sorted from the order the one before left.
double SteadyDrawing(int frames) {
  LargeModel m;
  const auto start = Clock::now();
  for (int k = 0; k < frames; ++k) {
    m.form.RotateCam(1, 2 * 3.14159265358979 / frames);
    m.form.Render();
  }
  return Seconds(Clock::now() - start);
}

int LargeModelSplit(const std::filesystem::path& folder, int frames) {
  std::printf("1,000,000-segment Lorenz curve, %d frames 601x593:\n", frames);
  std::printf("  steady turn, drawing only: %.1f ms a frame\n",
              1000 * SteadyDrawing(frames) / frames);
  for (const char* name : {"large.mp4", "large.webm", "large.gif"}) {
    LargeModel m;
    const std::string out = (folder / name).string();
    const auto start = Clock::now();
    VideoWriter writer(out, {*VideoFormatOf(out), m.form.FrameBitmap.size(), 30, 0xFF000000});
    Clock::duration encoding{};
    const bool drawn = DrawTurntable(m.form, m.controls, frames, TurnAxis::Vertical,
                                     [&](int, const QImage& frame) {
                                       const auto before = Clock::now();
                                       writer.AddFrame(frame);
                                       encoding += Clock::now() - before;
                                     });
    const auto drawnAt = Clock::now();
    writer.Finish();
    const auto end = Clock::now();
    if (!drawn) {
      std::fprintf(stderr, "a frame failed\n");
      return 1;
    }
    const double drawing = Seconds(drawnAt - start) - Seconds(encoding);
    const double total = Seconds(end - start);
    const double finish = Seconds(end - drawnAt);
    std::printf(
        "  %-10s drawing %6.1f ms a frame (%4.1f %%), encoding %6.1f ms a frame (%4.1f %%), "
        "final write %6.0f ms (%4.1f %%); %ju bytes\n",
        name, 1000 * drawing / frames, 100 * drawing / total, 1000 * Seconds(encoding) / frames,
        100 * Seconds(encoding) / total, 1000 * finish, 100 * finish / total,
        static_cast<uintmax_t>(std::filesystem::file_size(out)));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 24;
  if (frames < 1) {
    std::fprintf(stderr, "usage: turntable_bench [FRAMES_OF_THE_LARGE_MODEL]\n");
    return 2;
  }
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("kestrel-turntable-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  int status = BunnyMp4(folder);
  if (status == 0) status = LargeModelSplit(folder, frames);
  std::filesystem::remove_all(folder);
  return status;
}
