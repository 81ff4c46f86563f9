// Molecules read by their own program: the scene crosses the pipe whole and exactly, damaged
// pipe bytes are refused, the reader's scene and messages are the ones reading in-process gives,
// and a reader that cannot run or ends badly is said to have done so.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "formats/molecule_file.h"
#include "formats/molecule_process.h"
#include "formats/molecule_process_testing.h"
#include "formats/scene_pipe.h"
#include "scene/error.h"
#include "support/scratch_dir.h"

namespace {

void ExpectSameScene(const SceneData& a, const SceneData& b) {
  ASSERT_EQ(a.Points.size(), b.Points.size());
  for (size_t i = 0; i < a.Points.size(); ++i) {
    const PointRecord &p = a.Points[i], &q = b.Points[i];
    EXPECT_TRUE(p.Pos.x == q.Pos.x && p.Pos.y == q.Pos.y && p.Pos.z == q.Pos.z &&
                p.View.x == q.View.x && p.View.y == q.View.y && p.View.z == q.View.z &&
                p.ScreenX == q.ScreenX && p.ScreenY == q.ScreenY)
        << "point " << i;
  }
  ASSERT_EQ(a.Segments.size(), b.Segments.size());
  for (size_t i = 0; i < a.Segments.size(); ++i) {
    const SegmentRecord &s = a.Segments[i], &t = b.Segments[i];
    EXPECT_TRUE(s.Kind == t.Kind && s.Radius == t.Radius && s.Colour == t.Colour &&
                s.First == t.First && s.Second == t.Second && s.Depth == t.Depth)
        << "segment " << i;
  }
  EXPECT_EQ(a.CommentLines, b.CommentLines);
  EXPECT_EQ(a.CircleRadius, b.CircleRadius);
  EXPECT_EQ(a.AntiAlias, b.AntiAlias);
  EXPECT_EQ(a.Fade, b.Fade);
  EXPECT_EQ(a.FlipZ, b.FlipZ);
  EXPECT_EQ(a.WhiteBack, b.WhiteBack);
  EXPECT_EQ(a.FreeSpin, b.FreeSpin);
  EXPECT_EQ(a.FillCircles, b.FillCircles);
  EXPECT_EQ(a.HasFillCircles, b.HasFillCircles);
  EXPECT_EQ(a.CentreGiven, b.CentreGiven);
  EXPECT_TRUE(a.Centre.x == b.Centre.x && a.Centre.y == b.Centre.y && a.Centre.z == b.Centre.z);
}

SceneData SmallScene(int variant) {
  SceneData s;
  s.Points = {{{1.5, -2.25, 1e-300}, {0, 0, 0}, 0, 0}, {{-0.0, 3e10, 7}, {1, 2, 3}, 4, 5}};
  s.Segments = {{0, 0, 0xFF00FF, 0, 1, 0.5}, {1, 0.75, 0x123456, 1, 1, -2}};
  s.CommentLines = {"caffeine", "", std::string("with\0nul", 8), "C8H10N4O2"};
  s.CircleRadius = 0.75;
  s.AntiAlias = variant & 1;
  s.Fade = variant & 2;
  s.FlipZ = variant & 4;
  s.WhiteBack = variant & 8;
  s.FreeSpin = variant & 16;
  s.FillCircles = variant & 32;
  s.HasFillCircles = variant & 64;
  s.CentreGiven = variant & 128;
  s.Centre = {variant * 0.5, -1, 2};
  return s;
}

std::string Refusal(std::string_view bytes) {
  try {
    SceneFromPipeBytes(bytes, "x.pdb");
  } catch (const KestrelError& e) {
    return e.what();
  }
  return "read";
}

// Resets the reader program whatever way a test ends.
struct ReaderProgram {
  explicit ReaderProgram(const std::string& program) { SetMoleculeReaderForTesting(program); }
  ~ReaderProgram() { SetMoleculeReaderForTesting(""); }
};

std::string ReaderMessage(const std::string& fileName) {
  try {
    ReadMoleculeInReader(fileName);
  } catch (const KestrelError& e) {
    return e.what();
  }
  return "read";
}

const char kWaterSdf[] =
    "water\n  test\n\n  3  2  0  0  0  0  0  0  0  0999 V2000\n"
    "    0.0000    0.0000    0.1173 O   0  0  0  0  0  0  0  0  0  0  0  0\n"
    "    0.0000    0.7572   -0.4692 H   0  0  0  0  0  0  0  0  0  0  0  0\n"
    "    0.0000   -0.7572   -0.4692 H   0  0  0  0  0  0  0  0  0  0  0  0\n"
    "  1  2  1  0\n  1  3  1  0\nM  END\n$$$$\n";

}  // namespace

