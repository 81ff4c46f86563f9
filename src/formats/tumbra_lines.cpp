// Switch and point lines of the Tumbra format.
#include "formats/tumbra_lines.h"

#include <algorithm>

#include "formats/prefault.h"
#include "formats/tumbra_syntax.h"
#include "scene/colour_codes.h"

namespace tumbra {

namespace {

bool BeginsWithHash(std::string_view column) {
  return !column.empty() && column.front() == '#';
}

// Where a point line's records go: appended to the scene's own arrays, or written into room
// made for them beforehand.
struct AppendToScene {
  SceneData& scene;
  void Add(const SegmentRecord& segment) {
    PrefaultAhead(scene.Segments);
    scene.Segments.push_back(segment);
  }
  void Add(const PointRecord& point) {
    PrefaultAhead(scene.Points);
    scene.Points.push_back(point);
  }
};
struct WriteToRoom {
  RecordRoom& room;
  void Add(const SegmentRecord& segment) { room.segments[room.segmentCount++] = segment; }
  void Add(const PointRecord& point) { room.points[room.pointCount++] = point; }
};

template <class Records>
LineResult ReadPointLine(std::string_view line, ParseState& state, SceneData& scene,
                         Records records) {
  ColumnCursor columns(line);
  // The file lists x, z, y.
  double x = 0;
  double y = 0;
  double z = 0;
  int32_t written = 0;
  if (!columns.NextReal(x) || !columns.NextReal(z) || !columns.NextReal(y) ||
      !columns.NextInteger(written)) {
    return LineResult::BadPointLine;
  }
  const int32_t index = state.points;
  // Only the low 16 bits count, read as a signed value (modulo 2^16, as C++20 defines it).
  const auto code = static_cast<int16_t>(static_cast<uint16_t>(written));
  // A line from the previous point has no start on the first point line. We read it as a plain
  // move (code 0): no segment, and its colour columns are not read, as for any move. So every
  // First and Second lies within Points.
  if (code != 0 && !(code > 0 && index == 0)) {
    const uint8_t red = LowByteOfMagnitude(code);
    uint32_t colour = 0;
    std::string_view greenColumn;
    std::string_view blueColumn;
    if (columns.Next(greenColumn) && columns.Next(blueColumn) && !BeginsWithHash(greenColumn) &&
        !BeginsWithHash(blueColumn)) {
      int32_t green = 0;
      int32_t blue = 0;
      if (!ParseInteger(greenColumn, green) || !ParseInteger(blueColumn, blue)) {
        return LineResult::BadPointLine;
      }
      colour = MakeColor(LowByteOfMagnitude(blue), LowByteOfMagnitude(green), red);
    } else {
      // The background in force now, as the switches read so far have left it.
      colour = CodeColour(red, state.whiteBack);
    }
    SegmentRecord segment{};
    segment.Colour = colour;
    if (code > 0) {
      segment.Kind = 0;
      segment.First = index - 1;
      segment.Second = index;
    } else {
      segment.Kind = 1;
      segment.First = index;
      segment.Radius = state.radius;
      scene.CircleRadius = std::max(scene.CircleRadius, state.radius);
    }
    records.Add(segment);
  }
  records.Add(PointRecord{Vec3{x, y, z}, Vec3{}, 0, 0});
  state.points = index + 1;
  return LineResult::Read;
}

LineResult ReadSwitchLine(std::string_view line, ParseState& state, SceneData& scene) {
  Columns columns;
  const int count = SplitColumns(line, columns);
  if (count < 2) return LineResult::Read;
  const std::string_view keyword = columns[1];
  if (EqualsIgnoringCase(keyword, "antialiasoff")) {
    scene.AntiAlias = false;
  } else if (EqualsIgnoringCase(keyword, "fadeoff")) {
    scene.Fade = false;
  } else if (EqualsIgnoringCase(keyword, "flipz")) {
    scene.FlipZ = true;
  } else if (EqualsIgnoringCase(keyword, "whiteback")) {
    scene.WhiteBack = true;
    state.whiteBack = true;
  } else if (EqualsIgnoringCase(keyword, "freespin")) {
    scene.FreeSpin = true;
  } else if (EqualsIgnoringCase(keyword, "fillcircles")) {
    scene.FillCircles = true;
  } else if (EqualsIgnoringCase(keyword, "circlediameter") && count >= 3) {
    double diameter = 0;
    if (!ParseReal(columns[2], diameter)) return LineResult::BadSwitchValue;
    state.radius = diameter * 0.5;
  } else if (EqualsIgnoringCase(keyword, "center") && count >= 5) {
    // The file lists x, z, y.
    Vec3 centre{};
    if (!ParseReal(columns[2], centre.x) || !ParseReal(columns[3], centre.z) ||
        !ParseReal(columns[4], centre.y)) {
      return LineResult::BadSwitchValue;
    }
    scene.Centre = centre;
    scene.CentreGiven = true;
  } else {
    return LineResult::UnknownSwitch;
  }
  return LineResult::Read;
}

template <class Records>
LineResult ReadAnyLine(std::string_view line, ParseState& state, SceneData& scene,
                       Records records) {
  switch (KindOf(line)) {
    case LineKind::Point:
      return ReadPointLine(line, state, scene, records);
    case LineKind::Switch:
      return ReadSwitchLine(line, state, scene);
    case LineKind::Empty:
    case LineKind::Comment:
      break;
  }
  return LineResult::Read;
}

}  // namespace

LineResult ReadLine(std::string_view line, ParseState& state, SceneData& scene) {
  return ReadAnyLine(line, state, scene, AppendToScene{scene});
}

LineResult ReadLine(std::string_view line, ParseState& state, SceneData& options,
                    RecordRoom& room) {
  return ReadAnyLine(line, state, options, WriteToRoom{room});
}

}  // namespace tumbra
