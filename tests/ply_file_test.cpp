// Our reader of binary little-endian PLY vertex lists: exactly the library's scene for every
// file it takes, and every other file left to the library.
#include "formats/ply_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

const MeshFormat kPly{"PLY", false};

// A vertex property: its type name in the header, and the bytes of a value.
struct Property {
  std::string type;
  std::string name;
};

std::string Header(const std::string& format, const std::vector<Property>& properties, size_t count,
                   const std::string& more = "") {
  std::string s = "ply\nformat " + format + " 1.0\ncomment test\nelement vertex " +
                  std::to_string(count) + "\n";
  for (const Property& p : properties) s += "property " + p.type + " " + p.name + "\n";
  return s + more + "end_header\n";
}

template <class T>
void Put(std::string& s, T v) {
  char b[sizeof v];
  std::memcpy(b, &v, sizeof v);
  s.append(b, sizeof v);
}

// The value of property `name` for vertex k, written in `type`.
void PutValue(std::string& s, const std::string& type, const std::string& name, int k) {
  const double v = name == "x"   ? k * 1.5 - 3
                   : name == "y" ? 7 - k * 0.25
                   : name == "z" ? (k % 3) - 1.0
                                 : k * 40 % 256;
  if (type == "float" || type == "float32")
    Put(s, static_cast<float>(v));
  else if (type == "double" || type == "float64")
    Put(s, v);
  else if (type == "uchar" || type == "uint8")
    Put(s, static_cast<uint8_t>(v));
  else if (type == "short")
    Put(s, static_cast<int16_t>(v));
  else if (type == "int")
    Put(s, static_cast<int32_t>(v));
  else
    ADD_FAILURE() << type;
}

std::string Body(const std::vector<Property>& properties, size_t count) {
  std::string s;
  for (size_t k = 0; k < count; ++k) {
    for (const Property& p : properties) PutValue(s, p.type, p.name, static_cast<int>(k));
  }
  return s;
}

struct Comparable {
  std::vector<std::array<double, 3>> points;
  std::vector<std::array<int64_t, 5>> segments;  // kind, first, second, colour, radius
  std::vector<std::string> memo;
  bool operator==(const Comparable&) const = default;
};

Comparable Of(const SceneData& s) {
  Comparable c;
  for (const PointRecord& p : s.Points) c.points.push_back({p.Pos.x, p.Pos.y, p.Pos.z});
  for (const SegmentRecord& g : s.Segments) {
    c.segments.push_back({g.Kind, g.First, g.Second, g.Colour, static_cast<int64_t>(g.Radius)});
  }
  c.memo = s.CommentLines;
  return c;
}

const std::vector<Property> kXyz{{"float", "x"}, {"float", "y"}, {"float", "z"}};
const std::vector<Property> kXyzRgb{{"float", "x"},   {"float", "y"},     {"float", "z"},
                                    {"uchar", "red"}, {"uchar", "green"}, {"uchar", "blue"}};

TEST(PlyVertexList, TakesWhatItFullyUnderstandsAndGivesTheLibrarysScene) {
  const std::vector<std::vector<Property>> layouts{
      kXyz,
      kXyzRgb,
      {{"double", "x"}, {"double", "y"}, {"double", "z"}},
      // Other scalar properties before, between and after are stepped over.
      {{"float", "nx"},
       {"float32", "x"},
       {"uchar", "blue"},
       {"float32", "y"},
       {"float32", "z"},
       {"uint8", "red"},
       {"short", "intensity"},
       {"uchar", "green"},
       {"uchar", "alpha"},
       {"double", "quality"}},
      {{"float64", "z"}, {"float64", "y"}, {"float64", "x"}},
  };
  ScratchDir dir;
  for (size_t l = 0; l < layouts.size(); ++l) {
    for (const std::string& more :
         {std::string(), std::string("element face 0\n"
                                     "property list uchar int vertex_indices\n")}) {
      // 100,000 vertices: more than a megabyte, read in pieces that cut vertices in two.
      for (const size_t count : {9, 100000}) {
        const std::string path =
            dir.Write("cloud.ply", Header("binary_little_endian", layouts[l], count, more) +
                                       Body(layouts[l], count));
        const std::optional<SceneData> ours = ReadPlyVertexList(path, kPly);
        ASSERT_TRUE(ours.has_value()) << l;
        EXPECT_EQ(ours->Points.size(), count);
        EXPECT_EQ(Of(*ours), Of(ReadPlyWithLibrary(path, kPly))) << l << ", " << count;
        EXPECT_EQ(Of(ReadPlyFile(path, kPly)), Of(*ours)) << l;
      }
    }
  }
}

