// A whole scene read off to the side: what every reader fills before the shown model changes,
// and hands to TForm1::AdoptScene only once the whole file was read. A refused file therefore
// never touches the model, the memo, the options or the view.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scene/records.h"

struct SceneData {
  std::vector<PointRecord> Points;
  std::vector<SegmentRecord> Segments;
  // The memo's lines, saved with the scene.
  std::vector<std::string> CommentLines;
  // The largest radius of a point segment, never below 0.
  double CircleRadius = 0;

  // The six options, as a load shows them in their check boxes. A reader that sets none leaves
  // the defaults a Tumbra file without switches gives.
  bool AntiAlias = true;
  bool Fade = true;
  bool FlipZ = false;
  bool WhiteBack = false;
  bool FreeSpin = false;
  bool FillCircles = false;
  // False where the file has no fill-circles option (scene files of versions 0 and 1): the
  // option keeps its value.
  bool HasFillCircles = true;

  // A centre the file gives; otherwise the fit puts it in the middle of the points.
  Vec3 Centre{};
  bool CentreGiven = false;
};

// What a model of this size takes once shown, in bytes: its records, and the renderer's working
// copies of them (render/render_workspace.h: a depth and a screen position for each point; two
// sort keys, a moved copy of the record and a share of the sort's buckets for each segment). A
// reader asks for this much before it allocates anything for a file.
constexpr uint64_t SceneBytes(uint64_t points, uint64_t segments) {
  constexpr uint64_t kFramePerPoint = 16;
  constexpr uint64_t kFramePerSegment = 40 + sizeof(SegmentRecord);  // keys and buckets, a copy
  return points * (sizeof(PointRecord) + kFramePerPoint) +
         segments * (sizeof(SegmentRecord) + kFramePerSegment);
}

// What one comment line of `length` bytes takes: the string, and its text where the string
// cannot hold it within itself.
constexpr uint64_t CommentLineBytes(uint64_t length) {
  constexpr uint64_t kHeldWithin = 15;  // libstdc++'s short-string capacity
  return sizeof(std::string) + (length > kHeldWithin ? length + 1 : 0);
}
