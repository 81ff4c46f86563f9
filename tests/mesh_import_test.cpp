// Meshes through the library, one group per format: the same cube in each, written by the
// tests, with exact points, lines and colours; primitives, transforms and orientation; every
// failure's message; and the picture of each cube, and of one point cloud in every format that
// holds one, beside the same model as a Tumbra file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "formats/file_kind.h"
#include "formats/mesh_import.h"
#include "formats/off_file.h"
#include "formats/ply_file.h"
#include "formats/wire_builder.h"
#include "scene/colour_codes.h"
#include "test_support.h"

namespace {

constexpr uint32_t kWhite = MakeColor(255, 255, 255);

const MeshFormat kObj{"Wavefront OBJ", true};
const MeshFormat kPly{"PLY", false};
const MeshFormat kStl{"STL", false};
const MeshFormat kOff{"OFF", false};
const MeshFormat kGltf{"glTF", true};
const MeshFormat kDae{"COLLADA", true};

// What opening a file of each kind runs.
using Reader = std::function<SceneData(const std::string&)>;
const Reader kReadObj = [](const std::string& p) { return ReadMeshFile(p, kObj); };
const Reader kReadPly = [](const std::string& p) { return ReadPlyFile(p, kPly); };
const Reader kReadStl = [](const std::string& p) { return ReadMeshFile(p, kStl); };
const Reader kReadOff = [](const std::string& p) { return ReadOffFile(p, kOff); };
const Reader kReadGltf = [](const std::string& p) { return ReadMeshFile(p, kGltf); };
const Reader kReadDae = [](const std::string& p) { return ReadMeshFile(p, kDae); };

// ---------------------------------------------------------------------------------------------
// The cube, two units wide about the origin, corners numbered 1 to 8 as the files number them.

const Vec3 kCorners[8] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                          {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
const int kQuads[6][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {1, 2, 6, 5},
                          {2, 3, 7, 6}, {3, 4, 8, 7}, {4, 1, 5, 8}};

using Edge = std::pair<int, int>;
// Each edge once, as the faces first offer it, in that order and direction.
const std::vector<Edge> kQuadEdges{{1, 2}, {2, 3}, {3, 4}, {4, 1}, {5, 6}, {6, 7},
                                   {7, 8}, {8, 5}, {2, 6}, {5, 1}, {3, 7}, {4, 8}};
// The same with every quad a b c d split into the triangles a b c and a c d.
const std::vector<Edge> kTriangleEdges{{1, 2}, {2, 3}, {3, 1}, {3, 4}, {4, 1}, {5, 6},
                                       {6, 7}, {7, 5}, {7, 8}, {8, 5}, {2, 6}, {6, 1},
                                       {5, 1}, {3, 7}, {7, 2}, {4, 8}, {8, 3}, {5, 4}};

std::vector<std::array<int, 3>> Triangles() {
  std::vector<std::array<int, 3>> t;
  for (const auto& q : kQuads) {
    t.push_back({q[0], q[1], q[2]});
    t.push_back({q[0], q[2], q[3]});
  }
  return t;
}

std::string Number(double v) {
  std::string s = std::to_string(v);
  return s;
}

std::string CornerText(int c, const char* between = " ") {
  const Vec3& p = kCorners[c - 1];
  return Number(p.x) + between + Number(p.y) + between + Number(p.z);
}

class Bytes {
 public:
  template <class T>
  Bytes& Le(T v) {
    char b[sizeof v];
    std::memcpy(b, &v, sizeof v);  // the test machines are little-endian
    s_.append(b, sizeof v);
    return *this;
  }
  Bytes& Raw(const std::string& s) {
    s_ += s;
    return *this;
  }
  const std::string& str() const { return s_; }

 private:
  std::string s_;
};

std::string ObjCube(const std::string& material = "") {
  std::string s = material.empty() ? "" : "mtllib cube.mtl\nusemtl " + material + "\n";
  for (int c = 1; c <= 8; ++c) s += "v " + CornerText(c) + "\n";
  for (const auto& q : kQuads) {
    s += "f " + std::to_string(q[0]) + " " + std::to_string(q[1]) + " " + std::to_string(q[2]) +
         " " + std::to_string(q[3]) + "\n";
  }
  return s;
}

std::string OffCube() {
  std::string s = "OFF\n8 6 12\n";
  for (int c = 1; c <= 8; ++c) s += CornerText(c) + "\n";
  for (const auto& q : kQuads) {
    s += "4 " + std::to_string(q[0] - 1) + " " + std::to_string(q[1] - 1) + " " +
         std::to_string(q[2] - 1) + " " + std::to_string(q[3] - 1) + "\n";
  }
  return s;
}

// With `colours`, corner c has the colour red c·30, green 255 − c·30, blue c.
uint32_t CornerColour(int c) {
  return MakeColor(static_cast<uint8_t>(c), static_cast<uint8_t>(255 - c * 30),
                   static_cast<uint8_t>(c * 30));
}

std::string PlyCube(bool binary, bool colours) {
  std::string s = std::string("ply\nformat ") + (binary ? "binary_little_endian" : "ascii") +
                  " 1.0\ncomment cube\nelement vertex 8\nproperty float x\nproperty float y\n"
                  "property float z\n";
  if (colours) s += "property uchar red\nproperty uchar green\nproperty uchar blue\n";
  s += "element face 6\nproperty list uchar int vertex_indices\nend_header\n";
  Bytes b;
  b.Raw(s);
  for (int c = 1; c <= 8; ++c) {
    const Vec3& p = kCorners[c - 1];
    const uint8_t rgb[3] = {static_cast<uint8_t>(c * 30), static_cast<uint8_t>(255 - c * 30),
                            static_cast<uint8_t>(c)};
    if (binary) {
      b.Le(static_cast<float>(p.x)).Le(static_cast<float>(p.y)).Le(static_cast<float>(p.z));
      if (colours) b.Le(rgb[0]).Le(rgb[1]).Le(rgb[2]);
    } else {
      b.Raw(CornerText(c));
      if (colours) {
        for (uint8_t v : rgb) b.Raw(" ").Raw(std::to_string(v));
      }
      b.Raw("\n");
    }
  }
  for (const auto& q : kQuads) {
    if (binary) {
      b.Le(uint8_t{4});
      for (int k = 0; k < 4; ++k) b.Le(int32_t{q[k] - 1});
    } else {
      b.Raw("4 " + std::to_string(q[0] - 1) + " " + std::to_string(q[1] - 1) + " " +
            std::to_string(q[2] - 1) + " " + std::to_string(q[3] - 1) + "\n");
    }
  }
  return b.str();
}

std::string StlCube(bool binary) {
  const auto triangles = Triangles();
  if (!binary) {
    std::string s = "solid cube\n";
    for (const auto& t : triangles) {
      s += "facet normal 0 0 0\nouter loop\n";
      for (int c : t) s += "vertex " + CornerText(c) + "\n";
      s += "endloop\nendfacet\n";
    }
    return s + "endsolid cube\n";
  }
  Bytes b;
  b.Raw(std::string(80, ' ')).Le(static_cast<uint32_t>(triangles.size()));
  for (const auto& t : triangles) {
    b.Le(0.0f).Le(0.0f).Le(0.0f);
    for (int c : t) {
      const Vec3& p = kCorners[c - 1];
      b.Le(static_cast<float>(p.x)).Le(static_cast<float>(p.y)).Le(static_cast<float>(p.z));
    }
    b.Le(uint16_t{0});
  }
  return b.str();
}

// The cube's corners and triangles as one glTF buffer: 8 float positions, then 36 unsigned
// short indices.
std::string GltfBuffer() {
  Bytes b;
  for (const Vec3& p : kCorners) {
    b.Le(static_cast<float>(p.x)).Le(static_cast<float>(p.y)).Le(static_cast<float>(p.z));
  }
  for (const auto& t : Triangles()) {
    for (int c : t) b.Le(static_cast<uint16_t>(c - 1));
  }
  return b.str();
}

// A scene of one node naming the cube; `extra` goes into the document's top level.
std::string GltfJson(const std::string& bufferUri, const std::string& material = "") {
  const std::string uri = bufferUri.empty() ? "" : ",\"uri\":\"" + bufferUri + "\"";
  return "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],"
         "\"nodes\":[{\"mesh\":0}],"
         "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0},\"indices\":1" +
         std::string(material.empty() ? "" : ",\"material\":0") + "}]}]," +
         (material.empty() ? "" : "\"materials\":[" + material + "],") +
         "\"buffers\":[{\"byteLength\":168" + uri +
         "}],"
         "\"bufferViews\":[{\"buffer\":0,\"byteLength\":96},"
         "{\"buffer\":0,\"byteOffset\":96,\"byteLength\":72}],"
         "\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":8,\"type\":\"VEC3\","
         "\"min\":[-1,-1,-1],\"max\":[1,1,1]},"
         "{\"bufferView\":1,\"componentType\":5123,\"count\":36,\"type\":\"SCALAR\"}]}";
}

std::string GltfCube(const std::string& material = "") {
  const QByteArray buffer = QByteArray::fromStdString(GltfBuffer()).toBase64();
  return GltfJson("data:application/octet-stream;base64," + buffer.toStdString(), material);
}

std::string GlbCube() {
  std::string json = GltfJson("");
  while (json.size() % 4 != 0) json += ' ';
  std::string bin = GltfBuffer();
  while (bin.size() % 4 != 0) bin += '\0';
  Bytes b;
  b.Raw("glTF").Le(uint32_t{2}).Le(static_cast<uint32_t>(12 + 8 + json.size() + 8 + bin.size()));
  b.Le(static_cast<uint32_t>(json.size())).Raw("JSON").Raw(json);
  b.Le(static_cast<uint32_t>(bin.size())).Raw(std::string("BIN\0", 4)).Raw(bin);
  return b.str();
}

std::string DaeCube(const std::string& upAxis = "Y_UP") {
  std::string positions, vcount, indices;
  for (int c = 1; c <= 8; ++c) positions += CornerText(c) + " ";
  for (const auto& q : kQuads) {
    vcount += "4 ";
    for (int k = 0; k < 4; ++k) indices += std::to_string(q[k] - 1) + " ";
  }
  return R"(<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
<asset><up_axis>)" +
         upAxis + R"(</up_axis></asset>
<library_geometries><geometry id="g"><mesh>
<source id="p"><float_array id="pa" count="24">)" +
         positions + R"(</float_array>
<technique_common><accessor source="#pa" count="8" stride="3"><param name="X" type="float"/>
<param name="Y" type="float"/><param name="Z" type="float"/></accessor></technique_common>
</source>
<vertices id="v"><input semantic="POSITION" source="#p"/></vertices>
<polylist count="6"><input semantic="VERTEX" source="#v" offset="0"/><vcount>)" +
         vcount + "</vcount><p>" + indices + R"(</p></polylist>
