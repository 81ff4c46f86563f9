// Text point clouds: separators, layouts, headers, colour scales, the .pts count line, the
// number grammar under any locale, and each refusal's message.
#include "formats/point_cloud.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "formats/tumbra_syntax.h"
#include "locale_guard.h"
#include "scene/colour_codes.h"
#include "test_support.h"

namespace {

constexpr uint32_t kWhite = MakeColor(255, 255, 255);
const PointCloudFormat kXyz{"XYZ point cloud", false};
const PointCloudFormat kPts{"PTS point cloud", true};

struct Point {
  std::array<double, 3> at;
  uint32_t colour;
  bool operator==(const Point&) const = default;
};

void PrintTo(const Point& p, std::ostream* os) {
  *os << "(" << p.at[0] << ", " << p.at[1] << ", " << p.at[2] << ") colour " << std::hex << p.colour
      << std::dec;
}

uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return MakeColor(b, g, r);
}

// The points in the order the scene holds them (ascending z, as every case below lists them),
// each with the colour of its dot; checks that every point has exactly one dot, a single
// pixel.
std::vector<Point> PointsOf(const SceneData& scene) {
  std::vector<Point> points;
  for (const PointRecord& p : scene.Points) points.push_back({{p.Pos.x, p.Pos.y, p.Pos.z}, 0});
  std::vector<int> dots(points.size(), 0);
  EXPECT_EQ(scene.Segments.size(), points.size());
  for (const SegmentRecord& s : scene.Segments) {
    EXPECT_NE(s.Kind, 0);
    EXPECT_EQ(s.Radius, 0);
    if (s.First < 0 || static_cast<size_t>(s.First) >= points.size()) {
      ADD_FAILURE() << "a dot on no point";
      continue;
    }
    ++dots[s.First];
    points[s.First].colour = s.Colour;
  }
  for (int n : dots) EXPECT_EQ(n, 1);
  return points;
}

struct Case {
  const char* text;
  const PointCloudFormat* format;
  std::vector<Point> points;
};

TEST(PointCloud, ReadsEveryLayout) {
  const Case cases[] = {
      {"1 2 3\n4 5 6\n", &kXyz, {{{1, 2, 3}, kWhite}, {{4, 5, 6}, kWhite}}},
      {"1,2,3\n4, 5 ,6,\n", &kXyz, {{{1, 2, 3}, kWhite}, {{4, 5, 6}, kWhite}}},
      {"1;2;3\r\n4\t5\t6\r", &kXyz, {{{1, 2, 3}, kWhite}, {{4, 5, 6}, kWhite}}},
      // Blank lines and "#" lines anywhere; a fourth column (an intensity) is left alone.
      {"# scan\n\n  \t\n1 2 3 0.7\n# more\n", &kXyz, {{{1, 2, 3}, kWhite}}},
      {"+1 .5 -2e1\n1. -0 2E-3\n", &kXyz, {{{1, 0.5, -20}, kWhite}, {{1, -0.0, 0.002}, kWhite}}},
      // Colours from 0 to 255, halves rounded to even, columns past the sixth left alone.
      {"0 0 0 255 128 0 9\n1 1 1 0.5 1.5 2.5\n",
       &kXyz,
       {{{0, 0, 0}, Rgb(255, 128, 0)}, {{1, 1, 1}, Rgb(0, 2, 2)}}},
      // ... or from 0 to 1, when no colour value of the file is above 1.
      {"0 0 0 1 0.5 0\n1 1 1 0 0 1\n",
       &kXyz,
       {{{0, 0, 0}, Rgb(255, 128, 0)}, {{1, 1, 1}, Rgb(0, 0, 255)}}},
      {"0 0 0 1 0.5 0\n1 1 1 0 0 2\n",
       &kXyz,
       {{{0, 0, 0}, Rgb(1, 0, 0)}, {{1, 1, 1}, Rgb(0, 0, 2)}}},
      // The first point line decides the layout for the whole file.
      {"1 2 3\n4 5 6 7 8 9\n", &kXyz, {{{1, 2, 3}, kWhite}, {{4, 5, 6}, kWhite}}},
      // A header names the columns, in any order and letter case.
      {"x,y,z,red,green,blue\n1,2,3,10,20,30\n", &kXyz, {{{1, 2, 3}, Rgb(10, 20, 30)}}},
      {"Z Y X B G R\n3 2 1 30 20 10\n", &kXyz, {{{1, 2, 3}, Rgb(10, 20, 30)}}},
      {"//X,Y,Z,Intensity,R,G,B\n1,2,3,-900,10,20,30\n", &kXyz, {{{1, 2, 3}, Rgb(10, 20, 30)}}},
      {"x y z red\n1 2 3 200\n", &kXyz, {{{1, 2, 3}, kWhite}}},
      // A .pts file: the count line, and seven columns are x y z intensity r g b.
      {"2\n1 2 3\n4 5 6\n", &kPts, {{{1, 2, 3}, kWhite}, {{4, 5, 6}, kWhite}}},
      {"1\n1 2 3 -500 10 20 30\n", &kPts, {{{1, 2, 3}, Rgb(10, 20, 30)}}},
      {"1 2 3 -500 10 20 30\n", &kPts, {{{1, 2, 3}, Rgb(10, 20, 30)}}},
      {"1 2 3 4 5 6 7\n", &kXyz, {{{1, 2, 3}, Rgb(4, 5, 6)}}},
  };
  for (const Case& c : cases) {
    const SceneData scene = ParsePointCloud(c.text, "cloud.xyz", *c.format);
    EXPECT_EQ(PointsOf(scene), c.points) << c.text;
    const size_t n = c.points.size();
    EXPECT_EQ(scene.CommentLines,
              (std::vector<std::string>{"cloud.xyz", std::string(c.format->name),
                                        std::to_string(n) + (n == 1 ? " point" : " points") +
                                            ", 0 lines, " + std::to_string(n) +
                                            (n == 1 ? " dot" : " dots")}))
        << c.text;
  }
}