TEST(PlyVertexList, LeavesEveryOtherFileToTheLibrary) {
  const std::string le = "binary_little_endian";
  const std::string face = "element face 1\nproperty list uchar int vertex_indices\n";
  std::string triangle;
  Put(triangle, uint8_t{3});
  for (int32_t i : {0, 1, 2}) Put(triangle, i);
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"text", Header("ascii", kXyz, 1) + "1 2 3\n"},
      {"big-endian", Header("binary_big_endian", kXyz, 1) + std::string(12, '\0')},
      {"faces", Header(le, kXyz, 3, face) + Body(kXyz, 3) + triangle},
      {"a list among the vertex properties",
       Header(le, {{"float", "x"}, {"float", "y"}, {"float", "z"}, {"list uchar int", "n"}}, 1) +
           Body(kXyz, 1) + std::string(1, '\0')},
      {"colours as reals", Header(le,
                                  {{"float", "x"},
                                   {"float", "y"},
                                   {"float", "z"},
                                   {"float", "red"},
                                   {"float", "green"},
                                   {"float", "blue"}},
                                  1) +
                               std::string(24, '\0')},
      {"colours named r, g and b",
       Header(le, {{"float", "x"}, {"float", "y"}, {"float", "z"}, {"uchar", "r"}, {"uchar", "g"},
                   {"uchar", "b"}}, 1) + std::string(15, '\0')},
      {"an alpha without colours",
       Header(le, {{"float", "x"}, {"float", "y"}, {"float", "z"}, {"uchar", "alpha"}}, 1) +
           std::string(13, '\0')},
      {"only some colours",
       Header(le, {{"float", "x"}, {"float", "y"}, {"float", "z"}, {"uchar", "red"}}, 1) +
           std::string(13, '\0')},
      {"whole-number positions",
       Header(le, {{"int", "x"}, {"int", "y"}, {"int", "z"}}, 1) + std::string(12, '\0')},
      {"float and double positions",
       Header(le, {{"float", "x"}, {"double", "y"}, {"float", "z"}}, 1) + std::string(16, '\0')},
      {"a second x",
       Header(le, {{"float", "x"}, {"float", "x"}, {"float", "y"}, {"float", "z"}}, 1) +
           std::string(16, '\0')},
      {"no z", Header(le, {{"float", "x"}, {"float", "y"}}, 1) + std::string(8, '\0')},
      {"bytes after the last vertex", Header(le, kXyz, 1) + std::string(13, '\0')},
      {"no vertices", Header(le, kXyz, 0)},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.Write("other.ply", c.bytes);
    EXPECT_FALSE(ReadPlyVertexList(path, kPly).has_value()) << c.what;
  }
  // The library reads the one with faces.
  const SceneData scene = ReadPlyFile(dir.Write("faces.ply", cases[2].bytes), kPly);
  EXPECT_EQ(scene.CommentLines[2], "3 points, 3 lines, 0 dots");
}

// Before the library sees it: it loops for ever on some damaged headers.
TEST(PlyFile, RefusesAHeaderThatIsNotOneToItsEnd) {
  const struct {
    std::string bytes;
    std::string reason;
  } cases[] = {
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\npropertyer\nend_header\n",
       "line 5 of its header is not one a PLY header holds: \"propertyer\""},
      {"ply\nformat ascii 2.0\nend_header\n",
       "line 2 of its header is not one a PLY header holds: \"format ascii 2.0\""},
      {"ply\nformat ascii 1.0\nelement vertex many\nend_header\n",
       "line 3 of its header is not one a PLY header holds: \"element vertex many\""},
      {"ply\nformat ascii 1.0\nproperty float x\nend_header\n",
       "line 3 of its header is not one a PLY header holds: \"property float x\""},
      {"ply\nformat ascii 1.0\nelement face 1\nproperty list float int i\nend_header\n",
       "line 4 of its header is not one a PLY header holds: \"property list float int i\""},
      {"ply\nelement vertex 0\nend_header\n", "its header names no format"},
      {"plyCCC\nformat ascii 1.0\nend_header\n", "its first line is not \"ply\""},
      {"solid x\nendsolid x\n", "its first line is not \"ply\""},
      {"ply\nformat binary_little_endian 1.0\nelement vertex 1\n",
       "its header has no end_header line"},
      {"ply\nformat ascii 1.0\n" + std::string(70000, ' '),
       "its header does not end within its first 65536 bytes"},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.Write("bad.ply", c.bytes);
    try {
      ReadPlyFile(path, kPly);
      ADD_FAILURE() << c.bytes;
    } catch (const KestrelError& e) {
      EXPECT_EQ(e.what(), "The PLY file \"" + path + "\" is damaged: " + c.reason);
    }
  }
}

