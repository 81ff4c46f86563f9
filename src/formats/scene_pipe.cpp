// Scenes through a pipe.
#include "formats/scene_pipe.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "formats/memory_budget.h"
#include "scene/error.h"

namespace {

constexpr char kMagic[8] = {'K', 'S', 'C', 'E', 'N', 'E', '0', '1'};

static_assert(std::is_trivially_copyable_v<PointRecord>);
static_assert(std::is_trivially_copyable_v<SegmentRecord>);

struct Header {
  char magic[8];
  uint64_t points;
  uint64_t segments;
  uint64_t commentLines;
  double circleRadius;
  Vec3 centre;
  // AntiAlias, Fade, FlipZ, WhiteBack, FreeSpin, FillCircles, HasFillCircles, CentreGiven.
  uint8_t flags[8];
};

template <class T>
void Append(std::string& out, const T* items, size_t count) {
  out.append(reinterpret_cast<const char*>(items), count * sizeof(T));
}

class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : rest_(bytes) {}

  // `count` items of T, copied into `to`; refused when fewer bytes are left than they take.
  template <class T>
  void Take(T* to, uint64_t count) {
    if (count > rest_.size() / sizeof(T)) throw KestrelError("the reader's scene is cut short");
    const size_t bytes = static_cast<size_t>(count) * sizeof(T);
    if (bytes != 0) std::memcpy(to, rest_.data(), bytes);
    rest_.remove_prefix(bytes);
  }

  std::string_view TakeText(uint64_t length) {
    if (length > rest_.size()) throw KestrelError("the reader's scene is cut short");
    const std::string_view text = rest_.substr(0, static_cast<size_t>(length));
    rest_.remove_prefix(static_cast<size_t>(length));
    return text;
  }

  size_t Left() const { return rest_.size(); }

 private:
  std::string_view rest_;
};

}  // namespace

std::string ScenePipeBytes(const SceneData& scene) {
  Header header{};
  std::memcpy(header.magic, kMagic, sizeof kMagic);
  header.points = scene.Points.size();
  header.segments = scene.Segments.size();
  header.commentLines = scene.CommentLines.size();
  header.circleRadius = scene.CircleRadius;
  header.centre = scene.Centre;
  const bool flags[8] = {scene.AntiAlias, scene.Fade,        scene.FlipZ,          scene.WhiteBack,
                         scene.FreeSpin,  scene.FillCircles, scene.HasFillCircles, scene.CentreGiven};
  for (int i = 0; i < 8; ++i) header.flags[i] = flags[i] ? 1 : 0;

  std::string out;
  Append(out, &header, 1);
  Append(out, scene.Points.data(), scene.Points.size());
  Append(out, scene.Segments.data(), scene.Segments.size());
  for (const std::string& line : scene.CommentLines) {
    const uint64_t length = line.size();
    Append(out, &length, 1);
    out += line;
  }
  return out;
}

SceneData SceneFromPipeBytes(std::string_view bytes, const std::string& fileName) {
  Cursor in(bytes);
  Header header{};
  in.Take(&header, 1);
  if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0) {
    throw KestrelError("the reader's scene does not begin as one");
  }
  // Each record and each line's length takes room in the bytes: counts beyond them are refused
  // before anything is allocated for them.
  if (header.points > in.Left() / sizeof(PointRecord) ||
      header.segments > in.Left() / sizeof(SegmentRecord) ||
      header.commentLines > in.Left() / sizeof(uint64_t)) {
    throw KestrelError("the reader's scene is cut short");
  }
  RequireMemory(fileName, SceneBytes(header.points, header.segments) + in.Left(),
                SceneBytes(header.points, header.segments) + bytes.size() + in.Left());

  SceneData scene;
  scene.Points.resize(static_cast<size_t>(header.points));
  in.Take(scene.Points.data(), header.points);
  scene.Segments.resize(static_cast<size_t>(header.segments));
  in.Take(scene.Segments.data(), header.segments);
  scene.CommentLines.reserve(static_cast<size_t>(header.commentLines));
  for (uint64_t i = 0; i < header.commentLines; ++i) {
    uint64_t length = 0;
    in.Take(&length, 1);
    scene.CommentLines.emplace_back(in.TakeText(length));
  }
  if (in.Left() != 0) throw KestrelError("the reader's scene has bytes after its end");

  scene.CircleRadius = header.circleRadius;
  scene.Centre = header.centre;
  bool* const flags[8] = {&scene.AntiAlias, &scene.Fade,        &scene.FlipZ,
                          &scene.WhiteBack, &scene.FreeSpin,    &scene.FillCircles,
                          &scene.HasFillCircles, &scene.CentreGiven};
  for (int i = 0; i < 8; ++i) *flags[i] = header.flags[i] != 0;
  return scene;
}