TEST(PointCloud, EachRefusalNamesTheFileLineAndColumn) {
  const struct {
    const char* text;
    const PointCloudFormat* format;
    const char* reason;
  } cases[] = {
      {"1 2 3\n1 2 abc\n", &kXyz, "line 2, column 3 is not a number: \"abc\""},
      {"1,,3\n", &kXyz, "line 1, column 2 is not a number: \"\""},
      {"1 2 3\ninf 0 0\n", &kXyz, "line 2, column 1 is not a number: \"inf\""},
      {"1e999 0 0\n", &kXyz, "line 1, column 1 is not a number: \"1e999\""},
      {"1 2\n", &kXyz, "line 1 has 2 columns, where every point has 3"},
      {"1 2 3 4 5 6\n\n1 2 3\n", &kXyz, "line 3 has 3 columns, where every point has 6"},
      {"1\n1 2 3\n", &kXyz, "line 1 has 1 column, where every point has 3"},
      {"0 0 0 300 0 0\n", &kXyz, "line 1, column 4 is not a colour value from 0 to 255: \"300\""},
      {"0 0 0 0 -1 0\n", &kXyz, "line 1, column 5 is not a colour value from 0 to 255: \"-1\""},
      {"x y q\n1 2 3\n", &kXyz,
       "line 1 is neither numbers nor a header naming the columns x, y and z"},
      {"x y z\nx y z\n", &kXyz, "line 2, column 1 is not a number: \"x\""},
      {"", &kXyz, "it holds no points"},
      {"# nothing\n\n", &kXyz, "it holds no points"},
      {"5\n", &kPts, "it holds no points"},
      {"1 2 3 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa 0 0\n", &kXyz,
       "line 1, column 4 is not a number: \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa…\""},
  };
  for (const auto& c : cases) {
    try {
      ParsePointCloud(c.text, "bad.xyz", *c.format);
      ADD_FAILURE() << c.text << " was read";
    } catch (const KestrelError& e) {
      EXPECT_EQ(e.what(),
                "The " + std::string(c.format->name) + " file \"bad.xyz\" is damaged: " + c.reason)
          << c.text;
    }
  }
}

// Numbers read as the project's grammar reads them, to the bit, whatever their form (the
// common ones take a quicker path) and whatever the locale.
TEST(PointCloud, NumbersAreTheGrammarsToTheBit) {
  std::mt19937_64 random(15);
  std::vector<std::string> numbers;
  const char* forms[] = {"%.0f", "%.3f", "%.6f", "%.9f", "%.15f", "%.17g", "%.3e", "%.20f"};
  for (int k = 0; k < 6000; ++k) {
    const double magnitude = std::ldexp(static_cast<double>(random() >> 11), -40 + k % 64);
    const double value = (random() & 1) ? -magnitude : magnitude;
    char text[128];
    std::snprintf(text, sizeof text, forms[k % 8], value);
    numbers.push_back(text);
  }
  for (const char* special :
       {"0", "-0", "+7", ".5", "5.", "9007199254740993", "0.1", "123456789012345678",
        "1234567890123456789.5", "0.0000000000000000000000001", "4.35", "-1.7976931348623157"}) {
    numbers.push_back(special);
  }
  std::string text;
  for (size_t k = 0; k + 2 < numbers.size(); k += 3) {
    text += numbers[k] + " " + numbers[k + 1] + "," + numbers[k + 2] + "\n";
  }
  LocaleGuard comma("de_DE.UTF-8");
  ASSERT_TRUE(comma.Active());
  const SceneData scene = ParsePointCloud(text, "numbers.xyz", kXyz);
  // The points come in ascending z, equal z in file order.
  std::vector<std::array<double, 3>> expected(numbers.size() / 3);
  for (size_t k = 0; k < expected.size(); ++k) {
    for (int c = 0; c < 3; ++c) ASSERT_TRUE(tumbra::ParseReal(numbers[3 * k + c], expected[k][c]));
  }
  std::stable_sort(expected.begin(), expected.end(),
                   [](const auto& a, const auto& b) { return a[2] < b[2]; });
  ASSERT_EQ(scene.Points.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k) {
    const Vec3& p = scene.Points[k].Pos;
    const double got[3] = {p.x, p.y, p.z};
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(std::bit_cast<uint64_t>(got[c]), std::bit_cast<uint64_t>(expected[k][c])) << k;
    }
  }
}