</mesh></geometry></library_geometries>
<library_visual_scenes><visual_scene id="s"><node id="n"><instance_geometry url="#g"/></node>
</visual_scene></library_visual_scenes>
<scene><instance_visual_scene url="#s"/></scene>
</COLLADA>
)";
}

// ---------------------------------------------------------------------------------------------

// Segments as (kind, first, second, colour); a dot's second is 0.
using Seg = std::tuple<int, int32_t, int32_t, uint32_t>;

std::vector<Seg> SegmentsOf(const SceneData& scene) {
  std::vector<Seg> out;
  for (const SegmentRecord& s : scene.Segments) {
    out.emplace_back(s.Kind, s.First, s.Kind == 0 ? s.Second : 0, s.Colour);
  }
  return out;
}

std::vector<Seg> Lines(const std::vector<Edge>& edges,
                       const std::function<uint32_t(const Edge&)>& colour) {
  std::vector<Seg> out;
  for (const Edge& e : edges) out.emplace_back(0, e.first - 1, e.second - 1, colour(e));
  return out;
}

using Position = std::array<double, 3>;

std::vector<Position> Positions(const std::vector<Vec3>& points) {
  std::vector<Position> out;
  for (const Vec3& p : points) out.push_back({p.x, p.y, p.z});
  return out;
}

