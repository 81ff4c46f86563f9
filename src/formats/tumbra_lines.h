// The meaning of the Tumbra format's lines: each switch and point line read into a scene off to
// the side. What a line does depends on the lines before it only through ParseState, so the
// lines of a file can also be read in pieces, each piece from the state the lines before it
// leave, and the pieces' scenes put together in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scene/scene_data.h"

namespace tumbra {

// What the lines read so far leave for the next one.
struct ParseState {
  // Half the last "circlediameter": the radius of point segments read from here on.
  double radius = 0;
  // A "whiteback" switch came before: segments read from here on take the white background's
  // default colour.
  bool whiteBack = false;
  // The point lines read so far: the index the next point gets in the whole model.
  int32_t points = 0;
};

enum class LineResult {
  Read,            // the line was read (empty and comment lines read as nothing)
  UnknownSwitch,   // a switch with another keyword, or too few values: reading goes on
  BadPointLine,    // the file is refused with "Error reading text file"
  BadSwitchValue,  // the file is refused with "Error reading switches in text file"
};

// Reads one line into `scene`. A point line appends its point (and its segment, whose indices
// count from the whole model's first point, state.points) to scene.Points and scene.Segments; a
// switch sets the scene's option, its centre or the state's radius. After BadPointLine or
// BadSwitchValue what the scene and the state hold is of no use: the file is refused whole.
LineResult ReadLine(std::string_view line, ParseState& state, SceneData& scene);

// Room made beforehand for the records of a run of lines: `points` and `segments` hold at least
// one record for each point line of the run; the counts say how many were written.
struct RecordRoom {
  PointRecord* points = nullptr;
  SegmentRecord* segments = nullptr;
  size_t pointCount = 0;
  size_t segmentCount = 0;
};

// ReadLine with a point line's records written into `room` instead: `options` takes only what
// the switches set (and CircleRadius), its arrays are left alone.
LineResult ReadLine(std::string_view line, ParseState& state, SceneData& options, RecordRoom& room);

}  // namespace tumbra
