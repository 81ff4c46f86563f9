// kestrel-render end to end: the pictures it writes are the frames a TForm1 draws in-process,
// failures give the window's message and a non-zero status, usage errors give status 2.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <regex>
#include <string>
#include <vector>

#include "support/protein_files.h"
#include "support/tumbra_model.h"
#include "test_support.h"
#include "video_decode.h"

namespace {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// A path quoted for the shell (the test paths hold no quotes). Built by appending: GCC 12
// warns falsely about chained string concatenation at -O3.
std::string Quote(const std::string& path) {
  std::string quoted = "'";
  quoted += path;
  quoted += '\'';
  return quoted;
}

// The arguments of one run: the model, "-o", the output, then `extra` as it stands.
std::string Args(const std::string& model, const std::string& output,
                 const std::string& extra = "") {
  std::string args = Quote(model);
  args += " -o ";
  args += Quote(output);
  args += ' ';
  args += extra;
  return args;
}

// Runs a shell command and collects its output.
Result RunShell(const ScratchDir& dir, std::string command) {
  const std::string out = (dir.path() / "stdout.txt").string();
  const std::string err = (dir.path() / "stderr.txt").string();
  command += " >";
  command += Quote(out);
  command += " 2>";
  command += Quote(err);
  const int raw = std::system(command.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadWholeFile(out);
  r.err = ReadWholeFile(err);
  return r;
}

// Runs kestrel-render with `args` (already quoted where needed) and collects its output. The
// shell runs `before` first (a limit to set, say).
Result RunRender(const ScratchDir& dir, const std::string& args, const std::string& before = "") {
  std::string command = before;
  command += Quote(KESTREL_RENDER_PATH);
  command += ' ';
  command += args;
  return RunShell(dir, command);
}

// Units other helpers build may still be stubs in this tree; such a run says so and is skipped.
#define SKIP_IF_NOT_BUILT(result)                                     \
  if ((result).err.find("not built yet") != std::string::npos) {      \
    GTEST_SKIP() << "needs a unit not merged here: " << (result).err; \
  }

// A coloured cube with a circle at one corner and a dot, as a Tumbra file.
const std::string kCubeBody =
    "s circlediameter 0.4\n"
    "-1 -1 -1 0\n"
    "1 -1 -1 1\n"
    "1 1 -1 2\n"
    "-1 1 -1 3\n"
    "-1 -1 -1 4\n"
    "-1 -1 1 5\n"
    "1 -1 1 6\n"
    "1 1 1 200 100 50\n"
    "-1 1 1 1\n"
    "-1 -1 1 2\n"
    "1 1 -1 -3\n"
    "0 0 0 -2 0 0\n";
const std::string kCubeModel = "# test cube\n\n" + kCubeBody;

struct RenderedForm : FormFixture {
  RenderedForm(const std::string& model, int width, int height) {
    form.FormResize(width + FrameWidthAllowance, height + FrameHeightAllowance);
    form.FormShow(model);
  }
};

// The 32-bit BMP's pixel bytes, top row first, as blue, green, red, unused.
std::vector<uint8_t> BmpPixels(const std::string& bytes, int& width, int& height) {
  const auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
  };
  const uint32_t offset = u32(10);
  width = static_cast<int>(u32(18));
  height = static_cast<int>(u32(22));
  std::vector<uint8_t> top(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    const size_t from = offset + static_cast<size_t>(height - 1 - y) * width * 4;
    for (int i = 0; i < width * 4; ++i)
      top[static_cast<size_t>(y) * width * 4 + i] = bytes[from + i];
  }
  return top;
}

TEST(RenderCli, UsageErrorsExitWithTwo) {
  ScratchDir dir;
  const std::string model = Quote(dir.Write("m.tmb", kCubeModel));
  const std::string txt = Quote(dir.Write("m.doc", kCubeModel));
  const std::string out = Quote((dir.path() / "o.png").string());
  const std::string run = model + " -o " + out + " ";
  const std::string bad[] = {
      "",
      "--zoom 2 -o " + out,
      model,
      run + "--frobnicate",
      run + "--zoom abc",
      run + "--zoom inf",
      run + "--zoom nan",
      run + "--zoom 1e999",
      run + "--zoom 0",
      run + "--zoom '2 '",
      run + "--zoom 0x10",
      run + "--turn 10",
      run + "--turn 10,x",
      run + "--pan 1,2,3",
      run + "--size 0x5",
      run + "--size 0",
      run + "--size 10x",
      run + "--size x10",
      run + "--size 10x10x",
      run + "--format jpg",
      run + "--format",
      model + " -o " + Quote((dir.path() / "thumbnail").string()),
      run + "--antialias maybe",
      run + "--threads 0",
      run + "--threads 257",
      run + "--threads two",
      run + "--threads -1",
      run + "--threads",
      run + "--fade",
      txt + " -o " + out,
      model + " -o " + model + ".jpg",
      model + " " + model + " -o " + out,
  };
  for (const std::string& args : bad) {
    const Result r = RunRender(dir, args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err.find("usage: kestrel-render"), std::string::npos) << args;
  }

  // The version, whatever else is wrong; the usage wins over it.
  const Result version = RunRender(dir, run + "--zoom abc --version");
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(
      std::regex_match(version.out, std::regex("kestrel-render [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << version.out;
  EXPECT_TRUE(version.err.empty());
  EXPECT_EQ(RunRender(dir, "--version --help").out.find("usage: kestrel-render"), 0u);

  const Result help = RunRender(dir, run + "--zoom abc --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.find("usage: kestrel-render"), 0u);
  EXPECT_TRUE(help.err.empty());
  // Each option's lines, its description in the column, a long one carried over under it.
  for (const char* lines : {
           "\n  --format png|bmp|ksl    what to write, whatever OUTPUT's name (a thumbnailer's "
           "output\n                          file may have no extension)\n",
           "\n  --threads N             draw with N threads (default: KESTREL_THREADS, else one a "
           "core);\n                          the picture and the file are the same with any "
           "number\n\noptions, applied",
           "\n  --fill-circles on|off   tick or untick Fill Circles\n",
           "\n  --pan X,Y               move the picture X pixels right and Y pixels up\n"
           "\nturntables: ",
           "\n  --axis AXIS             vertical: turn about the screen's vertical axis, as a "
           "drag to\n",
           "as an upward drag\n  --help                  show this text\n",
       }) {
    EXPECT_NE(help.out.find(lines), std::string::npos) << lines;
  }
}

TEST(RenderCli, AnyNumberOfThreadsWritesTheSameBytes) {
  // A model large enough for every pass to be shared out: lines, circles and moves.
  ScratchDir dir;
  const std::filesystem::path model = dir.path() / "large.tmb";
  WriteTumbraModel(model, 60000);
  const struct {
    const char* extra;
    const char* environment;
  } runs[] = {{"--threads 1", ""},
              {"--threads 2", ""},
              {"--threads 3", ""},
              {"", "KESTREL_THREADS=3 "},
              {"--threads 1", "KESTREL_THREADS=3 "}};
  for (const char* options : {"--turn 20,10", "--turn 20,10 --antialias off --fill-circles on"}) {
    std::vector<std::string> pictures, scenes;
    for (const auto& run : runs) {
      for (const char* format : {"png", "ksl"}) {
        const std::string out = (dir.path() / (std::string("out.") + format)).string();
        const Result r =
            RunRender(dir, Args(model.string(), out, std::string(options) + " " + run.extra),
                      run.environment);
        SKIP_IF_NOT_BUILT(r);
        ASSERT_EQ(r.status, 0) << r.err;
        (format == std::string("png") ? pictures : scenes).push_back(ReadWholeFile(out));
      }
    }
    for (size_t k = 1; k < pictures.size(); ++k) {
      EXPECT_EQ(pictures[k], pictures[0])
          << options << ", " << runs[k].extra << " " << runs[k].environment;
      EXPECT_EQ(scenes[k], scenes[0])
          << options << ", " << runs[k].extra << " " << runs[k].environment;
    }
  }
}

TEST(RenderCli, AModelThatCannotBeReadGivesTheWindowsMessage) {
  ScratchDir dir;
  const std::string out = (dir.path() / "o.png").string();
  const Result missing = RunRender(dir, Args((dir.path() / "none.TMB").string(), out));
  SKIP_IF_NOT_BUILT(missing);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Error reading text file: none.TMB: No such file or directory\n");
  EXPECT_FALSE(std::filesystem::exists(out));

  const std::string bad = dir.Write("bad.tmb", "# x\n\n1 2\n");
  const Result badLine = RunRender(dir, Args(bad, out));
  EXPECT_EQ(badLine.status, 1);
  EXPECT_EQ(badLine.err, "Error reading text file: bad.tmb, line 3, column 3: no number\n");
}

// `kestrel-render part.stl -o part.ksl` converts: the scene file holds the imported model and
// its memo. A file the importer refuses fails the run with the importer's message.
TEST(RenderCli, ConvertsOtherProgramsFilesAndFailsOnTheRefusedOnes) {
  ScratchDir dir;
  const std::string stl = dir.Write("tetra.STL",
                                    "solid t\n"
                                    "facet normal 0 0 0\nouter loop\nvertex 0 0 0\nvertex 1 0 "
                                    "0\nvertex 0 1 0\nendloop\nendfacet\n"
                                    "facet normal 0 0 0\nouter loop\nvertex 0 0 0\nvertex 0 1 "
                                    "0\nvertex 0 0 1\nendloop\nendfacet\n"
                                    "endsolid t\n");
  const std::string ksl = (dir.path() / "tetra.ksl").string();
  const Result r = RunRender(dir, Args(stl, ksl));
  SKIP_IF_NOT_BUILT(r);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty());
  FormFixture f;
  f.form.FormResize(100 + FrameWidthAllowance, 100 + FrameHeightAllowance);
  f.form.LoadKslFile(ksl);
  EXPECT_EQ(f.form.PointCount, 4);
  EXPECT_EQ(f.form.SegmentCount, 5);
  EXPECT_EQ(f.controls.Memo,
            (std::vector<std::string>{"tetra.STL", "STL", "4 points, 5 lines, 0 dots"}));

  const std::string bad = dir.Write("bad.obj", "v 0 0 0\nf 1 2 3\n");
  const std::string out = (dir.path() / "bad.png").string();
  const Result refused = RunRender(dir, Args(bad, out));
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            "The Wavefront OBJ file \"" + bad + "\" is damaged: OBJ: vertex index out of range\n");
  EXPECT_FALSE(std::filesystem::exists(out));

  const std::string empty = dir.Write("empty.pdb", "");
  const Result molecule = RunRender(dir, Args(empty, out));
  EXPECT_EQ(molecule.status, 1);
  EXPECT_EQ(molecule.err, "The PDB file \"" + empty + "\" is damaged: it is empty\n");
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(RenderCli, MessagesAfterWhichTheLoadGoesOnDoNotFailTheRun) {
  ScratchDir dir;
  const std::string model = dir.Write("m.tmb", "# x\n\ns sparkle\n" + kCubeBody);
  const std::string out = (dir.path() / "o.png").string();
  const Result r = RunRender(dir, Args(model, out));
  SKIP_IF_NOT_BUILT(r);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "unrecognized switch in text file: m.tmb, line 3: \"sparkle\"\n");
  EXPECT_TRUE(QImage(QString::fromStdString(out)).width() == 601);
}

// A generated protein of `atoms` atoms as a PDB file without CONECT records.
std::string ProteinPdb(const ScratchDir& dir, int32_t atoms) {
  const std::string path = (dir.path() / "protein.pdb").string();
  WritePdbFile(path, MakeProtein(atoms), false);
  return path;
}

// A Tumbra model, and molecules (which the chemistry libraries must read without a word on the
// standard streams).
TEST(RenderCli, BmpHoldsExactlyTheFrameTheFormDraws) {
  ScratchDir dir;
  const std::string models[] = {
      dir.Write("cube.tmb", kCubeModel),
      std::string(KESTREL_SOURCE_DIR) + "/examples/caffeine.sdf",
      ProteinPdb(dir, 200),
  };
  for (const std::string& model : models) {
    SCOPED_TRACE(model);
    const std::string out = (dir.path() / "picture.BMP").string();
    const Result r = RunRender(dir, Args(model, out));
    SKIP_IF_NOT_BUILT(r);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;

    RenderedForm expected(model, 601, 593);
    ASSERT_TRUE(expected.controls.Messages.empty());
    expected.form.Render();
    int width = 0, height = 0;
    const std::vector<uint8_t> pixels = BmpPixels(ReadWholeFile(out), width, height);
    ASSERT_EQ(width, 601);
    ASSERT_EQ(height, 593);
    int lit = 0;
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = expected.form.FrameBitmap.constScanLine(y);
      for (int x = 0; x < width; ++x) {
        const uint8_t* file = &pixels[(static_cast<size_t>(y) * width + x) * 4];
        for (int c = 0; c < 3; ++c) ASSERT_EQ(file[c], row[4 * x + c]) << x << "," << y;
        ASSERT_EQ(file[3], 0) << "the unused byte is written as 0";
        lit += file[0] + file[1] + file[2] != 0;
      }
    }
    EXPECT_GT(lit, 1000) << "the model is in the picture";
  }
}

TEST(RenderCli, OptionsAndViewChangesActAsTheWindowsControls) {
  ScratchDir dir;
  const std::string model = dir.Write("cube.tmb", kCubeModel);
  const std::string out = (dir.path() / "cube.png").string();
  const Result r = RunRender(dir, Args(model, out,
                                       "--size 240x150 --white-back on --fade off "
                                       "--fill-circles on --antialias on --turn 30,-20 "
                                       "--zoom=1.5 --pan +10,-5.5"));
  SKIP_IF_NOT_BUILT(r);
  ASSERT_EQ(r.status, 0) << r.err;

  RenderedForm expected(model, 240, 150);
  expected.controls.SetCheckBoxChecked(kFadeCheckBox, false);
  expected.controls.SetCheckBoxChecked(kWhiteBackCheckBox, true);
  expected.controls.SetCheckBoxChecked(kCircleFillCheckBox, true);
  expected.form.RotateCam(1, 30 * std::numbers::pi / 180);
  expected.form.RotateCam(0, -20 * std::numbers::pi / 180);
  expected.form.Scale *= 1.5;
  expected.form.PanX += 10 / expected.form.Scale;
  expected.form.PanY += -5.5 / expected.form.Scale;
  expected.form.Render();
  ASSERT_TRUE(expected.controls.Messages.empty());

  const QImage written(QString::fromStdString(out));
  ASSERT_EQ(written.size(), QSize(240, 150));
  for (int y = 0; y < 150; ++y) {
    for (int x = 0; x < 240; ++x) {
      ASSERT_EQ(written.pixel(x, y) & 0xFFFFFFu, expected.form.FrameBitmap.pixel(x, y) & 0xFFFFFFu)
          << x << "," << y;
    }
  }
  EXPECT_EQ(written.pixel(0, 0) & 0xFFFFFFu, 0xFFFFFFu) << "white background";
}

// --zoom and --pan go through the keys' checked zoom and pan: a view the keys could not reach
// fails with the text the window's error box would show, and writes nothing.
TEST(RenderCli, AZoomOrPanTheKeysWouldRefuseFailsWithTheirMessage) {
  ScratchDir dir;
  const std::string model = dir.Write("cube.tmb", kCubeModel);
  const std::string out = (dir.path() / "cube.png").string();
  for (const char* view : {"--zoom 1e308", "--zoom 1e-300 --pan 0,1e300"}) {
    const Result r = RunRender(dir, Args(model, out, view));
    SKIP_IF_NOT_BUILT(r);
    EXPECT_EQ(r.status, 1) << view;
    EXPECT_EQ(r.err, "Floating point overflow\n") << view;
    EXPECT_FALSE(std::filesystem::exists(out)) << view;
  }
}

// What a thumbnailer asks for: one number for a square frame, and an output name that need not
// end in .png.
TEST(RenderCli, SquareSizeAndFormatWhateverTheOutputsName) {
  ScratchDir dir;
  const std::string model = dir.Write("cube.tmb", kCubeModel);
  const std::string thumbnail = (dir.path() / "thumbnail").string();
  const Result r = RunRender(dir, Args(model, thumbnail, "--size 64 --format png"));
  SKIP_IF_NOT_BUILT(r);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadWholeFile(thumbnail).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  const QImage written(QString::fromStdString(thumbnail), "png");
  ASSERT_EQ(written.size(), QSize(64, 64));
  RenderedForm expected(model, 64, 64);
  expected.form.Render();
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      ASSERT_EQ(written.pixel(x, y) & 0xFFFFFFu, expected.form.FrameBitmap.pixel(x, y) & 0xFFFFFFu)
          << x << "," << y;
    }
  }

