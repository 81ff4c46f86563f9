// The native scene file: the exact bytes written, the three versions read, and that a refused
// load or a failed save leaves everything as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <sstream>
#include <tuple>

#include "form_state.h"
#include "formats/native_body.h"
#include "formats/zlib_stream.h"
#include "scene/colour_codes.h"
#include "support/child_process.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------------------------
// Bodies built byte by byte, independently of the writer.

class Bytes {
 public:
  Bytes& U8(uint8_t v) {
    s_.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes& I32(int32_t v) { return Le(static_cast<uint32_t>(v), 4); }
  Bytes& F32(float v) { return Le(std::bit_cast<uint32_t>(v), 4); }
  Bytes& F64(double v) { return Le(std::bit_cast<uint64_t>(v), 8); }
  Bytes& V(const Vec3& v) { return F64(v.x).F64(v.y).F64(v.z); }
  Bytes& Raw(const std::string& s) {
    s_ += s;
    return *this;
  }
  const std::string& str() const { return s_; }

 private:
  Bytes& Le(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) s_.push_back(static_cast<char>(v >> (8 * i)));
    return *this;
  }
  std::string s_;
};

struct TestSegment {
  uint8_t kind;
  int32_t first;
  int32_t second;  // lines
  float radius;    // points, version 3
  uint8_t red, green, blue;
};

// A scene as a file of any version holds it; the overrides write a count that does not match.
struct TestScene {
  uint8_t version = 3;
  uint8_t options[6] = {0, 1, 0, 1, 0, 1};
  float sharedRadius = 0.75f;  // versions 0 to 2
  Vec3 centre{1, 2, 3};
  std::vector<std::string> comments{"Cube", "  indented"};
  std::vector<Vec3> points{{0, 0, 0}, {10, 0, 0}, {0, 5, 0}};
  std::vector<TestSegment> segments{
      {0, 0, 1, 0, 255, 0, 0}, {1, 2, 0, 0.5f, 0, 128, 255}, {0, 2, 0, 0, 1, 2, 3}};
  std::optional<int32_t> commentCount, firstLineLength, pointCount, segmentCount;

  std::string Body() const {
    Bytes b;
    b.U8(version);
    for (int i = 0; i < 5; ++i) b.U8(options[i]);
    if (version >= 2) b.U8(options[5]);
    if (version < 3) b.F32(sharedRadius);
    b.V(centre);
    b.I32(commentCount.value_or(static_cast<int32_t>(comments.size())));
    for (size_t i = 0; i < comments.size(); ++i) {
      const int32_t n = static_cast<int32_t>(comments[i].size());
      b.I32(i == 0 ? firstLineLength.value_or(n) : n).Raw(comments[i]);
    }
    b.I32(pointCount.value_or(static_cast<int32_t>(points.size())));
    for (const Vec3& p : points) b.V(p);
    b.I32(segmentCount.value_or(static_cast<int32_t>(segments.size())));
    for (const TestSegment& s : segments) {
      b.U8(s.kind).I32(s.first);
      if (s.kind == 0) {
        b.I32(s.second);
      } else if (version >= 3) {
        b.F32(s.radius);
      }
      b.U8(s.red).U8(s.green).U8(s.blue);
    }
    return b.str();
  }
};

// zlib's own one-call compressor at level 9: what the writer must produce, byte for byte.
std::string Zip(const std::string& body) {
  uLongf size = compressBound(static_cast<uLong>(body.size()));
  std::string out(size, '\0');
  EXPECT_EQ(
      compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(body.data()), static_cast<uLong>(body.size()), 9),
      Z_OK);
  out.resize(size);
  return out;
}

std::string Unzip(const std::string& file) {
  const std::vector<uint8_t> body =
      DecompressStream({reinterpret_cast<const uint8_t*>(file.data()), file.size()}, 1 << 30);
  return {body.begin(), body.end()};
}