std::vector<Position> PositionsOf(const SceneData& scene) {
  std::vector<Position> out;
  for (const PointRecord& p : scene.Points) out.push_back({p.Pos.x, p.Pos.y, p.Pos.z});
  return out;
}

const std::vector<Position> kCornerList =
    Positions(std::vector<Vec3>(std::begin(kCorners), std::end(kCorners)));

struct CubeFile {
  const char* name;
  std::function<std::string()> bytes;
  const Reader* read;
  const char* format;
  const std::vector<Edge>* edges;
};

const CubeFile kCubeFiles[] = {
    {"cube.obj", [] { return ObjCube(); }, &kReadObj, "Wavefront OBJ", &kQuadEdges},
    {"cube.off", OffCube, &kReadOff, "OFF", &kQuadEdges},
    {"cube.ply", [] { return PlyCube(false, false); }, &kReadPly, "PLY", &kQuadEdges},
    {"binary.ply", [] { return PlyCube(true, false); }, &kReadPly, "PLY", &kQuadEdges},
    {"cube.dae", [] { return DaeCube(); }, &kReadDae, "COLLADA", &kQuadEdges},
    {"cube.stl", [] { return StlCube(false); }, &kReadStl, "STL", &kTriangleEdges},
    {"binary.stl", [] { return StlCube(true); }, &kReadStl, "STL", &kTriangleEdges},
    {"cube.gltf", [] { return GltfCube(); }, &kReadGltf, "glTF", &kTriangleEdges},
    {"cube.glb", GlbCube, &kReadGltf, "glTF", &kTriangleEdges},
};