  // The format wins over the name's extension; WxH still works beside it.
  const std::string named = (dir.path() / "picture.png").string();
  const Result bmp = RunRender(dir, Args(model, named, "--format=bmp --size 30X20"));
  ASSERT_EQ(bmp.status, 0) << bmp.err;
  const std::string bytes = ReadWholeFile(named);
  ASSERT_GE(bytes.size(), 26u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  int width = 0, height = 0;
  BmpPixels(bytes, width, height);
  EXPECT_EQ(width, 30);
  EXPECT_EQ(height, 20);
}

TEST(RenderCli, AnOutputThatCannotBeWrittenFails) {
  ScratchDir dir;
  const std::string model = dir.Write("cube.tmb", kCubeModel);
  const std::string out = (dir.path() / "missing" / "cube.png").string();
  const Result r = RunRender(dir, Args(model, out));
  SKIP_IF_NOT_BUILT(r);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot save file \"" + out + "\": No such file or directory\n");
}

// --- Turntables ---

// The cube with two crossing lines through its centre: at every turn about either axis the two
// have the same depth, so which is drawn last, and so the pixel where they cross, depends on
// the order the frame's sort starts from.
const std::string kTurntableModel =
    kCubeModel + "-1 0 0 0\n1 0 0 200 0 0\n0 0 -1 0\n0 0 1 1 255 0\n";

