// Numbered PNG files: the pattern grammar, the names it gives, the pixels written, and an
// abandoned sequence that leaves nothing behind.
#include "formats/png_sequence.h"

#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

TEST(PngPattern, NamesOfFrames) {
  struct Case {
    const char* pattern;
    bool accepted;
    const char* file0 = "";
    const char* file12 = "";
  };
  const Case cases[] = {
      {"spin_%d.png", true, "spin_0.png", "spin_12.png"},
      {"spin_%03d.png", true, "spin_000.png", "spin_012.png"},
      {"%01d.PNG", true, "0.PNG", "12.PNG"},
      {"%09d.png", true, "000000000.png", "000000012.png"},
      {"100%%/f%d.png", true, "100%/f0.png", "100%/f12.png"},
      {"a%%b%02d%%.png", true, "a%b00%.png", "a%b12%.png"},
      {"spin.png", false},
      {"spin_%d.bmp", false},
      {"spin_%d%d.png", false},
      {"spin_%3d.png", false},
      {"spin_%00d.png", false},
      {"spin_%010d.png", false},
      {"spin_%s.png", false},
      {"spin_%%d.png", false},
      {"spin_%d.png%", false},
      {"%d/spin.png", true, "0/spin.png", "12/spin.png"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsPngPattern(c.pattern), c.accepted) << c.pattern;
    if (!c.accepted) continue;
    EXPECT_EQ(PatternFileName(c.pattern, 0), c.file0);
    EXPECT_EQ(PatternFileName(c.pattern, 12), c.file12);
  }
  // A number wider than the width asked keeps all its digits.
  EXPECT_EQ(PatternFileName("f%02d.png", 1234), "f1234.png");
}

QImage Picture(QRgb colour, int dot) {
  QImage image(7, 5, QImage::Format_RGB32);
  image.fill(colour);
  image.setPixel(dot, 2, 0xFF123456);
  return image;
}

TEST(PngSequence, WritesEveryFrameAsItsPixels) {
  ScratchDir dir;
  const std::string pattern = (dir.path() / "f%02d.png").string();
  const QImage frames[3] = {Picture(0xFF000000, 1), Picture(0xFFFFFFFF, 3), Picture(0xFF00FF00, 5)};
  {
    PngSequenceWriter writer(pattern);
    for (const QImage& frame : frames) writer.AddFrame(frame);
    writer.Finish();
  }
  for (int k = 0; k < 3; ++k) {
    const QImage read(QString::fromStdString((dir.path() / ("f0" + std::to_string(k) + ".png"))));
    EXPECT_EQ(read.convertToFormat(QImage::Format_RGB32), frames[k]) << k;
  }
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 3);
}

TEST(PngSequence, AnAbandonedSequenceLeavesNoFile) {
  ScratchDir dir;
  const std::string pattern = (dir.path() / "f%d.png").string();
  {
    PngSequenceWriter writer(pattern);
    writer.AddFrame(Picture(0xFF000000, 1));
    writer.AddFrame(Picture(0xFF000000, 2));
    EXPECT_TRUE(fs::exists(dir.path() / "f1.png"));
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
