// Our binary PLY vertex-list reader against the library: a header built from the input (which
// properties, of which types, how many vertices, faces or none) over a body of the input's
// bytes. Whatever our reader takes, the library must read to the same scene.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <optional>

#include "formats/mesh_import.h"
#include "formats/ply_file.h"
#include "import_fuzz_support.h"

namespace {

std::string Header(FuzzedDataProvider& in, size_t& stride) {
  static const char* const kTypes[] = {"char",  "uchar",  "short",   "ushort", "int",
                                       "uint",  "float",  "double",  "int8",   "uint8",
                                       "int16", "uint16", "float32", "float64"};
  static const int kSizes[] = {1, 1, 2, 2, 4, 4, 4, 8, 1, 1, 2, 2, 4, 8};
  static const char* const kNames[] = {"x", "y", "z", "red", "green", "blue", "alpha", "nx"};
  const bool little = in.ConsumeIntegralInRange<int>(0, 7) != 0;
  std::string h =
      std::string("ply\nformat ") + (little ? "binary_little_endian" : "binary_big_endian") +
      " 1.0\nelement vertex " + std::to_string(in.ConsumeIntegralInRange<uint32_t>(0, 64)) + "\n";
  stride = 0;
  const int properties = in.ConsumeIntegralInRange<int>(0, 9);
  for (int p = 0; p < properties; ++p) {
    const int type = in.ConsumeIntegralInRange<int>(0, 13);
    h += std::string("property ") + kTypes[type] + " " +
         kNames[in.ConsumeIntegralInRange<int>(0, 7)] + "\n";
    stride += static_cast<size_t>(kSizes[type]);
  }
  if (in.ConsumeBool()) {
    h += "element face " + std::to_string(in.ConsumeIntegralInRange<int>(0, 2)) +
         "\nproperty list uchar int vertex_indices\n";
  }
  return h + "end_header\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  size_t stride = 0;
  std::string file = Header(in, stride);
  const std::vector<uint8_t> body = in.ConsumeRemainingBytes<uint8_t>();
  file.append(body.begin(), body.end());
  const std::string path =
      WriteFuzzFile(reinterpret_cast<const uint8_t*>(file.data()), file.size(), ".ply");
  const MeshFormat format{"PLY", false};

  std::optional<SceneData> ours;
  try {
    ours = ReadPlyVertexList(path, format);
  } catch (const KestrelError& e) {
    // A count the file cannot hold, or a position that is not finite: refused before the
    // library sees the file (which reads a truncated body as whatever memory holds).
    CheckRefusal(e.what(), path);
    return 0;
  }
  if (!ours) return 0;  // the library's alone
  std::optional<SceneData> theirs;
  try {
    theirs = ReadPlyWithLibrary(path, format);
  } catch (const KestrelError&) {
    std::abort();  // a file we take, the library refuses
  }
  CheckImportedScene(*ours);
  const SceneData& a = *ours;
  const SceneData& b = *theirs;
  if (a.Points.size() != b.Points.size() || a.Segments.size() != b.Segments.size() ||
      a.CommentLines != b.CommentLines) {
    std::abort();
  }
  for (size_t k = 0; k < a.Points.size(); ++k) {
    if (std::memcmp(&a.Points[k].Pos, &b.Points[k].Pos, sizeof(Vec3)) != 0) std::abort();
  }
  for (size_t k = 0; k < a.Segments.size(); ++k) {
    if (std::memcmp(&a.Segments[k], &b.Segments[k], sizeof(SegmentRecord)) != 0) std::abort();
  }
  return 0;
}