// Each frame of a turntable is the picture of a single run with the same options and the
// frame's own turn added as a last --turn: here 0, 90, 180 and 270 degrees.
TEST(RenderCli, TurntableFramesAreTheSingleRendersOfTheirTurns) {
  struct Case {
    const char* options;
    bool horizontal;
  };
  const Case cases[] = {
      {"", false},
      {"--turn 30,-20 --white-back on --zoom 1.2 --pan 5,-3", false},
      {"--turn 10,0 --turn 0,15 --fade off --axis horizontal", true},
  };
  ScratchDir dir;
  const std::string model = dir.Write("cross.tmb", kTurntableModel);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string pattern = (dir.path() / "f%d.png").string();
    const Result spin = RunRender(
        dir, Args(model, pattern, std::string("--size 120x90 ") + c.options + " --turntable 4"));
    SKIP_IF_NOT_BUILT(spin);
    ASSERT_EQ(spin.status, 0) << spin.err;
    EXPECT_EQ(spin.err, "");
    // --axis is not a single run's option; the single runs get the turn instead.
    std::string single = std::string("--size 120x90 ") + c.options;
    if (c.horizontal) single.resize(single.find(" --axis"));
    for (int k = 0; k < 4; ++k) {
      const std::string degrees = std::to_string(90 * k);
      const std::string turn = c.horizontal ? "0," + degrees : degrees + ",0";
      const std::string out = (dir.path() / "single.png").string();
      const Result r = RunRender(dir, Args(model, out, single + " --turn " + turn));
      ASSERT_EQ(r.status, 0) << r.err;
      const QImage expected(QString::fromStdString(out));
      std::string name = "f";
      name += std::to_string(k);
      name += ".png";
      const QImage frame(QString::fromStdString((dir.path() / name).string()));
      ASSERT_EQ(frame.size(), QSize(120, 90)) << "frame " << k;
      EXPECT_EQ(frame.convertToFormat(QImage::Format_RGB32),
                expected.convertToFormat(QImage::Format_RGB32))
          << "frame " << k;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "f4.png"));
  }
}

