// Opening other programs' files to their first frame: a binary STL file and an OBJ file of a
// million triangles, a binary PLY point cloud and a text XYZ point cloud of ten million points,
// generated here. A run reads the file, hands the scene to the form and draws the first
// 601x593 frame, as opening the file in the window does; each run is a child process of its
// own, so that its peak memory is its own. Beside the time it reports the peak memory growth
// against what the model's arrays, the file and the library's own import of it need.
//
//   import_bench                        all four kinds, five runs each (a few minutes)
//   import_bench KIND [COUNT] [RUNS]    one kind: stl, obj (COUNT triangles), ply, xyz
//                                       (COUNT points)
//   import_bench ply-library [COUNT]    the PLY cloud read by the library beside our reader
#include <assimp/scene.h>
#include <sys/resource.h>
#include <assimp/Importer.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "formats/file_kind.h"
#include "formats/mesh_import.h"
#include "formats/ply_file.h"
#include "scene/headless_controls.h"
#include "scene/scene_model.h"
#include "support/child_process.h"
#include "support/import_files.h"
#include "support/scratch_dir.h"

namespace {

constexpr int kWidth = 601;
constexpr int kHeight = 593;

using Clock = std::chrono::steady_clock;

struct Kind {
  const char* name;
  const char* extension;
  int64_t count;  // triangles or points
  double targetMs;
  void (*write)(const std::filesystem::path&, int64_t);
};

const Kind kKinds[] = {
    {"stl", ".stl", 1'000'000, 1000, WriteStlTorus},
    {"obj", ".obj", 1'000'000, 2000, WriteObjTorus},
    {"ply", ".ply", 10'000'000, 1500, WritePlyCloud},
    {"xyz", ".xyz", 10'000'000, 2500, WriteXyzCloud},
};

// What opening the file runs: the reader its extension's row names.
SceneData Read(const std::string& path) {
  const SceneFileType* type = SceneFileTypeOf(path);
  return type->read(path, type->name);
}

double PeakResidentMB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double Since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Run {
  double readMs = 0, adoptMs = 0, cpuMs = 0, readCpuMs = 0;
  double readPeakMB = 0, peakGrowthMB = 0, arraysMB = 0;
  int64_t points = 0, segments = 0;
  char failure[256] = {};
};

// Runs `work` in a child process of its own; a failure names itself in the result.
Run InChild(const std::function<void(Run&)>& work) {
  Run r;
  const bool finished = InChildProcess<Run>(r, [&](Run& filled) {
    try {
      work(filled);
    } catch (const std::exception& e) {
      std::snprintf(filled.failure, sizeof filled.failure, "%s", e.what());
    }
  });
  if (!finished) std::snprintf(r.failure, sizeof r.failure, "the run's process failed");
  return r;
}

// One open to the first frame, as the window opens the file.
Run OpenOnce(const std::string& path) {
  return InChild([&](Run& r) {
    const double residentAtStart = PeakResidentMB();
    HeadlessControls controls;
    TForm1 form(controls);
    controls.Attach(&form);
    form.FormResize(kWidth + FrameWidthAllowance, kHeight + FrameHeightAllowance);
    const double cpuAtStart = CpuMs();
    const auto start = Clock::now();
    SceneData scene = Read(path);
    r.readMs = Since(start);
    r.readCpuMs = CpuMs() - cpuAtStart;
    r.readPeakMB = PeakResidentMB() - residentAtStart;
    const auto adopt = Clock::now();
    form.AdoptScene(std::move(scene));
    r.adoptMs = Since(adopt);
    r.cpuMs = CpuMs() - cpuAtStart;
    r.peakGrowthMB = PeakResidentMB() - residentAtStart;
    r.arraysMB = static_cast<double>(form.Points.capacity() * sizeof(PointRecord) +
                                     form.Segments.capacity() * sizeof(SegmentRecord)) /
                 1048576.0;
    r.points = form.PointCount;
    r.segments = form.SegmentCount;
    if (!controls.Messages.empty()) {
      std::snprintf(r.failure, sizeof r.failure, "%s", controls.Messages.front().c_str());
    }
  });
}

// The library's own raw import of the file, alone: what it holds at its peak.
Run LibraryOnce(const std::string& path) {
  return InChild([&](Run& r) {
    const double residentAtStart = PeakResidentMB();
    const auto start = Clock::now();
    Assimp::Importer importer;
    if (importer.ReadFile(path, 0) == nullptr) {
      std::snprintf(r.failure, sizeof r.failure, "%s", importer.GetErrorString());
    }
    r.readMs = Since(start);
    r.peakGrowthMB = PeakResidentMB() - residentAtStart;
  });
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

bool Report(const Kind& kind, int64_t count, int runs) {
  ScratchDir folder;
  const std::filesystem::path file = folder.path() / (std::string("model") + kind.extension);
  kind.write(file, count);
  const double fileMB = static_cast<double>(std::filesystem::file_size(file)) / 1048576.0;
  std::vector<double> total, read, adopt, cpu, readCpu, readPeak, peak;
  Run last;
  for (int k = 0; k < runs; ++k) {
    last = OpenOnce(file.string());
    if (last.failure[0] != '\0') {
      std::printf("%s: %s\n", kind.name, last.failure);
      return false;
    }
    total.push_back(last.readMs + last.adoptMs);
    read.push_back(last.readMs);
    adopt.push_back(last.adoptMs);
    cpu.push_back(last.cpuMs);
    readCpu.push_back(last.readCpuMs);
    readPeak.push_back(last.readPeakMB);
    peak.push_back(last.peakGrowthMB);
  }
  // Our own readers hold nothing of the library's; the budget then has no share for it.
  const bool library = std::strcmp(kind.name, "stl") == 0 || std::strcmp(kind.name, "obj") == 0;
  const double libraryMB = library ? LibraryOnce(file.string()).peakGrowthMB : 0;
  const double budget = last.arraysMB + fileMB + libraryMB;
  const double medianTotal = Median(total);
  std::printf(
      "%s, %lld %s, %.1f MB: %lld points, %lld segments\n"
      "  opened to first frame %7.0f ms median (%.0f-%.0f), target <= %.0f ms: %s\n"
      "    read %.0f ms, fit and first frame %.0f ms; processor time %.0f ms (read %.0f ms)\n"
      "  peak memory growth to the end of the read %.0f MB median, budget %.0f MB (arrays "
      "%.0f + file %.0f + library %.0f): %s\n"
      "  peak memory growth with the first frame %.0f MB (the renderer's working arrays)\n",
      kind.name, static_cast<long long>(count),
      std::strcmp(kind.name, "stl") == 0 || std::strcmp(kind.name, "obj") == 0 ? "triangles"
                                                                               : "points",
      fileMB, static_cast<long long>(last.points), static_cast<long long>(last.segments),
      medianTotal, *std::min_element(total.begin(), total.end()),
      *std::max_element(total.begin(), total.end()), kind.targetMs,
      medianTotal <= kind.targetMs ? "met" : "NOT MET", Median(read), Median(adopt), Median(cpu), Median(readCpu),
      Median(readPeak), budget, last.arraysMB, fileMB, libraryMB,
      Median(readPeak) <= budget ? "met" : "NOT MET", Median(peak));
  std::fflush(stdout);
  return true;
}

// The same PLY cloud through the library's PLY reader and through ours: read only.
void CompareReaders(int64_t count, int runs) {
  ScratchDir folder;
  const std::filesystem::path file = folder.path() / "cloud.ply";
  WritePlyCloud(file, count);
  std::vector<double> ours, theirs;
  for (int k = 0; k < runs; ++k) {
    ours.push_back(InChild([&](Run& r) {
                     const auto start = Clock::now();
                     const auto scene = ReadPlyVertexList(file.string(), MeshFormat{"PLY", false});
                     r.readMs = Since(start);
                     if (!scene) std::snprintf(r.failure, sizeof r.failure, "not understood");
                   }).readMs);
    theirs.push_back(InChild([&](Run& r) {
                       const auto start = Clock::now();
                       ReadMeshFile(file.string(), MeshFormat{"PLY", false});
                       r.readMs = Since(start);
                     }).readMs);
  }
  std::printf(
      "PLY cloud of %lld points, read only: our reader %.0f ms, the library %.0f ms (%.1fx)\n",
      static_cast<long long>(count), Median(ours), Median(theirs), Median(theirs) / Median(ours));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "ply-library") == 0) {
    CompareReaders(argc >= 3 ? std::atoll(argv[2]) : 10'000'000, 3);
    return 0;
  }
  bool ok = true;
  for (const Kind& kind : kKinds) {
    if (argc >= 2 && std::strcmp(argv[1], kind.name) != 0) continue;
    const int64_t count = argc >= 3 ? std::atoll(argv[2]) : kind.count;
    const int runs = argc >= 4 ? std::atoi(argv[3]) : 5;
    ok = Report(kind, count, runs) && ok;
  }
  return ok ? 0 : 1;
}
