// Shared by the import fuzz targets: what every scene a reader returns must hold, what every
// refusal must say, and what the window does next with an accepted scene.
#pragma once

#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>

#include "fuzz_support.h"
#include "scene/scene_data.h"

// At least one point, every position finite, every segment naming existing points, every dot
// a single pixel, and the memo's three lines; aborts (a finding) otherwise.
inline void CheckImportedScene(const SceneData& scene) {
  if (scene.Points.empty() || scene.CommentLines.size() != 3) std::abort();
  for (const PointRecord& p : scene.Points) {
    if (!std::isfinite(p.Pos.x) || !std::isfinite(p.Pos.y) || !std::isfinite(p.Pos.z)) {
      std::abort();
    }
  }
  const size_t n = scene.Points.size();
  for (const SegmentRecord& s : scene.Segments) {
    if (s.First < 0 || static_cast<size_t>(s.First) >= n) std::abort();
    if (s.Kind == 0 && (s.Second < 0 || static_cast<size_t>(s.Second) >= n)) std::abort();
    if (s.Kind != 0 && s.Radius != 0) std::abort();
  }
}

// A refusal names the file it refuses, in double quotes, in one of the readers' own forms,
// never as an allocator's or another library's bare words.
inline void CheckRefusal(const std::string& message, const std::string& path) {
  if (message.find("\"" + path + "\"") == std::string::npos) std::abort();
  for (const char* start :
       {"The ", "Cannot open file \"", "Cannot read file \"", "Not enough memory to open \""}) {
    if (message.starts_with(start)) return;
  }
  std::abort();
}

// Opens `scene` in a small form as the window would, draws it, turns it and draws it again.
inline void ShowImportedScene(SceneData&& scene) {
  FuzzForm f(40, 30);
  f.form.AdoptScene(std::move(scene));
  CheckModelInvariants(f.form);
  f.form.RotateCam(1, 0.5);
  f.form.Render();
}