// The videos read back with the same libraries: four frames, their size (an MP4's odd sides
// padded with the background, white here), and a tenth of a second each.
TEST(RenderCli, TurntableVideos) {
  struct Case {
    const char* name;
    const char* codec;
    QSize size;
  };
  const Case cases[] = {{"spin.mp4", "h264", {62, 48}},
                        {"spin.webm", "vp9", {61, 47}},
                        {"spin.gif", "gif", {61, 47}}};
  ScratchDir dir;
  const std::string model = dir.Write("cube.tmb", kTurntableModel);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = (dir.path() / c.name).string();
    const Result r = RunRender(
        dir, Args(model, out, "--size 61x47 --white-back on --turntable 4 --fps 10 --zoom 0.5"));
    SKIP_IF_NOT_BUILT(r);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "progress only on a terminal";
    const DecodedVideo video = DecodeVideo(out);
    ASSERT_EQ(video.error, "");
    EXPECT_EQ(video.codec, c.codec);
    EXPECT_EQ(QSize(video.width, video.height), c.size);
    EXPECT_EQ(video.durationMicroseconds, 400000);
    ASSERT_EQ(video.frames.size(), 4u);
    for (const QImage& frame : video.frames) {
      for (int y = 0; y < frame.height(); ++y) {
        EXPECT_GE(qGray(frame.pixel(frame.width() - 1, y)), 215) << "right column, row " << y;
      }
    }
  }
}