// Quads keep their outline alone; triangles (STL, glTF) are what the file holds, diagonals
// included. Corners are merged however often the file repeats them (STL for every triangle).
TEST(MeshImport, TheCubeInEveryFormat) {
  ScratchDir dir;
  for (const CubeFile& f : kCubeFiles) {
    SCOPED_TRACE(f.name);
    const SceneData scene = (*f.read)(dir.Write(f.name, f.bytes()));
    EXPECT_EQ(PositionsOf(scene), kCornerList);
    EXPECT_EQ(SegmentsOf(scene), Lines(*f.edges, [](const Edge&) { return kWhite; }));
    const std::string counts =
        f.edges->size() == 12 ? "8 points, 12 lines, 0 dots" : "8 points, 18 lines, 0 dots";
    EXPECT_EQ(scene.CommentLines, (std::vector<std::string>{f.name, f.format, counts}));
    // Every option at its default, as a Tumbra file without switches leaves them.
    EXPECT_TRUE(scene.AntiAlias && scene.Fade && scene.HasFillCircles);
    EXPECT_FALSE(scene.FlipZ || scene.WhiteBack || scene.FreeSpin || scene.FillCircles ||
                 scene.CentreGiven);
    EXPECT_EQ(scene.CircleRadius, 0);
  }
}

TEST(MeshImport, VertexColoursGiveEachLineTheMeanOfItsEnds) {
  ScratchDir dir;
  for (bool binary : {false, true}) {
    const SceneData scene = kReadPly(dir.Write("colours.ply", PlyCube(binary, true)));
    EXPECT_EQ(SegmentsOf(scene), Lines(kQuadEdges, [](const Edge& e) {
                return MeanColour(CornerColour(e.first), CornerColour(e.second));
              }));
  }
}

TEST(MeshImport, MaterialColourWhereTheFileNamesOne) {
  ScratchDir dir;
  dir.Write("cube.mtl", "newmtl orange\nKd 1 0.5 0\nnewmtl plain\nKs 1 1 1\n");
  const struct {
    std::string material;
    uint32_t colour;
  } objCases[] = {{"orange", MakeColor(0, 128, 255)},
                  // A material without a diffuse colour: the library's stand-in grey.
                  {"plain", MakeColor(153, 153, 153)},
                  {"", kWhite}};
  for (const auto& c : objCases) {
    const SceneData scene = kReadObj(dir.Write("cube.obj", ObjCube(c.material)));
    EXPECT_EQ(SegmentsOf(scene), Lines(kQuadEdges, [&](const Edge&) { return c.colour; }))
        << c.material;
  }
  const SceneData gltf = kReadGltf(dir.Write(
      "cube.gltf", GltfCube("{\"pbrMetallicRoughness\":{\"baseColorFactor\":[0.2,0.4,0.6,1]}}")));
  EXPECT_EQ(SegmentsOf(gltf),
            Lines(kTriangleEdges, [](const Edge&) { return MakeColor(153, 102, 51); }));
  // OFF has no materials: the grey the library makes up for it is no colour of the file's.
  EXPECT_EQ(std::get<3>(SegmentsOf(kReadOff(dir.Write("cube.off", OffCube())))[0]), kWhite);
}