TEST(ScenePipe, EveryFieldCrossesExactly) {
  for (const int variant : {0, 1, 0x55, 0xAA, 0xFF}) {
    const SceneData sent = SmallScene(variant);
    ExpectSameScene(SceneFromPipeBytes(ScenePipeBytes(sent), "x.pdb"), sent);
  }
  ExpectSameScene(SceneFromPipeBytes(ScenePipeBytes(SceneData{}), "x.pdb"), SceneData{});
}

TEST(ScenePipe, AnythingButAWholeSceneIsRefused) {
  const std::string bytes = ScenePipeBytes(SmallScene(3));
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    EXPECT_EQ(Refusal(std::string_view(bytes).substr(0, cut)), "the reader's scene is cut short")
        << "cut at " << cut;
  }
  EXPECT_EQ(Refusal(bytes + "x"), "the reader's scene has bytes after its end");
  std::string renamed = bytes;
  renamed[0] = 'X';
  EXPECT_EQ(Refusal(renamed), "the reader's scene does not begin as one");
  // A count far beyond the bytes is refused before anything is made for it.
  std::string huge = bytes;
  const uint64_t points = uint64_t{1} << 60;
  std::memcpy(huge.data() + 8, &points, sizeof points);
  EXPECT_EQ(Refusal(huge), "the reader's scene is cut short");
}

TEST(MoleculeReader, GivesWhatReadingInProcessGives) {
  ScratchDir dir;
  const std::string caffeine = std::string(KESTREL_SOURCE_DIR) + "/examples/caffeine.sdf";
  ExpectSameScene(ReadMoleculeInReader(caffeine), ReadMolecule(caffeine));
  const std::string water = dir.Write("water.sdf", kWaterSdf);
  ExpectSameScene(ReadMoleculeInReader(water), ReadMolecule(water));
  // Refusals say what reading in-process says, whatever the reason.
  for (const auto& [name, text] : {std::pair<std::string, std::string>{"empty.pdb", ""},
                                   {"junk.sdf", "not a molecule\n"},
                                   {"count.xyz", "2\n\nC 0 0 0\n"}}) {
    const std::string path = dir.Write(name, text);
    std::string inProcess = "read";
    try {
      ReadMolecule(path);
    } catch (const KestrelError& e) {
      inProcess = e.what();
    }
    EXPECT_EQ(ReaderMessage(path), inProcess) << name;
  }
  EXPECT_EQ(ReaderMessage((dir.path() / "missing.sdf").string()),
            "Cannot open file \"" + (dir.path() / "missing.sdf").string() +
                "\": No such file or directory");
}

TEST(MoleculeReader, AReaderThatCannotRunOrEndsBadlyIsSaidToHave) {
  ScratchDir dir;
  const std::string water = dir.Write("water.sdf", kWaterSdf);
  const auto script = [&](const std::string& name, const std::string& body) {
    const std::string path = dir.Write(name, "#!/bin/sh\n" + body + "\n");
    chmod(path.c_str(), 0700);
    return path;
  };
  const std::string cannot = "Cannot read file \"" + water + "\": ";
  const struct {
    std::string program;
    std::string message;
  } cases[] = {
      {(dir.path() / "nowhere").string(),
       cannot + "the molecule reader cannot be run: No such file or directory"},
      {script("crash", "kill -SEGV $$"),
       cannot + "the molecule reader stopped on signal 11 (Segmentation fault)"},
      {script("status", "exit 4"), cannot + "the molecule reader ended with status 4"},
      {script("silent", "exit 1"), cannot + "the molecule reader ended with status 1"},
      {script("says", "printf 'The SDF file is damaged: no atoms'; exit 1"),
       "The SDF file is damaged: no atoms"},
      {script("garbage", "printf 'KSCENE01'"), cannot + "the reader's scene is cut short"},
  };
  for (const auto& c : cases) {
    ReaderProgram reader(c.program);
    EXPECT_EQ(ReaderMessage(water), c.message) << c.program;
  }
}