// A folder that is not there fails before the first frame, with the system's reason, and
// leaves nothing.
TEST(RenderCli, ATurntableThatCannotBeWrittenFailsAtOnce) {
  ScratchDir dir;
  const std::string model = dir.Write("cube.tmb", kCubeModel);
  for (const char* name : {"spin.mp4", "spin.gif", "f%03d.png"}) {
    const std::string out = (dir.path() / "missing" / name).string();
    const Result r = RunRender(dir, Args(model, out, "--turntable 3"));
    SKIP_IF_NOT_BUILT(r);
    EXPECT_EQ(r.status, 1) << name;
    std::string written = out;
    if (written.find('%') != std::string::npos) written.replace(written.find('%'), 4, "000");
    EXPECT_EQ(r.err, "Cannot save file \"" + written + "\": No such file or directory\n");
  }
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
    files += entry.path().filename() != "cube.tmb" && entry.path().filename() != "stdout.txt" &&
             entry.path().filename() != "stderr.txt";
  }
  EXPECT_EQ(files, 0);
}

TEST(RenderCli, TurntableUsageErrorsExitWithTwo) {
  ScratchDir dir;
  const std::string model = Quote(dir.Write("m.tmb", kCubeModel));
  const auto run = [&](const std::string& output) {
    return model + " -o " + Quote((dir.path() / output).string()) + " ";
  };
  const std::pair<std::string, const char*> bad[] = {
      {run("s.mp4") + "--turntable 0",
       "--turntable takes a whole number of frames from 1 to 100000"},
      {run("s.mp4") + "--turntable 100001", "--turntable takes a whole number"},
      {run("s.mp4") + "--turntable 2.5", "--turntable takes a whole number"},
      {run("s.mp4") + "--turntable", "--turntable needs a value"},
      {run("s.mp4") + "--turntable 4 --fps 0", "--fps: the rate must be above 0"},
      {run("s.mp4") + "--turntable 4 --fps x", "--fps: not a number"},
      {run("s.mp4") + "--turntable 4 --fps 121", "--fps: at most 120 frames per second in a mp4"},
      {run("s.gif") + "--turntable 4 --fps 51", "--fps: at most 50 frames per second in a gif"},
      {run("s.mp4") + "--turntable 4 --axis diagonal", "--axis takes vertical or horizontal"},
      {run("s.png") + "--fps 10", "--fps and --axis go with --turntable"},
      {run("s.png") + "--axis vertical", "--fps and --axis go with --turntable"},
      {run("s.mp4") + "--fps 10", "--fps and --axis go with --turntable"},
      {run("s.png") + "--turntable 4", "with --turntable, VIDEO must be"},
      {run("s.avi") + "--turntable 4", "with --turntable, VIDEO must be"},
      {run("s%s.png") + "--turntable 4", "with --turntable, VIDEO must be"},
      {run("s.mp4") + "--turntable 4 --format png", "--format does not go with --turntable"},
  };
  for (const auto& [args, message] : bad) {
    const Result r = RunRender(dir, args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.err.find(std::string("kestrel-render: ") + message), 0u) << args << "\n" << r.err;
  }
  // Nothing was written for any of them.
  for (const char* name : {"s.mp4", "s.gif", "s.png", "s.avi"}) {
    EXPECT_FALSE(std::filesystem::exists(dir.path() / name)) << name;
  }
}