TEST(MeshImport, LinesStayLinesAndPointsBecomeDots) {
  ScratchDir dir;
  // A polyline of three corners, a lone point, and a point that a line also ends at.
  const SceneData obj =
      kReadObj(dir.Write("wire.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 5 5 5\nl 1 2 3\np 4\np 3\n"));
  EXPECT_EQ(PositionsOf(obj), Positions({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {5, 5, 5}}));
  EXPECT_EQ(SegmentsOf(obj),
            (std::vector<Seg>{
                {0, 0, 1, kWhite}, {0, 1, 2, kWhite}, {1, 3, 0, kWhite}, {1, 2, 0, kWhite}}));
  EXPECT_EQ(obj.CommentLines[2], "4 points, 2 lines, 2 dots");

  // A file of points without faces: every point a dot of its own, even where two coincide.
  const SceneData cloud = kReadPly(
      dir.Write("cloud.ply",
                "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                "property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
                "end_header\n0 0 2 10 20 30\n1 1 1 40 50 60\n1 1 1 70 80 90\n"));
  // In depth order for the first frame (cloud_order.h): the nearer z = 2 last.
  EXPECT_EQ(PositionsOf(cloud), Positions({{1, 1, 1}, {1, 1, 1}, {0, 0, 2}}));
  EXPECT_EQ(SegmentsOf(cloud), (std::vector<Seg>{{1, 0, 0, MakeColor(60, 50, 40)},
                                                 {1, 1, 0, MakeColor(90, 80, 70)},
                                                 {1, 2, 0, MakeColor(30, 20, 10)}}));
  EXPECT_EQ(cloud.CommentLines[2], "3 points, 0 lines, 3 dots");
}

TEST(MeshImport, NodeTransformsApplyFromTheRootDown) {
  ScratchDir dir;
  // A parent that moves by (10, 0, 0) and a child that doubles the cube's size.
  std::string json = GltfCube();
  const std::string nodes = "\"nodes\":[{\"mesh\":0}]";
  json.replace(json.find(nodes), nodes.size(),
               "\"nodes\":[{\"translation\":[10,0,0],\"children\":[1]},"
               "{\"mesh\":0,\"scale\":[2,2,2]}]");
  const SceneData scene = kReadGltf(dir.Write("moved.gltf", json));
  std::vector<Vec3> expected;
  for (const Vec3& c : kCorners) expected.push_back(Vec3{10 + 2 * c.x, 2 * c.y, 2 * c.z});
  EXPECT_EQ(PositionsOf(scene), Positions(expected));

  // A Z-up COLLADA file is turned Y-up: its up (z) becomes y, its y becomes -z.
  const SceneData zUp = kReadDae(dir.Write("zup.dae", DaeCube("Z_UP")));
  expected.clear();
  for (const Vec3& c : kCorners) expected.push_back(Vec3{c.x, c.z, -c.y});
  EXPECT_EQ(PositionsOf(zUp), Positions(expected));
}

// A Y-up model is seen upright and from the front: the camera after a reset looks down -z with
// y up, so a corner at +y is drawn above the middle and one at +z is nearer than the middle.
TEST(MeshImport, YUpIsUpAndTheFrontFacesTheViewer) {
  ScratchDir dir;
  FormFixture f;
  f.form.FormResize(100 + FrameWidthAllowance, 100 + FrameHeightAllowance);
  f.form.AdoptScene(kReadObj(dir.Write(
      "arrow.obj", "v 0 0 0\nv 0 1 0\nv 0 -1 0\nv 0 0 1\nv 1 0 0\nl 1 2\nl 3 1 4\nl 1 5\n")));
  const auto& p = f.form.Points;
  ASSERT_EQ(p.size(), 5u);
  EXPECT_LT(p[1].ScreenY, p[0].ScreenY);  // up
  EXPECT_GT(p[2].ScreenY, p[0].ScreenY);  // down
  EXPECT_GT(p[3].View.z, p[0].View.z);    // front: toward the viewer
  EXPECT_GT(p[4].ScreenX, p[0].ScreenX);  // right
}

