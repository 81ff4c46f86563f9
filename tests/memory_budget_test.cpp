// Memory a file may ask for: the estimate each reader makes from a file's counts before it
// allocates, the message that refuses what cannot fit (never the allocator's own text), and that
// room is taken only for what the lines need.
#include "formats/memory_budget.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <bit>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "form_state.h"
#include "formats/memory_budget_testing.h"
#include "formats/mesh_import.h"
#include "formats/native_body.h"
#include "formats/off_file.h"
#include "formats/ply_file.h"
#include "formats/point_cloud.h"
#include "support/child_process.h"
#include "test_support.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The sanitizer reserves terabytes of address space up front: no address-space limit leaves it
// room to run.
#define SKIP_UNDER_THE_SANITIZER()                                                \
  if (kSanitized) {                                                               \
    GTEST_SKIP() << "an address-space limit leaves the sanitizer no room to run"; \
  }

std::span<const uint8_t> AsSpan(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// The memory the process is taken to have while it lives.
class Budget {
 public:
  explicit Budget(uint64_t bytes) { SetAvailableMemoryForTesting(bytes); }
  ~Budget() { SetAvailableMemoryForTesting(std::nullopt); }
};

// A version 3 scene body: `comments` empty comment lines, then the points (0, 0, 0) and
// (1, 1, 1) joined by one white line.
std::string SceneBody(uint32_t comments) {
  std::string b;
  const auto put = [&b](uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
  };
  const auto real = [&put](double v) { put(std::bit_cast<uint64_t>(v), 8); };
  b += std::string("\x03\x01\x01\x00\x00\x00\x00", 7);
  real(0.5), real(0.5), real(0.5);
  put(comments, 4);
  b.append(size_t{comments} * 4, '\0');
  put(2, 4);
  for (double v : {0.0, 0.0, 0.0, 1.0, 1.0, 1.0}) real(v);
  put(1, 4);
  b += std::string("\x00\x00\x00\x00\x00\x01\x00\x00\x00\xFF\xFF\xFF", 12);
  return b;
}

std::string Zip(const std::string& body) {
  uLongf size = compressBound(static_cast<uLong>(body.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(body.data()), static_cast<uLong>(body.size()), 9);
  out.resize(size);
  return out;
}

// `lines` point lines "0 0 0 1" (a line each, but the first, which is a move).
std::string PointLines(int lines) {
  std::string text;
  text.reserve(static_cast<size_t>(lines) * 8);
  for (int i = 0; i < lines; ++i) text += i % 2 == 0 ? "0 0 0 1\n" : "1 1 1 1\n";
  return text;
}

struct RunResult {
  int status = -1;
  std::string err;
};

// kestrel-render MODEL -o OUT under a limit of `kilobytes` on its data (the memory it allocates,
// unlike its address space, which the libraries it maps take much of).
RunResult RenderUnderLimit(const ScratchDir& dir, const std::string& model, int kilobytes) {
  const std::string err = (dir.path() / "err.txt").string();
  const std::string command = "ulimit -d " + std::to_string(kilobytes) + "; '" +
                              KESTREL_RENDER_PATH + "' '" + model + "' -o '" +
                              (dir.path() / "o.png").string() + "' 2>'" + err + "'";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadWholeFile(err)};
}

TEST(MemoryBudget, TheMessageGivesTheNeedInTenthsOfAGigabyte) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0.1"},
      {49'999'999, "0.1"},
      {150'000'000, "0.2"},
      {149'999'999, "0.1"},
      {4'900'000'000, "4.9"},
      {4'949'999'999, "4.9"},
      {4'950'000'000, "5.0"},
      {18'000'000'000, "18.0"},
  };
  for (const auto& [bytes, figure] : cases) {
    EXPECT_EQ(
        NotEnoughMemoryMessage("a b\xFF.ksl", bytes),
        std::string("Not enough memory to open \"a b\xFF.ksl\": it needs about ") + figure + " GB");
  }
}

// The process's own limits on its address space and on its data bound what it may still take.
TEST(MemoryBudget, TheProcessLimitsLeaveWhatTheProcessDoesNotHold) {
  SKIP_UNDER_THE_SANITIZER();
  // The limit, and which field of /proc/self/statm (in pages) counts against it.
  for (const auto& [limitKind, statmField] :
       {std::pair{RLIMIT_AS, 0}, std::pair{RLIMIT_DATA, 5}}) {
    const auto resource = limitKind;
    const int field = statmField;
    const std::string said = RunInChild([resource, field]() -> std::string {
      std::ifstream statm("/proc/self/statm");
      uint64_t pages[6] = {};
      for (uint64_t& p : pages) statm >> p;
      const uint64_t held = pages[field] * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
      constexpr uint64_t kRoom = 200ull << 20;
      const rlimit limit{held + kRoom, RLIM_INFINITY};
      if (setrlimit(resource, &limit) != 0) return "setrlimit";
      const uint64_t available = AvailableMemory();
      // What the child has taken since it measured itself is a few pages at most.
      if (available <= kRoom && available > kRoom - (16ull << 20)) return "";
      return std::to_string(available);
    });
    EXPECT_EQ(said, "") << "limit " << resource;
  }
}

// A Tumbra file's point lines set its need; one that cannot fit is refused before anything is
// allocated for it, with the need in the message, and changes nothing.
TEST(MemoryBudget, ATumbraFileIsAskedForByItsPointLines) {
  ScratchDir dir;
  const std::string text = "# two million\n\n" + PointLines(2'000'000);
  const std::string path = dir.Write("large.tmb", text);
  // Points and segments, and their copies for drawing, for every point line; and the file.
  const uint64_t need = SceneBytes(2'000'000, 2'000'000) + sizeof(std::string) + text.size();
  ASSERT_EQ(need, 368'000'032 + text.size());

  FormFixture f;
  f.form.FormResize(410 + FrameWidthAllowance, 300 + FrameHeightAllowance);
  const std::string before = DescribeState(f.form, f.controls, false);
  {
    const Budget budget(SceneBytes(2'000'000, 2'000'000));
    f.form.LoadTmbFile(path);
  }
  EXPECT_EQ(f.controls.Messages, std::vector<std::string>{NotEnoughMemoryMessage(path, need)});
  EXPECT_EQ(f.controls.Messages[0],
            "Not enough memory to open \"" + path + "\": it needs about 0.4 GB");
  EXPECT_EQ(DescribeState(f.form, f.controls, false), before);

  f.controls.Messages.clear();
  {
    const Budget budget(SceneBytes(2'000'000, 2'000'000) + sizeof(std::string));
    f.form.LoadTmbFile(path);
  }
  EXPECT_TRUE(f.controls.Messages.empty());
  EXPECT_EQ(f.form.PointCount, 2'000'000);
}

// Blank, comment and switch lines get no room of their own: only the point lines do.
TEST(MemoryBudget, LinesThatAreNoPointLinesTakeNoRoom) {
  ScratchDir dir;
  std::string text = "# c\n#\n\n0 0 0 0\n";
  text += std::string(5'000'000, '\n');
  for (int i = 0; i < 100'000; ++i) text += "s sparkle\n# x\n";
  text += "1 1 1 1\n";
  FormFixture f;
  f.form.FormResize(410 + FrameWidthAllowance, 300 + FrameHeightAllowance);
  {
    // The file, and the little its two point lines and two comment lines need.
    const Budget budget(text.size() + SceneBytes(2, 2) + 2 * sizeof(std::string));
    f.form.LoadTmbFile(dir.Write("padded.tmb", text));
  }
  EXPECT_EQ(f.controls.Messages, std::vector<std::string>{"unrecognized switch in text file"});
  EXPECT_EQ(f.form.Points.capacity(), 2u);
  EXPECT_EQ(f.form.Segments.capacity(), 2u);
  EXPECT_EQ(f.form.SegmentCount, 1);
}

// A scene file's need is known from its counts and line lengths once it is unpacked.
TEST(MemoryBudget, AScenesNeedIsCountedFromItsBody) {
  const struct {
    std::string body;
    uint64_t bytes;
  } cases[] = {
      {SceneBody(0), SceneBytes(2, 1)},
      {SceneBody(1000), SceneBytes(2, 1) + 1000 * sizeof(std::string)},
      // Cut inside the points: the lines counted before stand.
      {SceneBody(1000).substr(0, 7 + 24 + 4 + 4000 + 4 + 10), 1000 * sizeof(std::string)},
      // A count the rest cannot hold stops the walk there.
      {SceneBody(1000).substr(0, 7 + 24 + 4 + 400), 0},
      {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(KslSceneBytes(AsSpan(c.body), 24, 4), c.bytes);
  // A long line holds its text outside the string.
  std::string body = SceneBody(1);
  const std::string line(100, 'x');
  body.replace(7 + 24 + 4, 4, std::string("\x64\x00\x00\x00", 4) + line);
  EXPECT_EQ(KslSceneBytes(AsSpan(body), 24, 4), SceneBytes(2, 1) + sizeof(std::string) + 101);
}

TEST(MemoryBudget, ASceneFileThatCannotFitIsRefusedAndChangesNothing) {
  ScratchDir dir;
  const std::string body = SceneBody(1'000'000);
  const std::string path = dir.Write("comments.ksl", Zip(body));
  const uint64_t sceneBytes = SceneBytes(2, 1) + 1'000'000 * sizeof(std::string);
  FormFixture f;
  f.form.FormResize(410 + FrameWidthAllowance, 300 + FrameHeightAllowance);
  const std::string before = DescribeState(f.form, f.controls);
  {
    // Room to unpack the body, not to read the lines it holds.
    const Budget budget(sceneBytes - 1);
    try {
      f.form.LoadKslFile(path);
      ADD_FAILURE() << "loaded";
    } catch (const NotEnoughMemory& e) {
      EXPECT_EQ(e.what(), NotEnoughMemoryMessage(path, body.size() + sceneBytes));
    }
    // Not even room to unpack it.
    try {
      const Budget small(1 << 20);
      f.form.LoadKslFile(path);
      ADD_FAILURE() << "loaded";
    } catch (const NotEnoughMemory& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Not enough memory to open \"" + path + "\"", 0), 0u);
    }
  }
  EXPECT_EQ(DescribeState(f.form, f.controls), before);
  {
    const Budget budget(sceneBytes);
    f.form.LoadKslFile(path);
  }
  EXPECT_EQ(f.form.CommentLines.size(), 1'000'000u);
}

// Under a real limit, through kestrel-render: what cannot fit says so, with the need, and what
// fits with one copy of its comment lines opens. (The command takes about 40 MB of data before
// it opens anything.)
TEST(MemoryBudget, UnderALimitTheCommandSaysWhatAFileNeeds) {
  SKIP_UNDER_THE_SANITIZER();
  ScratchDir dir;
  // Nearly 32 MiB of empty comment lines (so that the body, just within 32 MiB, is unpacked
  // without a growth beyond) in a file of 33 KB: 8 million lines.
  const uint32_t lines = (8u << 20) - 64;
  const std::string body = SceneBody(lines);
  const std::string ksl = dir.Write("comments.ksl", Zip(body));
  const uint64_t kslNeed = body.size() + SceneBytes(2, 1) + uint64_t{lines} * sizeof(std::string);
  // A model of two million point lines.
  const std::string tmb = dir.Write("points.tmb", PointLines(2'000'000));

  RunResult r = RenderUnderLimit(dir, ksl, 200'000);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, NotEnoughMemoryMessage(ksl, kslNeed) + "\n");
  r = RenderUnderLimit(dir, tmb, 300'000);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Not enough memory to open \"" + tmb + "\": it needs about 0.4 GB\n");

  // One copy of the lines fits in 600 MB; two would not.
  r = RenderUnderLimit(dir, ksl, 600'000);
  EXPECT_EQ(r.status, 0) << r.err;
  // Two points among 50 MB of blank lines need no more than the file.
  const std::string padded =
      dir.Write("padded.tmb", "0 0 0 0\n" + std::string(50'000'000, '\n') + "1 1 1 1\n");
  r = RenderUnderLimit(dir, padded, 300'000);
  EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace

namespace {

const MeshFormat kMeshFormat{"mesh", true};
const PointCloudFormat kCloudFormat{"cloud", false};

// The message a refused file gives, whatever its figure.
bool RefusedForMemory(const std::function<void()>& read, const std::string& path) {
  try {
    read();
  } catch (const NotEnoughMemory& e) {
    return std::string(e.what()).starts_with("Not enough memory to open \"" + path + "\"");
  }
  return false;
}

}  // namespace

// A mesh's reader asks, from the counts the library found, for the merging's tables and the
// model before it makes them: memory for the file alone is not enough.
TEST(MemoryBudget, EveryMeshReaderAsksBeyondTheFile) {
  struct Case {
    const char* name;
    std::string bytes;
    SceneData (*read)(const std::string&);
  };
  const Case cases[] = {
      {"quad.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n",
       [](const std::string& p) { return ReadMeshFile(p, kMeshFormat); }},
      {"tri.stl",
       "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
       "endloop\nendfacet\nendsolid t\n",
       [](const std::string& p) { return ReadMeshFile(p, kMeshFormat); }},
      {"tri.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n",
       [](const std::string& p) { return ReadOffFile(p, kMeshFormat); }},
      {"tri.ply",
       "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
       "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n"
       "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n",
       [](const std::string& p) { return ReadPlyFile(p, kMeshFormat); }},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.Write(c.name, c.bytes);
    {
      const Budget budget(c.bytes.size());
      EXPECT_TRUE(RefusedForMemory([&] { c.read(path); }, path));
    }
    const Budget budget(1 << 20);
    EXPECT_EQ(c.read(path).Points.size(), c.name[0] == 'q' ? 4u : 3u);
  }
}

// A point cloud's need is its points, their dots and what its frames work with: asked for
// exactly before anything is made for them.
TEST(MemoryBudget, APointCloudIsAskedForByItsPoints) {
  constexpr uint64_t kPoints = 1'000'000;
  constexpr uint64_t kModel = SceneBytes(kPoints, kPoints);
  ScratchDir dir;
  std::string text;
  for (uint64_t k = 0; k < kPoints; ++k) text += k % 2 == 0 ? "0 0 0\n" : "1 2 3\n";
  std::string ply = "ply\nformat binary_little_endian 1.0\nelement vertex " +
                    std::to_string(kPoints) +
                    "\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
  ply.append(kPoints * 12, '\0');

  struct Case {
    std::string path;
    // What the reader asks for: the XYZ reader never holds its text; the PLY reader counts
    // its points, about as large as the file, with the model.
    uint64_t need;
    std::function<SceneData(const std::string&)> read;
  };
  const Case cases[] = {
      {dir.Write("cloud.xyz", text), kModel,
       [](const std::string& p) { return ReadPointCloudFile(p, kCloudFormat); }},
      {dir.Write("cloud.ply", ply), kModel + ply.size(),
       [](const std::string& p) { return ReadPlyFile(p, kMeshFormat); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    {
      const Budget budget(c.need - 1);
      try {
        c.read(c.path);
        ADD_FAILURE() << "read with too little memory";
      } catch (const NotEnoughMemory& e) {
        EXPECT_EQ(e.what(), NotEnoughMemoryMessage(c.path, c.need));
      }
    }
    const Budget budget(c.need);
    EXPECT_EQ(c.read(c.path).Points.size(), kPoints);
  }
}