// On a terminal the frames are counted on one line, which is cleared at the end. (`script` runs
// the command on a pseudo-terminal and copies what it shows.)
TEST(RenderCli, TurntableProgressOnATerminal) {
  ScratchDir dir;
  const std::string model = dir.Write("cube.tmb", kCubeModel);
  const std::string out = (dir.path() / "spin.gif").string();
  const std::string render =
      Quote(KESTREL_RENDER_PATH) + " " + Args(model, out, "--size 40 --turntable 3");
  std::string command = "script -qec \"";
  command += render;
  command += "\" /dev/null";
  const Result r = RunShell(dir, command);
  ASSERT_EQ(r.status, 0) << r.err;
  // The count of the first frame, then the last, then the file, each over the one before.
  const size_t first = r.out.find("\rframe 1 of 3");
  const size_t last = r.out.find("\rframe 3 of 3");
  const size_t writing = r.out.find("\rwriting " + out);
  EXPECT_NE(first, std::string::npos) << r.out;
  EXPECT_NE(last, std::string::npos) << r.out;
  EXPECT_NE(writing, std::string::npos) << r.out;
  EXPECT_LT(first, last);
  EXPECT_LT(last, writing);
  // Cleared: spaces over the longest text, and the line left empty.
  std::string cleared = "\r";
  cleared.append(std::string("writing ").size() + out.size(), ' ');
  cleared += '\r';
  EXPECT_EQ(r.out.substr(r.out.size() - cleared.size()), cleared);
  EXPECT_EQ(DecodeVideo(out).frames.size(), 3u);
}