// A stream of `mebibytes` MiB of zeros, built without ever holding them: one MiB deflated up to
// a full flush is a run of blocks that refers to nothing before it, so copies of it chain.
std::string ZeroBomb(size_t mebibytes) {
  std::vector<uint8_t> zeros(1 << 20), block(1 << 16);
  z_stream s{};
  EXPECT_EQ(deflateInit2(&s, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  s.next_in = zeros.data();
  s.avail_in = static_cast<uInt>(zeros.size());
  s.next_out = block.data();
  s.avail_out = static_cast<uInt>(block.size());
  EXPECT_EQ(deflate(&s, Z_FULL_FLUSH), Z_OK);
  EXPECT_EQ(s.avail_in, 0u);
  block.resize(s.total_out);
  deflateEnd(&s);
  const uLong oneMiB = adler32(1, zeros.data(), static_cast<uInt>(zeros.size()));
  uLong check = adler32(0, nullptr, 0);
  std::string out = "\x78\xDA";
  for (size_t i = 0; i < mebibytes; ++i) {
    out.append(block.begin(), block.end());
    check = adler32_combine(check, oneMiB, 1 << 20);
  }
  out += std::string("\x03\x00", 2);  // the final block: empty, fixed codes
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(check >> shift));
  return out;
}

// The whole state a load or save might touch.

std::string Describe(const FormFixture& f) {
  return DescribeState(f.form, f.controls);
}

// A form showing a loaded model, then turned, panned, zoomed and with options and a spin of its
// own: a load that goes wrong must leave all of that alone.
struct LoadedForm : FormFixture {
  ScratchDir dir;
  LoadedForm() {
    form.FormResize(410 + FrameWidthAllowance, 300 + FrameHeightAllowance);
    form.LoadKslFile(dir.Write("shown.ksl", Zip(TestScene{}.Body())));
    controls.ClickCheckBox(kFlipZCheckBox);
    controls.SetCommandEnabled(Command::SaveAs, true);
    controls.TimerOn = true;
    form.ViewAxis = {0, 0.6, 0.8};
    form.UpAxis = {0, 0.8, -0.6};
    form.PanX = 2.5;
    form.PanY = -1;
    form.Scale = 7;
  }
};

// Expects the load to throw exactly `message` and to leave the whole state as it was.
void ExpectRefused(LoadedForm& f, const std::string& path, const std::string& message) {
  const std::string before = Describe(f);
  try {
    f.form.LoadKslFile(path);
    ADD_FAILURE() << "loaded " << path;
  } catch (const KestrelError& e) {
    EXPECT_EQ(e.what(), message);
  }
  EXPECT_EQ(Describe(f), before);
}

std::string Damaged(const std::string& path, const std::string& reason) {
  return "The KSL file \"" + path + "\" is damaged: " + reason;
}

PointRecord At(double x, double y, double z) {
  return PointRecord{{x, y, z}, {}, 0, 0};
}

SegmentRecord Line(int32_t a, int32_t b, uint32_t colour) {
  return SegmentRecord{0, 0, colour, a, b, 0};
}

SegmentRecord Dot(uint8_t kind, int32_t a, double radius, uint32_t colour) {
  return SegmentRecord{kind, radius, colour, a, 0, 0};
}

void SetModel(TForm1& f, std::vector<PointRecord> points, std::vector<SegmentRecord> segments) {
  f.Points = std::move(points);
  f.PointCount = static_cast<int32_t>(f.Points.size());
  f.Segments = std::move(segments);
  f.SegmentCount = static_cast<int32_t>(f.Segments.size());
}

// What a segment holds in a file, for comparing models whatever order a frame sorted them in.
auto Stored(const SegmentRecord& s) {
  const bool line = s.Kind == 0;
  return std::make_tuple(s.Kind, s.First, line ? s.Second : 0,
                         line ? 0.0 : double{static_cast<float>(s.Radius)}, s.Colour & 0xFFFFFFu);
}

std::vector<decltype(Stored(SegmentRecord{}))> StoredSegments(const std::vector<SegmentRecord>& v,
                                                              bool sorted) {
  std::vector<decltype(Stored(SegmentRecord{}))> out;
  for (const SegmentRecord& s : v) out.push_back(Stored(s));
  if (sorted) std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> DirEntries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `save` in a child process after `setup` (and, with `dropRoot`, without root's power to
// write where permissions forbid); returns the message it threw ("" when it threw nothing, "!..."
// when the child failed).
std::string ChildSaveMessage(bool dropRoot, const std::function<void()>& setup,
                             const std::function<void()>& save) {
  return RunInChild([&]() -> std::string {
    if (dropRoot && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    setup();
    try {
      save();
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  });
}

// A model of `n` points along a noisy line, which does not compress much.
void NoisyModel(TForm1& f, int n) {
  std::vector<PointRecord> points;
  std::vector<SegmentRecord> segments;
  uint32_t x = 12345;
  for (int i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    points.push_back(At(i, x / 65536.0, std::sqrt(i + 0.5)));
    if (i > 0) segments.push_back(Line(i - 1, i, x & 0xFFFFFFu));
  }
  SetModel(f, std::move(points), std::move(segments));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Saving

TEST(NativeFileSave, WritesTheVersion3BodyExactly) {
  FormFixture f;
  ScratchDir dir;
  f.controls.ClickCheckBox(kAliasCheckBox);  // off
  f.controls.ClickCheckBox(kWhiteBackCheckBox);
  f.controls.ClickCheckBox(kCircleFillCheckBox);
  f.form.Centre = {0.5, -1, 1e300};
  f.form.CommentLines = {"Two lines", ""};
  SetModel(f.form, {At(1, 2, 3), At(-0.0, 4.5, 6)},
           {Line(0, 1, MakeColor(3, 2, 1)), Dot(1, 1, 0.1, MakeColor(30, 20, 10))});
  const std::string path = (dir.path() / "small.ksl").string();
  f.form.SaveKslFile(path);

  Bytes body;
  body.U8(3).U8(0).U8(1).U8(0).U8(1).U8(0).U8(1);    // version, options
  body.V({0.5, -1, 1e300});                          // centre
  body.I32(2).I32(9).Raw("Two lines").I32(0);        // comment lines
  body.I32(2).V({1, 2, 3}).V({-0.0, 4.5, 6});        // points
  body.I32(2);                                       // segments: a line, then a point
  body.U8(0).I32(0).I32(1).U8(1).U8(2).U8(3);        // red, green, blue
  body.U8(1).I32(1).F32(0.1f).U8(10).U8(20).U8(30);  // radius as a float
  const std::string expected = body.str();
  const std::string file = ReadWholeFile(path);
  ASSERT_GE(file.size(), 2u);
  EXPECT_EQ(static_cast<uint8_t>(file[0]), 0x78);
  EXPECT_EQ(static_cast<uint8_t>(file[1]), 0xDA);
  EXPECT_EQ(Unzip(file), expected);
  EXPECT_EQ(file, Zip(expected));

  // No comment lines, no points, no segments: three zero counts.
  FormFixture empty;
  empty.form.SaveKslFile(path);
  EXPECT_EQ(
      Unzip(ReadWholeFile(path)),
      Bytes().U8(3).U8(1).U8(1).U8(0).U8(0).U8(0).U8(0).V({0, 0, 0}).I32(0).I32(0).I32(0).str());
}

TEST(NativeFileSave, RoundTripKeepsTheModelAndTheSegmentOrderOfTheLastFrame) {
  FormFixture f;
  ScratchDir dir;
  f.controls.ClickCheckBox(kFadeCheckBox);  // off
  f.controls.ClickCheckBox(kFlipZCheckBox);
  f.controls.ClickCheckBox(kFreeSpinCheckBox);
  f.form.Centre = {1.5, -2.25, 1e-300};
  f.form.CommentLines = {"first", "", std::string("tab\tand bytes \xE9\xFF", 16),
                         std::string(5000, 'w')};
  SetModel(f.form, {At(0, 0, 0), At(-0.0, 4e-320, 1e300), At(1.0 / 3, -7, 2), At(5, 5, 5)},
           {Line(0, 1, MakeColor(30, 20, 10)), Dot(1, 2, 0.1, MakeColor(0, 0, 255)),
            Dot(7, 3, 1e30, MakeColor(255, 255, 255)), Line(3, 0, MakeColor(40, 40, 40)),
            Dot(1, 0, -2, MakeColor(1, 1, 1))});
  // As a frame's depth sort would have left them.
  std::swap(f.form.Segments[0], f.form.Segments[4]);
  std::swap(f.form.Segments[1], f.form.Segments[3]);
  const std::string before = Describe(f);
  const std::string path = (dir.path() / "round.ksl").string();
  f.form.SaveKslFile(path);
  EXPECT_EQ(Describe(f), before) << "a save changes nothing in memory";

  // The file holds the segments in the order memory had them at the save.
  const std::string body = Unzip(ReadWholeFile(path));
  const SceneData saved =
      DecodeKslBody({reinterpret_cast<const uint8_t*>(body.data()), body.size()}, 24, 4);
  EXPECT_EQ(StoredSegments(saved.Segments, false), StoredSegments(f.form.Segments, false));

  FormFixture g;
  g.form.LoadKslFile(path);
  const TForm1& t = g.form;
  EXPECT_EQ(std::make_tuple(t.AntiAlias, t.Fade, t.FlipZ, t.WhiteBack, t.FreeSpin, t.FillCircles),
            std::make_tuple(true, false, true, false, true, false));
  EXPECT_EQ(std::vector<bool>(g.controls.Checks + 1, g.controls.Checks + 7),
            (std::vector<bool>{true, false, true, false, true, false}));
  EXPECT_EQ(std::bit_cast<uint64_t>(t.Centre.z), std::bit_cast<uint64_t>(1e-300));
  EXPECT_TRUE(t.CentreGiven);
  EXPECT_EQ(t.CommentLines, f.form.CommentLines);
  EXPECT_EQ(g.controls.Memo, f.form.CommentLines);
  ASSERT_EQ(t.PointCount, 4);
  ASSERT_EQ(t.Points.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    for (auto part : {&Vec3::x, &Vec3::y, &Vec3::z}) {
      EXPECT_EQ(std::bit_cast<uint64_t>(t.Points[i].Pos.*part),
                std::bit_cast<uint64_t>(f.form.Points[i].Pos.*part));
    }
  }
  EXPECT_EQ(t.SegmentCount, 5);
  // Compared as a set: the frame drawn after the load may have sorted them again.
  EXPECT_EQ(StoredSegments(t.Segments, true), StoredSegments(f.form.Segments, true));
  for (const SegmentRecord& s : t.Segments) {
    if (s.Kind == 7) {
      EXPECT_EQ(s.Radius, double{1e30f});
    }
    if (s.Kind == 1 && s.First == 2) {
      EXPECT_EQ(s.Radius, double{0.1f});
    }
  }
  EXPECT_EQ(t.CircleRadius, double{1e30f});
}

TEST(NativeFileSave, SavesTheCommentLinesAsReadNotAsTheMemoWrapsThem) {
  FormFixture f;
  ScratchDir dir;
  f.form.CommentLines = {std::string(300, 'x')};
  f.controls.Memo = {std::string(100, 'x'), std::string(100, 'x'), std::string(100, 'x')};
  const std::string path = (dir.path() / "c.ksl").string();
  f.form.SaveKslFile(path);
  FormFixture g;
  g.form.LoadKslFile(path);
  EXPECT_EQ(g.form.CommentLines, f.form.CommentLines);
  EXPECT_EQ(g.controls.Memo, f.form.CommentLines);
}

TEST(NativeFileSave, RefusesWhatItCouldNotOpenAgainAndKeepsTheOldFile) {
  struct Case {
    std::function<void(TForm1&)> spoil;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {[](TForm1& f) { f.Segments[1].Radius = 1e39; },
       "the circle radius of segment 1 is too large for the file's single-precision field"},
      {[](TForm1& f) { f.Segments[1].Radius = -INFINITY; },
       "the circle radius of segment 1 is not a finite number"},
      {[](TForm1& f) { f.Points[1].Pos.y = NAN; }, "point 1 is not a finite point"},
      {[](TForm1& f) { f.Centre.x = INFINITY; }, "the centre is not a finite point"},
      {[](TForm1& f) { f.Segments[0].Second = 2; },
       "segment 0 refers to a point that does not exist"},
      {[](TForm1& f) { f.Segments[1].First = -1; },
       "segment 1 refers to a point that does not exist"},
  };
  for (const Case& c : cases) {
    FormFixture f;
    ScratchDir dir;
    SetModel(f.form, {At(0, 0, 0), At(1, 1, 1)}, {Line(0, 1, 0), Dot(1, 1, 0.5, 0), Line(1, 0, 0)});
    // Far beyond a float, but a line's radius is never stored.
    f.form.Segments[2].Radius = 1e300;
    c.spoil(f.form);
    const std::string path = dir.Write("old.ksl", "old contents");
    const std::string before = Describe(f);
    try {
      f.form.SaveKslFile(path);
      ADD_FAILURE() << c.reason;
    } catch (const KestrelError& e) {
      EXPECT_EQ(e.what(), "Cannot save file \"" + path + "\": " + c.reason);
    }
    EXPECT_EQ(ReadWholeFile(path), "old contents");
    EXPECT_EQ(DirEntries(dir.path()), std::vector<std::string>{"old.ksl"});
    EXPECT_EQ(Describe(f), before);
  }
}

TEST(NativeFileSave, AFailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile) {
  FormFixture f;
  NoisyModel(f.form, 4000);
  const std::string before = Describe(f);

  for (bool fileWritable : {true, false}) {  // The folder does not let us write.
    ScratchDir dir;
    const std::string path = dir.Write("model.ksl", "old contents");
    fs::permissions(path, fileWritable ? fs::perms::all
                                       : fs::perms::owner_read | fs::perms::group_read |
                                             fs::perms::others_read);
    fs::permissions(dir.path(),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const std::string message = ChildSaveMessage(
        true, [] {}, [&] { f.form.SaveKslFile(path); });
    EXPECT_EQ(message, "Cannot save file \"" + path + "\": Permission denied") << fileWritable;
    EXPECT_EQ(ReadWholeFile(path), "old contents");
    EXPECT_EQ(DirEntries(dir.path()), std::vector<std::string>{"model.ksl"});
  }
  // The disk fills up part way: writes beyond 4 KiB fail as on a full disk. The small file fits
  // a write buffer, whose failure at the end must be seen too; the large one fails mid-write.
  for (int points : {250, 4000}) {
    FormFixture g;
    NoisyModel(g.form, points);
    ScratchDir dir;
    const std::string path = dir.Write("model.ksl", "old contents");
    const std::string message = ChildSaveMessage(
        false,
        [] {
          signal(SIGXFSZ, SIG_IGN);
          rlimit limit{};
          getrlimit(RLIMIT_FSIZE, &limit);
          limit.rlim_cur = 4096;
          setrlimit(RLIMIT_FSIZE, &limit);
        },
        [&] { g.form.SaveKslFile(path); });
    EXPECT_EQ(message, "Cannot save file \"" + path + "\": File too large") << points;
    EXPECT_EQ(ReadWholeFile(path), "old contents");
    EXPECT_EQ(DirEntries(dir.path()), std::vector<std::string>{"model.ksl"});
  }
  {  // The folder is gone.
    ScratchDir dir;
    const fs::path gone = dir.path() / "gone";
    fs::create_directory(gone);
    fs::remove(gone);
    const std::string path = (gone / "model.ksl").string();
    try {
      f.form.SaveKslFile(path);
      ADD_FAILURE() << "saved into a folder that is gone";
    } catch (const KestrelError& e) {
      EXPECT_EQ(e.what(), "Cannot save file \"" + path + "\": No such file or directory");
    }
    EXPECT_TRUE(DirEntries(dir.path()).empty());
  }
  {  // The name is a folder's.
    ScratchDir dir;
    const fs::path folder = dir.path() / "model.ksl";
    fs::create_directory(folder);
    try {
      f.form.SaveKslFile(folder.string());
      ADD_FAILURE() << "saved over a folder";
    } catch (const KestrelError& e) {
      EXPECT_EQ(e.what(), "Cannot save file \"" + folder.string() + "\": Is a directory");
    }
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(DirEntries(dir.path()), std::vector<std::string>{"model.ksl"});
  }
  EXPECT_EQ(Describe(f), before);

  // And when nothing fails, the new file replaces the old one.
  ScratchDir dir;
  const std::string path = dir.Write("model.ksl", "old contents");
  f.form.SaveKslFile(path);
  EXPECT_EQ(Unzip(ReadWholeFile(path)).size(), 7 + 24 + 4 + 4 + 24 * 4000 + 4 + 12 * 3999u);
  EXPECT_EQ(DirEntries(dir.path()), std::vector<std::string>{"model.ksl"});
}

TEST(NativeFileSave, SaveAsSavesOnlyWhenTheDialogIsConfirmed) {
  FormFixture f;
  ScratchDir dir;
  SetModel(f.form, {At(1, 2, 3)}, {Dot(1, 0, 2, MakeColor(1, 2, 3))});
  f.form.SaveAs1Click();
  EXPECT_EQ(f.controls.LastSaveKind, SaveDialogKind::Scene);
  EXPECT_TRUE(DirEntries(dir.path()).empty());

  const std::string path = (dir.path() / "chosen.ksl").string();
  f.controls.NextSave = path;
  f.form.SaveAs1Click();
  EXPECT_EQ(f.controls.LastSaveKind, SaveDialogKind::Scene);
  FormFixture g;
  g.form.LoadKslFile(path);
  ASSERT_EQ(g.form.Segments.size(), 1u);
  EXPECT_EQ(g.form.Segments[0].Radius, 2);
  EXPECT_TRUE(f.controls.Messages.empty());
}

// ---------------------------------------------------------------------------------------------
// Loading

TEST(NativeFileLoad, ShowsTheStoredOptionsWithoutDrawingOrRecolouring) {
  LoadedForm f;
  TestScene scene;
  scene.options[0] = 0;  // anti-aliasing off
  scene.options[3] = 1;  // white background: the file's white line stays white
  scene.options[4] = 0;  // free spin off: unchanged, so the running timer is not stopped
  scene.segments[0] = {0, 0, 1, 0, 255, 255, 255};
  const int frames = f.controls.FramesPresented;
  f.form.LoadKslFile(f.dir.Write("b.ksl", Zip(scene.Body())));
  EXPECT_EQ(f.controls.FramesPresented, frames + 1) << "one frame, drawn at the end";
  EXPECT_FALSE(f.form.NoModel);
  EXPECT_TRUE(f.controls.TimerOn);
  EXPECT_EQ(std::make_tuple(f.form.AntiAlias, f.form.Fade, f.form.FlipZ, f.form.WhiteBack,
                            f.form.FreeSpin, f.form.FillCircles),
            std::make_tuple(false, true, false, true, false, true));
  const auto white = std::find_if(f.form.Segments.begin(), f.form.Segments.end(),
                                  [](const SegmentRecord& s) { return s.First == 0; });
  ASSERT_NE(white, f.form.Segments.end());
  EXPECT_EQ(white->Colour, MakeColor(255, 255, 255));
  // The view starts afresh about the stored centre.
  EXPECT_EQ(std::make_tuple(f.form.ViewAxis.z, f.form.UpAxis.y, f.form.PanX, f.form.PanY),
            std::make_tuple(1.0, 1.0, 0.0, 0.0));

  scene.options[4] = 1;  // a change of free spin stops the spin
  f.form.LoadKslFile(f.dir.Write("c.ksl", Zip(scene.Body())));
  EXPECT_FALSE(f.controls.TimerOn);
  EXPECT_TRUE(f.form.FreeSpin);
}

TEST(NativeFileLoad, OlderVersionsShareOneRadiusAndVersion1KeepsFillCircles) {
  for (uint8_t version : {0, 1, 2}) {
    for (bool fillBefore : {false, true}) {
      FormFixture f;
      ScratchDir dir;
      if (fillBefore) f.controls.ClickCheckBox(kCircleFillCheckBox);
      TestScene scene;
      scene.version = version;
      scene.options[5] = 0;  // written for version 2 only
      scene.sharedRadius = 0.1f;
      scene.segments.push_back({5, 0, 0, 0, 9, 8, 7});
      f.form.LoadKslFile(dir.Write("old.ksl", Zip(scene.Body())));
      const bool fill = version == 2 ? false : fillBefore;
      EXPECT_EQ(f.form.FillCircles, fill) << int{version};
      EXPECT_EQ(f.controls.Checks[kCircleFillCheckBox], fill) << int{version};
      EXPECT_EQ(f.form.Centre.z, 3);
      EXPECT_EQ(f.controls.Memo, scene.comments);
      ASSERT_EQ(f.form.Segments.size(), 4u);
      for (const SegmentRecord& s : f.form.Segments) {
        if (s.Kind == 0) continue;
        EXPECT_EQ(s.Radius, double{0.1f}) << int{version};
      }
      EXPECT_EQ(f.form.CircleRadius, double{0.1f});
      EXPECT_EQ(StoredSegments(f.form.Segments, true)[0],
                std::make_tuple(uint8_t{0}, 0, 1, 0.0, MakeColor(0, 0, 255)));
    }
  }
}

TEST(NativeFileLoad, CircleRadiusIsTheLargestPointRadiusAndNeverBelowZero) {
  FormFixture f;
  ScratchDir dir;
  TestScene scene;
  scene.segments = {{1, 0, 0, -3, 0, 0, 0}, {0, 0, 1, 0, 0, 0, 0}};
  f.form.LoadKslFile(dir.Write("a.ksl", Zip(scene.Body())));
  EXPECT_EQ(f.form.CircleRadius, 0);
  EXPECT_EQ(f.form.Segments[0].Radius + f.form.Segments[1].Radius, -3) << "kept as stored";
  scene.segments = {{1, 0, 0, 0.25f, 0, 0, 0}, {1, 1, 0, 2.5f, 0, 0, 0}, {1, 2, 0, 1, 0, 0, 0}};
  f.form.LoadKslFile(dir.Write("b.ksl", Zip(scene.Body())));
  EXPECT_EQ(f.form.CircleRadius, 2.5);
}

TEST(NativeFileLoad, TheStoredCentreIsKeptByTheFit) {
  FormFixture f;
  ScratchDir dir;
  f.form.FormResize(410 + FrameWidthAllowance, 300 + FrameHeightAllowance);
  TestScene scene;
  scene.centre = {0, 0, 0};
  scene.points = {{0, 0, 0}, {10, 0, 0}};
  scene.segments = {{0, 0, 1, 0, 1, 1, 1}};
  f.form.LoadKslFile(dir.Write("a.ksl", Zip(scene.Body())));
  EXPECT_TRUE(f.form.CentreGiven);
  EXPECT_EQ(std::make_tuple(f.form.Centre.x, f.form.Centre.y, f.form.Centre.z),
            std::make_tuple(0.0, 0.0, 0.0));
  EXPECT_EQ(f.form.ModelDiameter, 20.0f);
  EXPECT_EQ(f.form.Scale, 14.5);
  EXPECT_EQ(f.form.InitialScale, 14.5);
}

TEST(NativeFileLoad, OpeningOneFileAfterAnotherShowsOnlyTheSecondsComments) {
  FormFixture f;
  ScratchDir dir;
  TestScene a, b;
  a.comments = {"a1", "a2", "a3"};
  b.comments = {"b1"};
  f.form.LoadKslFile(dir.Write("a.ksl", Zip(a.Body())));
  f.form.LoadKslFile(dir.Write("b.ksl", Zip(b.Body())));
  EXPECT_EQ(f.controls.Memo, b.comments);
  EXPECT_EQ(f.form.CommentLines, b.comments);
  b.comments.clear();
  f.form.LoadKslFile(dir.Write("c.ksl", Zip(b.Body())));
  EXPECT_TRUE(f.controls.Memo.empty());
  EXPECT_TRUE(f.form.CommentLines.empty());
}

TEST(NativeFileLoad, BytesAfterTheStreamAreIgnored) {
  LoadedForm f;
  TestScene scene;
  scene.comments = {"padded"};
  f.form.LoadKslFile(f.dir.Write("p.ksl", Zip(scene.Body()) + std::string(100, '\0') + "junk"));
  EXPECT_EQ(f.controls.Memo, scene.comments);
  EXPECT_EQ(f.form.Points.size(), 3u);
}

TEST(NativeFileLoad, ANewerVersionIsRefusedWithItsMessageAndNothingChanges) {
  for (uint8_t version : {4, 255}) {
    LoadedForm f;
    const std::string path = f.dir.Write("new.ksl", Zip(std::string(1, char(version)) + "rest"));
    const std::string before = Describe(f);
    f.form.LoadKslFile(path);
    ASSERT_EQ(
        f.controls.Messages,
        std::vector<std::string>{"That KSL file is not compatible with this version of Kestrel"});
    EXPECT_EQ(f.controls.MessageDetails,
              std::vector<std::string>{"new.ksl: format version " + std::to_string(version) +
                                       ", this version reads 0 to 3"});
    f.controls.Messages.clear();
    f.controls.MessageDetails.clear();
    EXPECT_EQ(Describe(f), before);
  }
}

TEST(NativeFileLoad, AFileThatCannotBeReadOrIsNotZlibChangesNothing) {
  LoadedForm f;
  ExpectRefused(f, f.dir.Write("text.ksl", "# a Tumbra file\n0 0 0 1\n"), "Error");
  ExpectRefused(f, f.dir.Write("empty.ksl", ""), "Error");
  const std::string zipped = Zip(TestScene{}.Body());
  ExpectRefused(f, f.dir.Write("cut.ksl", zipped.substr(0, zipped.size() - 1)), "Error");
  const std::string missing = (f.dir.path() / "missing.ksl").string();
  ExpectRefused(f, missing, "Cannot open file \"" + missing + "\": No such file or directory");
  const std::string folder = (f.dir.path() / "folder.ksl").string();
  fs::create_directory(folder);
  ExpectRefused(f, folder, "Cannot open file \"" + folder + "\": Is a directory");
  // Larger than any stream an accepted body compresses to: refused before a byte is read
  // (the file is sparse, so the test writes nothing).
  const std::string huge = f.dir.Write("huge.ksl", zipped);
  fs::resize_file(huge, compressBound(kMaxKslBodyBytes) + 1);
  ExpectRefused(f, huge,
                "Cannot open file \"" + huge + "\": it is larger than " +
                    std::to_string(compressBound(kMaxKslBodyBytes)) + " bytes");
}

TEST(NativeFileLoad, ADamagedBodyIsRefusedAndNothingChanges) {
  LoadedForm f;
  struct Case {
    std::function<void(TestScene&)> spoil;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {[](TestScene& s) { s.commentCount = -1; }, "the number of comment lines is negative (-1)"},
      {[](TestScene& s) { s.firstLineLength = -3; },
       "the number of characters in a comment line is negative (-3)"},
      {[](TestScene& s) { s.pointCount = std::numeric_limits<int32_t>::min(); },
       "the number of points is negative (-2147483648)"},
      {[](TestScene& s) { s.segmentCount = -1; }, "the number of segments is negative (-1)"},
      // Counts the rest of the body cannot hold: refused before any allocation for them.
      {[](TestScene& s) { s.commentCount = 0x7FFFFFFF; },
       "it claims 2147483647 comment lines but has room for at most 34"},
      {[](TestScene& s) { s.firstLineLength = 200; },
       "it claims 200 characters in a comment line but has room for at most 134"},
      {[](TestScene& s) { s.pointCount = 0x7FFFFFFF; },
       "it claims 2147483647 points but has room for at most 4"},
      {[](TestScene& s) { s.segmentCount = 4; }, "it claims 4 segments but has room for at most 3"},
      {[](TestScene& s) { s.segments[0].first = 3; },
       "segment 0 refers to point 3, but there are 3 points"},
      {[](TestScene& s) { s.segments[1].first = -1; },
       "segment 1 refers to point -1, but there are 3 points"},
      {[](TestScene& s) { s.segments[2].second = 1000; },
       "segment 2 refers to point 1000, but there are 3 points"},
      {[](TestScene& s) { s.points[1].y = NAN; }, "point 1 is not a finite point"},
      {[](TestScene& s) { s.points[2].z = -INFINITY; }, "point 2 is not a finite point"},
      {[](TestScene& s) { s.centre.x = INFINITY; }, "the centre is not a finite point"},
      {[](TestScene& s) { s.segments[1].radius = NAN; },
       "the circle radius of segment 1 is not a finite number"},
      {[](TestScene& s) {
         s.version = 2;
         s.sharedRadius = INFINITY;
       },
       "the circle radius is not a finite number"},
  };
  for (const Case& c : cases) {
    TestScene scene;
    c.spoil(scene);
    const std::string path = f.dir.Write("damaged.ksl", Zip(scene.Body()));
    ExpectRefused(f, path, Damaged(path, c.reason));
  }

  const std::string path = (f.dir.path() / "damaged.ksl").string();
  f.dir.Write("damaged.ksl", Zip(TestScene{}.Body() + "xy"));
  ExpectRefused(f, path, Damaged(path, "it holds 2 bytes after its last segment"));

  // Cut short anywhere: inside every field of every part.
  const std::string body = TestScene{}.Body();
  for (size_t n = 0; n < body.size(); ++n) {
    f.dir.Write("damaged.ksl", Zip(body.substr(0, n)));
    const std::string before = Describe(f);
    try {
      f.form.LoadKslFile(path);
      ADD_FAILURE() << "loaded " << n << " bytes";
    } catch (const KestrelError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(Damaged(path, ""), 0), 0u) << e.what();
    }
    EXPECT_EQ(Describe(f), before) << n;
  }
  f.dir.Write("damaged.ksl", Zip(""));
  ExpectRefused(f, path, Damaged(path, "it ends inside the version"));
  f.dir.Write("damaged.ksl", Zip(body.substr(0, 43)));
  ExpectRefused(f, path,
                Damaged(path, "it ends inside the number of characters in a comment line"));
  f.dir.Write("damaged.ksl", Zip(body.substr(0, 49)));
  ExpectRefused(
      f, path,
      Damaged(path, "it claims 10 characters in a comment line but has room for at most 2"));
  f.dir.Write("damaged.ksl", Zip(body.substr(0, body.size() - 1)));
  ExpectRefused(f, path, Damaged(path, "it claims 3 segments but has room for at most 2"));
  // Version 2 point segments are shorter than lines, so the count alone cannot tell.
  TestScene older;
  older.version = 2;
  const std::string olderBody = older.Body();
  f.dir.Write("damaged.ksl", Zip(olderBody.substr(0, olderBody.size() - 1)));
  ExpectRefused(f, path, Damaged(path, "it ends inside the segments"));
}

TEST(NativeFileLoad, AFileCutAnywhereInItsCompressedDataChangesNothing) {
  LoadedForm f;
  const std::string file = Zip(TestScene{}.Body());
  const std::string path = (f.dir.path() / "cut.ksl").string();
  for (size_t n = 0; n < file.size(); ++n) {
    f.dir.Write("cut.ksl", file.substr(0, n));
    ExpectRefused(f, path, "Error");
  }
  // The whole file still loads: the cuts, not the scene, were refused.
  f.dir.Write("cut.ksl", file);
  f.form.LoadKslFile(path);
  EXPECT_EQ(f.form.CommentLines, TestScene{}.comments);
}

TEST(NativeFileLoad, ABodyBeyondTheBoundIsRefusedBeforeMemoryRunsOut) {
  // The bomb is sound: two MiB of it come back as two MiB of zeros.
  EXPECT_EQ(Unzip(ZeroBomb(2)), std::string(2 << 20, '\0'));
  LoadedForm f;
  const std::string bomb = ZeroBomb((kMaxKslBodyBytes >> 20) + 1);
  ASSERT_LT(bomb.size(), 2u << 20);
  const std::string path = f.dir.Write("bomb.ksl", bomb);
  ExpectRefused(f, path,
                "The KSL file \"" + path +
                    "\" unpacks to more than 1024 MiB, more than any model it could hold");
}

// ---------------------------------------------------------------------------------------------
// The commands that open a native file

TEST(NativeFileCommands, OpenAndStartUpReadNativeFiles) {
  FormFixture f;
  ScratchDir dir;
  const std::string good = dir.Write("a.KSL", Zip(TestScene{}.Body()));
  f.form.FormShow(good);
  EXPECT_EQ(f.form.Points.size(), 3u);
  EXPECT_FALSE(f.controls.IsEnabled(Command::SaveAs));

  TestScene damaged;
  damaged.segmentCount = -1;
  f.controls.NextOpen = HeadlessControls::OpenAnswer{dir.Write("d.ksl", Zip(damaged.Body())), 2};
  EXPECT_THROW(f.form.Open1Click(), KestrelError);
  EXPECT_FALSE(f.controls.IsEnabled(Command::SaveAs));

  f.controls.NextOpen = HeadlessControls::OpenAnswer{good, 2};
  f.form.Open1Click();
  EXPECT_TRUE(f.controls.IsEnabled(Command::SaveAs));
}