TEST(PlyVertexList, RefusesAPositionThatIsNotFiniteAsTheLibraryDoes) {
  ScratchDir dir;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::string header = Header("binary_little_endian", kXyz, 100000);
  // Vertex 1's y; the z of the vertex the first megabyte ends in, read in two pieces.
  const size_t cut = ((size_t{1} << 20) - header.size()) / 12;
  for (const size_t vertex : {size_t{1}, cut}) {
    std::string body = Body(kXyz, 100000);
    std::memcpy(body.data() + 12 * vertex + (vertex == 1 ? 4 : 8), &nan, 4);
    const std::string path = dir.Write("nan.ply", header + body);
    const std::string expected = "The PLY file \"" + path + "\" is damaged: vertex " +
                                 std::to_string(vertex) + " is not at a finite position";
    for (int reader = 0; reader < 2; ++reader) {
      try {
        if (reader == 0) ReadPlyVertexList(path, kPly);
        if (reader == 1) ReadMeshFile(path, kPly);
        ADD_FAILURE() << "read by " << reader;
      } catch (const KestrelError& e) {
        EXPECT_EQ(e.what(), expected) << reader;
      }
    }
  }
}

// The library alone takes a line feed that starts a binary body for part of the header's line
// end and reads every value a byte late; every reader here reads such a file as it stands.
TEST(PlyFile, ABodyStartingWithALineFeedIsReadAsItStands) {
  const std::string face = "element face 1\nproperty list uchar int vertex_indices\n";
  const struct {
    const char* what;
    bool bigEndian;
    std::string more;  // the elements after the vertices, with their bytes
    std::string lineEnd;
  } cases[] = {
      {"a vertex list", false, "", "\n"},
      {"a vertex list, CR LF", false, "", "\r\n"},
      {"faces", false, face, "\n"},
      {"big-endian faces", true, face, "\n"},
      {"big-endian faces, CR LF", true, face, "\r\n"},
  };
  // Each float's bytes as the file holds them: the first one's first byte a line feed.
  const uint32_t bits[9] = {0x0a3f800aU, 0x40000000U, 0x40400000U, 0x40800000U, 0x40a00000U,
                            0x40c00000U, 0x40e00000U, 0x41000000U, 0x41100000U};
  ScratchDir dir;
  for (const auto& c : cases) {
    std::string header = Header(c.bigEndian ? "binary_big_endian" : "binary_little_endian", kXyz,
                                3, c.more.empty() ? "" : c.more);
    header.replace(header.size() - 1, 1, c.lineEnd);
    std::string body;
    for (uint32_t b : bits) {
      if (c.bigEndian) b = __builtin_bswap32(b);
      Put(body, b);
    }
    if (!c.more.empty()) {
      Put(body, uint8_t{3});
      for (int32_t i : {0, 1, 2}) Put(body, c.bigEndian ? __builtin_bswap32(i) : i);
    }
    ASSERT_EQ(c.bigEndian ? body[3] : body[0], '\n');
    const std::string path = dir.Write("lf.ply", header + body);
    for (const SceneData& scene : {ReadPlyFile(path, kPly), ReadPlyWithLibrary(path, kPly)}) {
      std::vector<float> read;
      for (const PointRecord& p : scene.Points) {
        for (double v : {p.Pos.x, p.Pos.y, p.Pos.z}) read.push_back(static_cast<float>(v));
      }
      std::vector<float> written(9);
      std::memcpy(written.data(), bits, sizeof bits);
      std::sort(read.begin(), read.end());
      std::sort(written.begin(), written.end());
      EXPECT_EQ(read, written) << c.what;
    }
  }
}

}  // namespace