// A model the fit refuses is a failed load: the fit's message, status 1, and no picture, which
// would show a black frame or one dot in its corner. A thumbnailer then shows no thumbnail.
TEST(RenderCli, AModelTheFitRefusesWritesNothing) {
  ScratchDir dir;
  for (const char* text : {"1 2 3 0\n", "1 2 3 0\n1 2 3 1\n", "# x\n\ns center 0 0 0\n0 0 0 1\n"}) {
    const std::string model = dir.Write("fit.tmb", text);
    for (const char* out : {"o.png", "o.bmp", "o.ksl"}) {
      const std::string path = (dir.path() / out).string();
      const Result r = RunRender(dir, Args(model, path));
      SKIP_IF_NOT_BUILT(r);
      EXPECT_EQ(r.status, 1) << text << out;
      EXPECT_EQ(r.err, "Error centering and scaling coordinates: Floating point division by zero\n")
          << text << out;
      EXPECT_FALSE(std::filesystem::exists(path)) << text << out;
    }
  }
}

// "-o -": the picture or the scene on standard output, the very bytes a file would get.
TEST(RenderCli, ADashWritesToStandardOutput) {
  ScratchDir dir;
  const std::string model = dir.Write("cube.tmb", kCubeModel);
  for (const char* format : {"png", "bmp", "ksl"}) {
    const std::string file = (dir.path() / (std::string("cube.") + format)).string();
    const Result written = RunRender(dir, Args(model, file, "--size 50x40"));
    SKIP_IF_NOT_BUILT(written);
    ASSERT_EQ(written.status, 0) << written.err;
    const Result piped =
        RunRender(dir, Args(model, "-", std::string("--size 50x40 --format ") + format));
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_TRUE(piped.err.empty()) << piped.err;
    EXPECT_TRUE(piped.out == ReadWholeFile(file)) << format;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "-"));
  }
  // Without a format there is nothing to say what to write.
  EXPECT_EQ(RunRender(dir, Args(model, "-")).status, 2);
}

// A device already there is written in place and stays a device; a full one says so. (Private
// devices made like the system's null and full ones, as only root may make them.)
TEST(RenderCli, ADeviceIsWrittenInPlaceNeverReplaced) {
  if (geteuid() != 0) GTEST_SKIP() << "making a device takes root";
  ScratchDir dir;
  const std::string model = dir.Write("cube.tmb", kCubeModel);
  const std::string null = (dir.path() / "null").string();
  const std::string full = (dir.path() / "full").string();
  ASSERT_EQ(mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
  for (const char* format : {"bmp", "png", "ksl"}) {
    const std::string as = std::string("--format ") + format;
    const Result nulled = RunRender(dir, Args(model, null, as));
    SKIP_IF_NOT_BUILT(nulled);
    EXPECT_EQ(nulled.status, 0) << nulled.err;
    const Result filled = RunRender(dir, Args(model, full, as));
    EXPECT_EQ(filled.status, 1) << format;
    EXPECT_EQ(filled.err, "Cannot save file \"" + full + "\": No space left on device\n");
    for (const std::string& device : {null, full}) {
      struct stat info {};
      ASSERT_EQ(lstat(device.c_str(), &info), 0);
      EXPECT_TRUE(S_ISCHR(info.st_mode)) << device << " is no device any more";
    }
  }
}

// A PNG goes through the same safe replace as the BMP: a write the file-size limit stops fails
// with the system's reason and leaves the old picture whole.
TEST(RenderCli, APngThatCannotBeWrittenWholeLeavesTheOldOne) {
  ScratchDir dir;
  const std::string model = dir.Write("cube.tmb", kCubeModel);
  const std::string old(5000, 'o');
  for (const char* name : {"pic.png", "pic.bmp"}) {
    const std::string out = dir.Write(name, old);
    // One block of 512 bytes: less than either picture.
    const Result r = RunRender(dir, Args(model, out), "ulimit -f 1; ");
    SKIP_IF_NOT_BUILT(r);
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(r.err, "Cannot save file \"" + out + "\": File too large\n");
    EXPECT_TRUE(ReadWholeFile(out) == old) << name;
  }
  const Result fresh =
      RunRender(dir, Args(model, (dir.path() / "new.png").string()), "ulimit -f 1; ");
  EXPECT_EQ(fresh.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "new.png"));
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    left.push_back(e.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"cube.tmb", "pic.bmp", "pic.png", "stderr.txt",
                                            "stdout.txt"}));
}

