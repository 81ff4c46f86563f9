// The model lines of a Tumbra file read in pieces on two and three threads: the same scene,
// result and messages as reading them one after the other, whatever line a piece begins with
// (switches, comments, the first point line, a failing line).
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "formats/tumbra_chunks.h"
#include "formats/tumbra_chunks_testing.h"
#include "formats/tumbra_file.h"
#include "formats/tumbra_syntax.h"
#include "scene/headless_controls.h"
#include "scene/worker_pool.h"
#include "test_support.h"

namespace {

using tumbra::LineResult;
using tumbra::ModelLinesResult;

// Everything reading the lines gives, written out exactly; only the result after a failure,
// which leaves the scene of no use.
std::string Describe(const SceneData& s, const ModelLinesResult& r) {
  std::ostringstream o;
  o << std::hexfloat << "failure " << static_cast<int>(r.failure) << " at " << r.failureLine << ' '
    << r.failureText << " unknown " << r.unknownSwitch << ' ' << r.unknownSwitches << " first at "
    << r.firstUnknownLine << ' ' << r.firstUnknownText << '\n';
  if (r.failure != LineResult::Read) return o.str();
  for (const PointRecord& p : s.Points) {
    o << p.Pos.x << ' ' << p.Pos.y << ' ' << p.Pos.z << ' ' << p.View.x << ' ' << p.View.y << ' '
      << p.View.z << ' ' << p.ScreenX << ' ' << p.ScreenY << '\n';
  }
  for (const SegmentRecord& g : s.Segments) {
    o << int{g.Kind} << ' ' << g.Radius << ' ' << g.Colour << ' ' << g.First << ' ' << g.Second
      << ' ' << g.Depth << '\n';
  }
  o << "radius " << s.CircleRadius << " options " << s.AntiAlias << s.Fade << s.FlipZ << s.WhiteBack
    << s.FreeSpin << s.FillCircles << s.HasFillCircles << " centre " << s.CentreGiven << ' '
    << s.Centre.x << ' ' << s.Centre.y << ' ' << s.Centre.z << '\n';
  return o.str();
}

uint64_t PointLines(const std::string& text) {
  tumbra::PointLineCounter counter;
  counter.Add(text);
  return counter.PointLines();
}

std::string ReadWith(WorkerPool& pool, const std::string& text) {
  SceneData scene;
  const ModelLinesResult r = tumbra::ReadModelLines(text, PointLines(text), scene, pool);
  return Describe(scene, r);
}

struct ChunkGuard {
  ~ChunkGuard() { tumbra::SetSmallestChunk(0); }
};

// Reads `text` in order and on two and three threads with pieces from one byte (as many as
// the pool takes) to a few lines, and expects the same every time.
void ExpectSameInPieces(const std::string& text, const std::string& what) {
  ChunkGuard guard;
  WorkerPool one(1), two(2), three(3);
  const std::string expected = ReadWith(one, text);
  for (const size_t smallest : {1, 5, 13, 40}) {
    tumbra::SetSmallestChunk(smallest);
    for (WorkerPool* pool : {&two, &three}) {
      ASSERT_EQ(ReadWith(*pool, text), expected)
          << what << ", pieces from " << smallest << " bytes on " << pool->Threads() << " threads";
    }
  }
}

// Lines of every kind: the state they leave (radius, white background, the first point) is
// what a piece has to be given by the pieces before it.
const std::vector<std::string> kLineKinds = {
    "# a comment",
    "",
    "s circlediameter 0.5",
    "S CircleDiameter 2.25",
    "s whiteback",
    "s antialiasoff",
    "s fadeoff",
    "s flipz",
    "s freespin",
    "s fillcircles",
    "s center 1.5 2.5 -3.5",
    "s center 7 8 9",
    "s sparkle",
    "0.12345678901234567 -1.5 2 0",
    "1 2 3 1",
    "4 5 6 5",
    "-1 -2 -3 -4",
    "7 8 9 -255",
    "8 8 8 9",
    "1e3 2E-3 .5 3 200 100",
    "1 1 1 2 10 20",
    "2 2 2 -6 30 40 # comment",
    "3 3 3 65538",
};

TEST(TumbraChunks, FixedFilesReadTheSameInPieces) {
  const struct {
    const char* what;
    std::string text;
  } files[] = {
      {"switches before and between the points, CR LF ends",
       "# memo\r\n# more\r\ns circlediameter 0.4\r\n0 0 0 0\r\n1 0 0 1\r\n1 1 0 -3\r\n"
       "s whiteback\r\n2 2 2 12\r\n\r\n3 3 3 -9\r\ns circlediameter 3\r\n4 4 4 -1\r\n"
       "s center 1 2 3\r\n5 5 5 2 7 8\r\ns fadeoff\r\n6 6 6 6"},
      {"the first point line far into the file, with a line code",
       "# a\n# b\n\ns flipz\n# c\ns circlediameter 8\n\n\n\n# d\n\n5 5 5 3\n6 6 6 3\n7 7 7 -3\n"},
      {"lone CR line ends only", "# a\rs whiteback\r0 0 0 0\r1 1 1 1\r2 2 2 -2\r"},
      {"LF CR: two line ends", "0 0 0 0\n\r1 1 1 1\n\r\n\r2 2 2 2\n\r"},
      {"one point line, no line end", "1 2 3 -1"},
      {"an unknown switch late, once", "0 0 0 0\n1 1 1 1\n2 2 2 2\ns sparkle\n3 3 3 3\ns x\n"},
      {"a failing point line after an unknown switch",
       "0 0 0 0\ns sparkle\n1 1 1 1\n2 2 2\n3 3 3 3\n"},
      {"a failing switch value before an unknown switch",
       "0 0 0 0\ns circlediameter x\n1 1 1 1\ns sparkle\n3 3 3 3\n"},
      {"a failing point line after a failing switch", "0 0 0 0\ns center 1 2 z\n1 1\n"},
  };
  for (const auto& file : files) ExpectSameInPieces(file.text, file.what);
}

TEST(TumbraChunks, EveryLineFailingInTurnReadsTheSameInPieces) {
  // With pieces of a few bytes, each line of the file is the first of a piece in some run.
  std::string lines[] = {"# memo",      "s circlediameter 1", "0 0 0 0",     "1 1 1 1",
                         "s sparkle",   "2 2 2 -2",           "s whiteback", "3 3 3 3",
                         "4 4 4 4 9 9", "s circlediameter 5", "5 5 5 -5",    "6 6 6 6"};
  const size_t count = std::size(lines);
  for (size_t bad = 0; bad < count; ++bad) {
    for (const char* failing : {"1 2", "s circlediameter -"}) {
      std::string text;
      for (size_t i = 0; i < count; ++i) text += (i == bad ? failing : lines[i]) + "\n";
      ExpectSameInPieces(text, "line " + std::to_string(bad) + " made \"" + failing + "\"");
    }
  }
}

TEST(TumbraChunks, RandomFilesReadTheSameInPieces) {
  std::mt19937 rng(17);
  const char* const ends[] = {"\n", "\r\n", "\n", "\n"};
  for (int file = 0; file < 120; ++file) {
    std::string text;
    const int lineCount = 1 + static_cast<int>(rng() % 60);
    // Most files read whole; some have a point line or a switch value that refuses them.
    const bool failing = file % 4 == 3;
    const int bad = failing ? static_cast<int>(rng() % static_cast<unsigned>(lineCount)) : -1;
    for (int i = 0; i < lineCount; ++i) {
      if (i == bad) {
        text += rng() % 2 ? "1 2 x 3" : "s center 1 2";  // the second one too short: unknown
        text += rng() % 2 ? "" : "\ns circlediameter 1e999";
      } else {
        text += kLineKinds[rng() % kLineKinds.size()];
      }
      text += ends[rng() % std::size(ends)];
    }
    ExpectSameInPieces(text, "file " + std::to_string(file) + ":\n" + text);
  }
}

TEST(TumbraChunks, LargeFileOnTheProgramsOwnPieces) {
  // Several megabytes: cut by the program's own piece size, with switches in every piece.
  std::mt19937 rng(5);
  std::string text = "# large\ns circlediameter 0.25\n";
  for (int i = 0; i < 150000; ++i) {
    if (i % 9000 == 4500) text += i % 18000 ? "s whiteback\n" : "s circlediameter 3\n";
    const int code = static_cast<int>(rng() % 21) - 10;  // 7 to 10: the background's colour
    text += std::to_string(rng() % 100000 * 1e-5) + " 0.30000000000000004 " + std::to_string(i) +
            " " + std::to_string(code) + "\n";
  }
  ASSERT_GT(text.size(), size_t{4} << 20);
  WorkerPool one(1), two(2), three(3);
  const std::string expected = ReadWith(one, text);
  EXPECT_EQ(ReadWith(two, text), expected);
  EXPECT_EQ(ReadWith(three, text), expected);
}

// The messages as the load shows them: the unknown switch once, and only before a refusal that
// comes after it in the file.
TEST(TumbraChunks, MessagesComeInTheFilesOrderOnThreeThreads) {
  ChunkGuard guard;
  tumbra::SetSmallestChunk(1);
  ScratchDir dir;
  WorkerPool three(3);
  const struct {
    std::string text;
    std::vector<std::string> messages;
    bool read;
  } cases[] = {
      {"0 0 0 0\n1 1 1 1\n2 2 2 2\n3 3 3 3\ns sparkle\n4 4 4 4\ns glow\n5 5 5 5\n",
       {"unrecognized switch in text file"},
       true},
      {"0 0 0 0\ns sparkle\n1 1 1 1\n2 2 2 2\n3 3 3 3\n4 4\n5 5 5 5\n",
       {"unrecognized switch in text file", "Error reading text file"},
       false},
      {"0 0 0 0\n1 1 1 1\n2 2\n3 3 3 3\n4 4 4 4\ns sparkle\n5 5 5 5\n",
       {"Error reading text file"},
       false},
      {"0 0 0 0\n1 1 1 1\ns circlediameter ?\n3 3 3 3\n4 4 4\ns sparkle\n",
       {"Error reading switches in text file"},
       false},
  };
  for (const auto& c : cases) {
    HeadlessControls controls;
    const std::optional<SceneData> scene =
        ReadTumbraScene(dir.Write("m.tmb", c.text), controls, three);
    EXPECT_EQ(scene.has_value(), c.read) << c.text;
    EXPECT_EQ(controls.Messages, c.messages) << c.text;
  }
}

}  // namespace
