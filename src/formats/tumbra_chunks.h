// The model lines of a Tumbra file read into a scene, on the worker pool where the file is large
// enough to be worth cutting into pieces.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/tumbra_lines.h"
#include "scene/scene_data.h"

class WorkerPool;

namespace tumbra {

struct ModelLinesResult {
  // The first line, in the file's order, that refuses the file (BadPointLine or
  // BadSwitchValue), or Read when none does.
  LineResult failure = LineResult::Read;
  // Whether an unrecognised switch came before that line (anywhere, when none failed).
  bool unknownSwitch = false;
  // How many did, and the first of them: its line, counted from 1, and its text.
  uint64_t unknownSwitches = 0;
  uint64_t firstUnknownLine = 0;
  std::string_view firstUnknownText;
  // The line that refuses the file, counted from 1, and its text.
  uint64_t failureLine = 0;
  std::string_view failureText;
};

// Reads every line of `text` into `scene`, whose arrays are empty, exactly as ReadLine reads
// them one after the other from the start of the file: the same records, options, centre and
// radius, and the same result, with any number of threads. `pointLines` is the number of point
// lines in `text` (PointLineCounter's count); room for that many points and segments is taken
// once. After a failure the scene is of no use.
ModelLinesResult ReadModelLines(std::string_view text, uint64_t pointLines, SceneData& scene,
                                WorkerPool& pool);

}  // namespace tumbra