// Several writers of one PNG at once: whichever comes last, the file is one picture, whole.
TEST(RenderCli, ConcurrentWritersOfOnePngLeaveOneWholePicture) {
  ScratchDir dir;
  const std::string model = dir.Write("cube.tmb", kCubeModel);
  constexpr int kWriters = 8;
  std::vector<std::string> pictures;
  for (int i = 0; i < kWriters; ++i) {
    const std::string one = (dir.path() / ("one" + std::to_string(i) + ".png")).string();
    const Result r = RunRender(dir, Args(model, one, "--size " + std::to_string(200 + i * 10)));
    SKIP_IF_NOT_BUILT(r);
    ASSERT_EQ(r.status, 0) << r.err;
    pictures.push_back(ReadWholeFile(one));
  }
  const std::string out = (dir.path() / "out.png").string();
  for (int round = 0; round < 5; ++round) {
    std::string all;
    for (int i = 0; i < kWriters; ++i) {
      all += Quote(KESTREL_RENDER_PATH) + " " +
             Args(model, out, "--size " + std::to_string(200 + i * 10)) + " & ";
    }
    all += "wait";
    ASSERT_EQ(std::system(all.c_str()), 0);
    const std::string written = ReadWholeFile(out);
    EXPECT_NE(std::find(pictures.begin(), pictures.end(), written), pictures.end())
        << "round " << round << ": a mixed file of " << written.size() << " bytes";
  }
}

// Opening a FIFO would wait for a writer for ever: it is refused before it is opened.
TEST(RenderCli, AFifoIsRefusedWithoutWaiting) {
  ScratchDir dir;
  const std::string out = (dir.path() / "o.png").string();
  for (const char* name : {"x.ksl", "x.tmb"}) {
    const std::string fifo = (dir.path() / name).string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    const Result r = RunRender(dir, Args(fifo, out), "timeout 20 ");
    SKIP_IF_NOT_BUILT(r);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)) << name;
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(r.err, std::string(name) == "x.ksl"
                         ? "Cannot open file \"" + fifo + "\": it is not a regular file\n"
                         : "Error reading text file: x.tmb: it is not a regular file\n");
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

// A name that is not valid UTF-8 names its own file, for reading and for writing: never the
// one whose name shows the same with the odd bytes replaced.
TEST(RenderCli, FileNamesAreTheBytesTheyCameAs) {
  ScratchDir dir;
  const std::string cube = dir.Write("cube.tmb", kCubeModel);
  const Result scene = RunRender(dir, Args(cube, (dir.path() / "in\xFF.ksl").string()));
  SKIP_IF_NOT_BUILT(scene);
  ASSERT_EQ(scene.status, 0) << scene.err;
  dir.Write("in\xEF\xBF\xBD.ksl", "not a scene");
  for (const char* ext : {".ksl", ".png", ".bmp"}) {
    const std::string shown = dir.Write(std::string("keep\xEF\xBF\xBD") + ext, "unrelated");
    const std::string raw = (dir.path() / (std::string("keep\xFE") + ext)).string();
    const Result r = RunRender(dir, Args((dir.path() / "in\xFF.ksl").string(), raw));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadWholeFile(shown), "unrelated") << ext;
    EXPECT_GT(ReadWholeFile(raw).size(), 100u) << ext;
  }
}

}  // namespace