struct Failure {
  const char* name;
  std::string bytes;
  const Reader* read;
  std::string reason;  // after "The FORMAT file "PATH" ", where PATH stands for the path
};

TEST(MeshImport, EachFailureNamesTheFileAndWhatIsWrong) {
  const Failure failures[] = {
      {"empty.obj", "", &kReadObj, "is damaged: OBJ-file is too small."},
      {"empty.stl", "", &kReadStl, "is damaged: File is empty"},
      {"empty.off", "", &kReadOff, "is damaged: File is empty"},
      {"empty.ply", "", &kReadPly, "is damaged: its first line is not \"ply\""},
      {"empty.dae", "", &kReadDae, "is damaged: Unable to read file, malformed XML"},
      {"short.stl", StlCube(true).substr(0, 200), &kReadStl,
       "is damaged: Failed to determine STL storage representation for PATH."},
      {"index.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n", &kReadObj,
       "is damaged: OBJ: vertex index out of range"},
      {"far.obj", "v 1e39 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", &kReadObj,
       "is damaged: vertex 0 is not at a finite position"},
      {"nothing.obj", "g group\nusemtl x\n", &kReadObj,
       "is damaged: it holds no points, lines or faces"},
      {"nothing.stl", "solid x\nendsolid x\n", &kReadStl,
       "is damaged: it holds no points, lines or faces"},
      {"short.ply",
       "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
       "property float z\nend_header\n0 0\n",
       &kReadPly,
       "is damaged: its header announces 3 vertex items, more than the rest of the "
       "file can hold"},
      {"many.ply",
       "ply\nformat binary_little_endian 1.0\nelement vertex 3000000000\nproperty float x\n"
       "end_header\n",
       &kReadPly,
       "is too large: its header announces 3000000000 vertex items, more than a "
       "model can hold (2147483647)"},
      {"many.off", "OFF\n300000000 1 0\n0 0 0\n", &kReadOff,
       "is damaged: its header announces 300000000 vertices and 1 faces, more than the file "
       "can hold"},
      {"huge.off", "OFF\n3000000000 1 0\n0 0 0\n", &kReadOff,
       "is too large: its header announces 3000000000 vertices and 1 faces, more than a model "
       "can hold (2147483647)"},
  };
  ScratchDir dir;
  for (const Failure& f : failures) {
    const std::string path = dir.Write(f.name, f.bytes);
    const std::string format = f.read == &kReadObj   ? "Wavefront OBJ"
                               : f.read == &kReadStl ? "STL"
                               : f.read == &kReadOff ? "OFF"
                               : f.read == &kReadDae ? "COLLADA"
                                                     : "PLY";
    std::string reason = f.reason;
    if (const size_t at = reason.find("PATH"); at != std::string::npos) {
      reason.replace(at, 4, path);
    }
    try {
      (*f.read)(path);
      ADD_FAILURE() << f.name << " was read";
    } catch (const KestrelError& e) {
      EXPECT_EQ(e.what(), "The " + format + " file \"" + path + "\" " + reason) << f.name;
    }
  }
}

TEST(MeshImport, OnlyRegularFilesAreOpened) {
  ScratchDir dir;
  const std::string missing = (dir.path() / "missing.stl").string();
  const std::string fifo = (dir.path() / "fifo.obj").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::pair<std::string, std::string> cases[] = {
      {missing, "No such file or directory"},
      {dir.path().string(), "Is a directory"},
      {fifo, "it is not a regular file"},  // and no wait for a writer
  };
  for (const auto& [path, reason] : cases) {
    for (const Reader* read : {&kReadObj, &kReadPly, &kReadOff}) {
      try {
        (*read)(path);
        ADD_FAILURE() << path << " was read";
      } catch (const KestrelError& e) {
        EXPECT_EQ(e.what(), "Cannot open file \"" + path + "\": " + reason);
      }
    }
  }
  // A material library that is a FIFO is skipped, not waited for.
  mkfifo((dir.path() / "cube.mtl").c_str(), 0600);
  const SceneData scene = kReadObj(dir.Write("cube.obj", ObjCube("orange")));
  EXPECT_EQ(scene.Points.size(), 8u);
}

