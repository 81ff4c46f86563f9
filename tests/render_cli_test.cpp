// kestrel-render end to end: the pictures it writes are the frames a TForm1 draws in-process,
// failures give the window's message and a non-zero status, usage errors give status 2.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "support/tumbra_model.h"
#include "test_support.h"

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

// Runs kestrel-render with `args` (already quoted where needed) and collects its output;
// `environment` goes before the command ("NAME=value ...").
Result RunRender(const ScratchDir& dir, const std::string& args,
                 const std::string& environment = "") {
  const std::string out = (dir.path() / "stdout.txt").string();
  const std::string err = (dir.path() / "stderr.txt").string();
  std::string command = environment;
  command += ' ';
  command += Quote(KESTREL_RENDER_PATH);
  command += ' ';
  command += args;
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
  const std::string txt = Quote(dir.Write("m.txt", kCubeModel));
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
           "  --help                  show this text\n",
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
              {"", "KESTREL_THREADS=3"},
              {"--threads 1", "KESTREL_THREADS=3"}};
  for (const char* options : {"--turn 20,10", "--turn 20,10 --antialias off --fill-circles on"}) {
    std::vector<std::string> pictures, scenes;
    for (const auto& run : runs) {
      for (const char* format : {"png", "ksl"}) {
        const std::string out = (dir.path() / (std::string("out.") + format)).string();
        const Result r = RunRender(
            dir, Args(model.string(), out, std::string(options) + " " + run.extra),
            run.environment);
        SKIP_IF_NOT_BUILT(r);
        ASSERT_EQ(r.status, 0) << r.err;
        (format == std::string("png") ? pictures : scenes).push_back(ReadWholeFile(out));
      }
    }
    for (size_t k = 1; k < pictures.size(); ++k) {
      EXPECT_EQ(pictures[k], pictures[0]) << options << ", " << runs[k].extra << " "
                                          << runs[k].environment;
      EXPECT_EQ(scenes[k], scenes[0]) << options << ", " << runs[k].extra << " "
                                      << runs[k].environment;
    }
  }
}

TEST(RenderCli, AModelThatCannotBeReadGivesTheWindowsMessage) {
  ScratchDir dir;
  const std::string out = (dir.path() / "o.png").string();
  const Result missing = RunRender(dir, Args((dir.path() / "none.TMB").string(), out));
  SKIP_IF_NOT_BUILT(missing);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Error reading text file\n");
  EXPECT_FALSE(std::filesystem::exists(out));

  const std::string bad = dir.Write("bad.tmb", "# x\n\n1 2\n");
  const Result badLine = RunRender(dir, Args(bad, out));
  EXPECT_EQ(badLine.status, 1);
  EXPECT_EQ(badLine.err, "Error reading text file\n");
}

TEST(RenderCli, MessagesAfterWhichTheLoadGoesOnDoNotFailTheRun) {
  ScratchDir dir;
  const std::string model = dir.Write("m.tmb", "# x\n\ns sparkle\n" + kCubeBody);
  const std::string out = (dir.path() / "o.png").string();
  const Result r = RunRender(dir, Args(model, out));
  SKIP_IF_NOT_BUILT(r);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "unrecognized switch in text file\n");
  EXPECT_TRUE(QImage(QString::fromStdString(out)).width() == 601);
}

TEST(RenderCli, BmpHoldsExactlyTheFrameTheFormDraws) {
  ScratchDir dir;
  const std::string model = dir.Write("cube.tmb", kCubeModel);
  const std::string out = (dir.path() / "cube.BMP").string();
  const Result r = RunRender(dir, Args(model, out));
  SKIP_IF_NOT_BUILT(r);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;

  RenderedForm expected(model, 601, 593);
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
  EXPECT_GT(lit, 1000) << "the cube is in the picture";
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
  EXPECT_NE(r.err.find("Cannot write"), std::string::npos) << r.err;
}

}  // namespace