// A file is read a megabyte at a time: lines cut between pieces, a CR LF parted by a piece's
// end, a line longer than a piece, and a bad line past the first megabyte read as the same text
// read whole reads them, line numbers included.
TEST(PointCloud, AFileReadInPiecesIsTheTextReadWhole) {
  constexpr size_t kPiece = size_t{1} << 20;
  const struct {
    const char* name;
    std::vector<std::string> ends;  // line k ends with ends[k % size]
  } kinds[] = {{"LF", {"\n"}}, {"CR LF", {"\r\n"}}, {"CR", {"\r"}}, {"mixed", {"\r\n", "\n", "\r"}}};
  ScratchDir dir;
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.name);
    const std::string& first = kind.ends[0];
    std::string text;
    for (size_t k = 0; text.size() < 3 * kPiece; ++k) {
      const std::string& lineEnd = kind.ends[k % kind.ends.size()];
      if (text.size() > kPiece - 200 && text.size() < kPiece) {
        // A comment whose line end's first byte is the first piece's last.
        text += "#" + std::string(kPiece - 2 - text.size(), 'c') + first;
        ASSERT_EQ(text[kPiece - 1], first[0]);
      } else if (k == 80000) {
        text += "# " + std::string(kPiece + kPiece / 2, 'l') + lineEnd;
      } else {
        text += std::to_string(k % 977) + ".25 -" + std::to_string(k) + " " +
                std::to_string(k % 13) + lineEnd;
      }
    }
    const std::string path = dir.Write("big.xyz", text);
    const SceneData whole = ParsePointCloud(text, path, kXyz);
    const SceneData pieces = ReadPointCloudFile(path, kXyz);
    EXPECT_EQ(PointsOf(pieces), PointsOf(whole));
    EXPECT_EQ(pieces.CommentLines, whole.CommentLines);

    const std::string bad = dir.Write("bad.xyz", text + "1 2 three" + first);
    std::string expected;
    try {
      ParsePointCloud(text + "1 2 three", bad, kXyz);
    } catch (const KestrelError& e) {
      expected = e.what();
    }
    EXPECT_NE(expected.find("column 3 is not a number"), std::string::npos) << expected;
    try {
      ReadPointCloudFile(bad, kXyz);
      ADD_FAILURE() << "read";
    } catch (const KestrelError& e) {
      EXPECT_EQ(e.what(), expected);
    }
  }
}

TEST(PointCloud, ReadsFilesAndOnlyRegularOnes) {
  ScratchDir dir;
  const std::string path = dir.Write("scan.csv", "x;y;z\r\n1;2;3\r\n4;5;6\r\n");
  const SceneData scene = ReadPointCloudFile(path, PointCloudFormat{"CSV point cloud", false});
  EXPECT_EQ(PointsOf(scene), (std::vector<Point>{{{1, 2, 3}, kWhite}, {{4, 5, 6}, kWhite}}));
  EXPECT_EQ(scene.CommentLines[0], "scan.csv");
  EXPECT_EQ(scene.CommentLines[1], "CSV point cloud");

  const std::string fifo = (dir.path() / "fifo.xyz").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string missing = (dir.path() / "missing.xyz").string();
  for (const auto& [p, reason] : {std::pair{fifo, "it is not a regular file"},
                                  std::pair{missing, "No such file or directory"}}) {
    try {
      ReadPointCloudFile(p, kXyz);
      ADD_FAILURE() << p << " was read";
    } catch (const KestrelError& e) {
      EXPECT_EQ(e.what(), "Cannot open file \"" + p + "\": " + reason);
    }
  }
}

}  // namespace