// ---------------------------------------------------------------------------------------------
// Pictures: each cube drawn as the window draws it after opening the file, against the same
// cube written by hand as a Tumbra file. The view is turned so that no two lines lie at the
// same depth, which leaves one drawing order whatever order the lines come in.

std::string TumbraLines(const std::vector<Edge>& edges,
                        const std::function<uint32_t(const Edge&)>& colour) {
  std::string s = "# the cube\n\n";
  const auto corner = [](int c) {
    const Vec3& p = kCorners[c - 1];
    return Number(p.x) + " " + Number(p.z) + " " + Number(p.y);  // Tumbra lists x, z, y
  };
  for (const Edge& e : edges) {
    const uint32_t c = colour(e);
    // A code of 256 + red draws a line with an explicit colour whatever the red.
    s += corner(e.first) + " 0\n" + corner(e.second) + " " + std::to_string(256 + ColourRed(c)) +
         " " + std::to_string(ColourGreen(c)) + " " + std::to_string(ColourBlue(c)) + "\n";
  }
  return s;
}

QImage Turned(FormFixture& f, int leastDrawn = 300) {
  f.form.RotateCam(0, 0.27);
  f.form.RotateCam(1, 0.41);
  f.form.Render();
  std::vector<double> depths;
  for (const SegmentRecord& s : f.form.Segments) depths.push_back(s.Depth);
  std::sort(depths.begin(), depths.end());
  EXPECT_EQ(std::adjacent_find(depths.begin(), depths.end()), depths.end()) << "a tie";
  int drawn = 0;
  const QImage& frame = f.form.FrameBitmap;
  for (int y = 0; y < frame.height(); ++y) {
    for (int x = 0; x < frame.width(); ++x) drawn += (frame.pixel(x, y) & 0xFFFFFFu) != 0;
  }
  EXPECT_GT(drawn, leastDrawn) << "an empty picture";
  return frame.copy();
}

QImage Picture(SceneData scene, int leastDrawn = 300) {
  FormFixture f;
  f.form.FormResize(96 + FrameWidthAllowance, 80 + FrameHeightAllowance);
  f.form.AdoptScene(std::move(scene));
  EXPECT_TRUE(f.controls.Messages.empty());
  return Turned(f, leastDrawn);
}

QImage TumbraPicture(const ScratchDir& dir, const std::string& text, int leastDrawn = 300) {
  FormFixture f;
  f.form.FormResize(96 + FrameWidthAllowance, 80 + FrameHeightAllowance);
  f.form.LoadTmbFile(dir.Write("same.tmb", text));
  EXPECT_TRUE(f.controls.Messages.empty());
  return Turned(f, leastDrawn);
}

TEST(MeshImport, EachFormatDrawsItsCubeAsTheSameTumbraFileDoes) {
  ScratchDir dir;
  for (const CubeFile& f : kCubeFiles) {
    SCOPED_TRACE(f.name);
    const QImage imported = Picture((*f.read)(dir.Write(f.name, f.bytes())));
    const QImage tumbra =
        TumbraPicture(dir, TumbraLines(*f.edges, [](const Edge&) { return kWhite; }));
    EXPECT_EQ(imported, tumbra);
  }
  const QImage coloured = Picture(kReadPly(dir.Write("colours.ply", PlyCube(true, true))));
  EXPECT_EQ(coloured, TumbraPicture(dir, TumbraLines(kQuadEdges, [](const Edge& e) {
                                      return MeanColour(CornerColour(e.first),
                                                        CornerColour(e.second));
                                    })));
}

// A cloud of points at distinct depths, in ascending z, with colours from 0 to 255 in steps
// of 51, so that they read the same on the 0–1 scale. Every coordinate is a float, printed
// exactly.
struct CloudPointOf {
  Vec3 at;
  int rgb[3];
};

std::vector<CloudPointOf> Cloud() {
  std::vector<CloudPointOf> cloud;
  for (int k = 0; k < 400; ++k) {
    cloud.push_back({{((k * 37) % 101 - 50) / 32.0, ((k * 53) % 97 - 48) / 32.0, (k - 200) / 64.0},
                     {51 * (k % 6), 51 * (k / 6 % 6), 51 * (k / 36 % 6)}});
  }
  return cloud;
}

