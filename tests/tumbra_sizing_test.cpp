// LoadTmbFile sizes the model's arrays once, from the line ends it counts as it reads the file:
// enough room for every point line whatever the line ends, and not much more.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

struct Sized {
  std::vector<Vec3> points;
  size_t pointCapacity = 0;
  size_t segmentCapacity = 0;
  size_t segments = 0;
};

// The file's lines joined by `end`, loaded; with `endAtEnd` the last line has an end too.
Sized LoadWithEnds(const std::vector<std::string>& lines, const std::string& end, bool endAtEnd) {
  FormFixture f;
  ScratchDir dir;
  f.form.FormResize(64 + FrameWidthAllowance, 48 + FrameHeightAllowance);
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    text += lines[i];
    if (i + 1 < lines.size() || endAtEnd) text += end;
  }
  f.form.LoadTmbFile(dir.Write("model.tmb", text));
  EXPECT_TRUE(f.controls.Messages.empty()) << f.controls.Messages.front();
  Sized s;
  for (const PointRecord& p : f.form.Points) s.points.push_back(p.Pos);
  s.pointCapacity = f.form.Points.capacity();
  s.segmentCapacity = f.form.Segments.capacity();
  s.segments = f.form.Segments.size();
  return s;
}

TEST(TumbraSizing, EveryKindOfLineEndGetsRoomForEveryPointAndLittleMore) {
  std::vector<std::string> lines = {"# sizing", "#", "", "s circlediameter 2"};
  for (int i = 0; i < 300; ++i) {
    lines.push_back(std::to_string(i) + " " + std::to_string(i % 7) + " 0.5 " +
                    std::to_string(i % 3 == 0 ? 0 : (i % 3 == 1 ? 1 : -1)));
    if (i % 50 == 0) lines.push_back("# a remark between points");
  }
  const size_t pointLines = 300;
  const Sized lf = LoadWithEnds(lines, "\n", true);
  ASSERT_EQ(lf.points.size(), pointLines);
  for (const std::string end : {"\n", "\r", "\r\n"}) {
    for (const bool endAtEnd : {false, true}) {
      const Sized s = LoadWithEnds(lines, end, endAtEnd);
      const std::string what = (end == "\r\n" ? "CR LF"
                                : end == "\r" ? "CR"
                                              : "LF") +
                               std::string(endAtEnd ? ", ended" : ", open");
      ASSERT_EQ(s.points.size(), pointLines) << what;
      for (size_t i = 0; i < pointLines; ++i) {
        ASSERT_EQ(s.points[i].x, lf.points[i].x) << what;
        ASSERT_EQ(s.points[i].z, lf.points[i].z) << what;
      }
      EXPECT_EQ(s.segments, lf.segments) << what;
      // Room for every point line, at most one more than the lines there are: a CR LF counts
      // as one end, not two.
      EXPECT_GE(s.pointCapacity, pointLines) << what;
      EXPECT_LE(s.pointCapacity, lines.size() + 1) << what;
      EXPECT_GE(s.segmentCapacity, s.segments) << what;
      EXPECT_LE(s.segmentCapacity, lines.size() + 1) << what;
    }
  }
  // Mixed ends in one file.
  std::string mixed;
  for (size_t i = 0; i < lines.size(); ++i)
    mixed += lines[i] + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\r" : "\n");
  FormFixture f;
  ScratchDir dir;
  f.form.FormResize(64 + FrameWidthAllowance, 48 + FrameHeightAllowance);
  f.form.LoadTmbFile(dir.Write("mixed.tmb", mixed));
  EXPECT_EQ(f.form.Points.size(), pointLines);
  EXPECT_LE(f.form.Points.capacity(), lines.size() + 1);
}

}  // namespace