// Each line of the cloud, from its point: `row(point)`.
std::string CloudText(const std::string& head,
                      const std::function<std::string(const CloudPointOf&)>& row) {
  std::string s = head;
  for (const CloudPointOf& p : Cloud()) s += row(p) + "\n";
  return s;
}

std::string Channel(int byte) {
  return std::to_string(byte);
}

std::string UnitChannel(int byte) {
  static const char* const kUnits[] = {"0", "0.2", "0.4", "0.6", "0.8", "1"};
  return kUnits[byte / 51];
}

std::string PlyCloud(bool binary) {
  Bytes b;
  b.Raw(std::string("ply\nformat ") + (binary ? "binary_little_endian" : "ascii") +
        " 1.0\nelement vertex " + std::to_string(Cloud().size()) +
        "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\n"
        "property uchar green\nproperty uchar blue\nend_header\n");
  for (const CloudPointOf& p : Cloud()) {
    if (binary) {
      b.Le(static_cast<float>(p.at.x))
          .Le(static_cast<float>(p.at.y))
          .Le(static_cast<float>(p.at.z));
      for (int c : p.rgb) b.Le(static_cast<uint8_t>(c));
    } else {
      b.Raw(Number(p.at.x) + " " + Number(p.at.y) + " " + Number(p.at.z));
      for (int c : p.rgb) b.Raw(" ").Raw(Channel(c));
      b.Raw("\n");
    }
  }
  return b.str();
}

// The same cloud by hand as a Tumbra file: a negative code draws a dot, of the colour its
// green and blue columns and the low byte of the code's magnitude give.
std::string TumbraDots() {
  std::string s = "# the cloud\n\n";
  for (const CloudPointOf& p : Cloud()) {
    s += Number(p.at.x) + " " + Number(p.at.z) + " " + Number(p.at.y) + " -" +
         std::to_string(256 + p.rgb[0]) + " " + Channel(p.rgb[1]) + " " + Channel(p.rgb[2]) + "\n";
  }
  return s;
}

TEST(PointCloudPictures, EachFormatDrawsItsCloudAsTheSameTumbraFileDoes) {
  const auto xyz = [](const CloudPointOf& p, const char* between, std::string (*channel)(int)) {
    return Number(p.at.x) + between + Number(p.at.y) + between + Number(p.at.z) + between +
           channel(p.rgb[0]) + between + channel(p.rgb[1]) + between + channel(p.rgb[2]);
  };
  const std::pair<const char*, std::string> files[] = {
      {"cloud.xyz", CloudText("", [&](const CloudPointOf& p) { return xyz(p, " ", Channel); })},
      {"cloud.txt",
       CloudText("", [&](const CloudPointOf& p) { return xyz(p, "; ", UnitChannel); })},
      {"cloud.csv", CloudText("Blue,x,Green,z,y,Red\n",
                              [](const CloudPointOf& p) {
                                return Channel(p.rgb[2]) + "," + Number(p.at.x) + "," +
                                       Channel(p.rgb[1]) + "," + Number(p.at.z) + "," +
                                       Number(p.at.y) + "," + Channel(p.rgb[0]);
                              })},
      {"cloud.pts", CloudText(std::to_string(Cloud().size()) + "\n",
                              [](const CloudPointOf& p) {
                                return Number(p.at.x) + " " + Number(p.at.y) + " " +
                                       Number(p.at.z) + " -1200 " + Channel(p.rgb[0]) + " " +
                                       Channel(p.rgb[1]) + " " + Channel(p.rgb[2]);
                              })},
      {"binary.ply", PlyCloud(true)},
      {"text.ply", PlyCloud(false)},
  };
  ScratchDir dir;
  const QImage tumbra = TumbraPicture(dir, TumbraDots(), 150);
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const std::string path = dir.Write(name, bytes);
    const SceneFileType* type = SceneFileTypeOf(path);
    ASSERT_NE(type, nullptr);
    const SceneData scene = type->read(path, type->name);
    EXPECT_EQ(scene.Points.size(), Cloud().size());
    EXPECT_EQ(Picture(scene, 150), tumbra);
  }
}

}  // namespace
