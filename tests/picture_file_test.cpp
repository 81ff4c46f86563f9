// The saved picture, BMP and PNG: every byte of a small BMP, the pixels as an independent reader
// (ImageMagick) sees them, the dialog, and what a failed save leaves behind.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>

#include "formats/picture_file.h"
#include "frame_test_support.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// A form with a `w` × `h` frame, sized as the window would size it.
struct PictureTest : ::testing::Test {
  PresentingForm f;
  TForm1& form = f.form;
  ScratchDir dir;
  void Frame(int w, int h) { form.FormResize(w + FrameWidthAllowance, h + FrameHeightAllowance); }
  std::string Path(const std::string& name) const { return (dir.path() / name).string(); }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename());
    return names;
  }
};

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  pclose(pipe);
  return out;
}

}  // namespace

TEST_F(PictureTest, SmallFrameByteForByte) {
  Frame(3, 2);
  form.FrameBitmap.setPixel(0, 0, 0xFF112233u);  // top row
  form.FrameBitmap.setPixel(2, 0, 0xFF445566u);
  form.FrameBitmap.setPixel(1, 1, 0xFF778899u);  // bottom row
  form.FrameBitmap.setPixel(2, 1, 0xFFFFFFFFu);
  form.SaveBitmapFile(Path("small.bmp"));
  const std::string expected =
      // File header: "BM", file size 78, two reserved words, pixels at 54.
      Bytes({'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}) +
      // Information header: size 40, width 3, height +2 (bottom-up), 1 plane, 32 bits,
      // BI_RGB, 24 bytes of pixels, 3780 pixels per metre both ways, no colour table.
      Bytes({40, 0, 0, 0, 3,    0,    0, 0, 2,    0,    0, 0, 1, 0, 32, 0, 0, 0, 0, 0,
             24, 0, 0, 0, 0xC4, 0x0E, 0, 0, 0xC4, 0x0E, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0}) +
      // Bottom row first: black, (0x77, 0x88, 0x99), white; blue, green, red, 0.
      Bytes({0, 0, 0, 0, 0x99, 0x88, 0x77, 0, 0xFF, 0xFF, 0xFF, 0}) +
      // Then the top row: (0x11, 0x22, 0x33), black, (0x44, 0x55, 0x66).
      Bytes({0x33, 0x22, 0x11, 0, 0, 0, 0, 0, 0x66, 0x55, 0x44, 0});
  EXPECT_EQ(ReadWholeFile(Path("small.bmp")), expected);
}

TEST_F(PictureTest, IndependentReaderSeesTheFramePixels) {
  Frame(37, 23);  // an odd width: 32-bit rows need no padding, and none must be added
  for (int y = 0; y < 23; ++y) {
    for (int x = 0; x < 37; ++x) {
      form.FrameBitmap.setPixel(x, y, qRgb(x * 7, y * 11, (x * y) % 256));
    }
  }
  ASSERT_TRUE(fs::exists("/usr/bin/convert")) << "ImageMagick is installed by scripts/setup.sh";
  for (const auto& [format, name] : {std::pair{PictureFormat::Bmp, "read back.bmp"},
                                     std::pair{PictureFormat::Png, "read back.png"}}) {
    SCOPED_TRACE(name);
    const std::string path = Path(name);
    SavePictureFile(form.FrameBitmap, path, format);
    const std::string text = RunCommand("/usr/bin/convert '" + path + "' -depth 8 txt:-");
    ASSERT_NE(text.find("# ImageMagick pixel enumeration: 37,23,"), std::string::npos) << text;
    const std::regex line(R"((\d+),(\d+): \((\d+),(\d+),(\d+)[,)])");
    int seen = 0;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
      std::smatch m;
      if (!std::regex_search(l, m, line)) continue;
      const int x = std::stoi(m[1]), y = std::stoi(m[2]);
      const QRgb want = form.FrameBitmap.pixel(x, y);
      EXPECT_EQ(std::stoi(m[3]), qRed(want)) << l;
      EXPECT_EQ(std::stoi(m[4]), qGreen(want)) << l;
      EXPECT_EQ(std::stoi(m[5]), qBlue(want)) << l;
      ++seen;
    }
    EXPECT_EQ(seen, 37 * 23);
  }
  // The BMP is what "Save Image As" writes.
  form.SaveBitmapFile(Path("as saved.bmp"));
  EXPECT_TRUE(ReadWholeFile(Path("as saved.bmp")) == ReadWholeFile(Path("read back.bmp")));
}

TEST_F(PictureTest, DialogChoosesThePictureFileAndCancelWritesNothing) {
  Frame(601, 593);
  form.SaveImageAs1Click();  // no answer: the user cancels
  EXPECT_EQ(f.controls.LastSaveKind, SaveDialogKind::Picture);
  EXPECT_TRUE(FolderEntries().empty());

  f.controls.LastSaveKind = SaveDialogKind::Scene;
  f.controls.NextSave = Path("shot.bmp");
  form.SaveImageAs1Click();
  EXPECT_EQ(f.controls.LastSaveKind, SaveDialogKind::Picture);
  const std::string bytes = ReadWholeFile(Path("shot.bmp"));
  EXPECT_EQ(bytes.size(), 54u + 601 * 593 * 4);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"shot.bmp"});
  EXPECT_TRUE(f.controls.Messages.empty());
}

// A name ending .png or .bmp, in any letter case, is written in that format whatever the
// filter; any other name follows the filter.
TEST_F(PictureTest, TheNameOrElseTheFilterPicksTheFormat) {
  const struct {
    const char* name;
    int filter;
    PictureFormat format;
  } cases[] = {
      {"a.bmp", kBmpPictureFilter, PictureFormat::Bmp},
      {"b.png", kBmpPictureFilter, PictureFormat::Png},
      {"c.PNG", kBmpPictureFilter, PictureFormat::Png},
      {"d.Bmp", kPngPictureFilter, PictureFormat::Bmp},
      {"e.png", kPngPictureFilter, PictureFormat::Png},
      {"f.jpg", kPngPictureFilter, PictureFormat::Png},
      {"g.jpg", kBmpPictureFilter, PictureFormat::Bmp},
      {"h", kPngPictureFilter, PictureFormat::Png},
      {"i.png.old", kBmpPictureFilter, PictureFormat::Bmp},
      {".png", kBmpPictureFilter, PictureFormat::Png},
  };
  Frame(5, 3);
  form.FrameBitmap.setPixel(1, 2, 0xFF336699u);
  for (const auto& c : cases) {
    EXPECT_EQ(PictureFormatFor(c.name, c.filter), c.format) << c.name;
    f.controls.NextSave = Path(c.name);
    f.controls.NextSaveFilter = c.filter;
    form.SaveImageAs1Click();
    const std::vector<uint8_t> expected = PictureBytes(form.FrameBitmap, c.format);
    EXPECT_TRUE(ReadWholeFile(Path(c.name)) == std::string(expected.begin(), expected.end()))
        << c.name;
  }
  EXPECT_TRUE(f.controls.Messages.empty());
}

TEST_F(PictureTest, ExistingFileIsReplaced) {
  const std::string path = dir.Write("old.bmp", std::string(5000, 'x'));
  Frame(2, 1);
  form.SaveBitmapFile(path);
  EXPECT_EQ(ReadWholeFile(path).size(), 62u);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"old.bmp"});
}

TEST_F(PictureTest, UncreatableFileThrowsNamingIt) {
  Frame(4, 4);
  const std::string path = Path("no such folder/pic.bmp");
  try {
    f.controls.NextSave = path;
    form.SaveImageAs1Click();
    FAIL() << "saved into a missing folder";
  } catch (const KestrelError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot save file \"" + path + "\": No such file or directory")
        << e.what();
  }
  EXPECT_TRUE(FolderEntries().empty());

  fs::create_directory(Path("a folder"));  // a folder in the way is not replaced
  EXPECT_THROW(form.SaveBitmapFile(Path("a folder")), KestrelError);
  EXPECT_TRUE(fs::is_directory(Path("a folder")));
}

TEST_F(PictureTest, FailedWriteLeavesTheOldFileAndNoPartialOne) {
  const std::string old(100, 'k');
  Frame(300, 200);  // 240054 bytes as a BMP
  // Noise, which no PNG compresses to less than 64 KiB either.
  uint32_t noise = 1;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 300; ++x) {
      noise = noise * 1103515245u + 12345u;
      form.FrameBitmap.setPixel(x, y, 0xFF000000u | (noise >> 8));
    }
  }
  for (const auto& [format, name] :
       {std::pair{PictureFormat::Bmp, "keep.bmp"}, std::pair{PictureFormat::Png, "keep.png"}}) {
    SCOPED_TRACE(name);
    const std::string path = dir.Write(name, old);
    // Files may not grow beyond 64 KiB for the moment: the write fails half way.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 65536;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string what;
    try {
      SavePictureFile(form.FrameBitmap, path, format);
    } catch (const KestrelError& e) {
      what = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(what, "Cannot save file \"" + path + "\": File too large");
    EXPECT_EQ(ReadWholeFile(path), old);
    fs::remove(path);
    EXPECT_TRUE(FolderEntries().empty());
  }
}

TEST_F(PictureTest, EmptyFrameIsRefused) {
  Frame(-1, 50);  // too narrow: no frame
  ASSERT_TRUE(form.FrameBitmap.isNull());
  for (const auto& [format, name] :
       {std::pair{PictureFormat::Bmp, "empty.bmp"}, std::pair{PictureFormat::Png, "empty.png"}}) {
    try {
      SavePictureFile(form.FrameBitmap, Path(name), format);
      ADD_FAILURE() << "saved an empty picture";
    } catch (const KestrelError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot save \"" + Path(name) +
                                           "\": the picture is empty (the window is too small "
                                           "to show one)");
    }
  }
  EXPECT_THROW(form.SaveBitmapFile(Path("empty.bmp")), KestrelError);
  EXPECT_TRUE(FolderEntries().empty());
}

// The PNG holds exactly the frame's pixels, and is a PNG whatever the name says.
TEST_F(PictureTest, PngBytesHoldTheFrameExactly) {
  Frame(64, 48);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) form.FrameBitmap.setPixel(x, y, qRgb(x * 4, y * 5, x ^ y));
  }
  const std::vector<uint8_t> bytes = PictureBytes(form.FrameBitmap, PictureFormat::Png);
  ASSERT_GT(bytes.size(), 8u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), std::string("\x89PNG\r\n\x1a\n", 8));
  QImage back;
  ASSERT_TRUE(back.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "PNG"));
  ASSERT_EQ(back.size(), QSize(64, 48));
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      ASSERT_EQ(back.pixel(x, y) & 0xFFFFFFu, form.FrameBitmap.pixel(x, y) & 0xFFFFFFu) << x << y;
    }
  }
  const std::string path = Path("named.bmp");
  SavePictureFile(form.FrameBitmap, path, PictureFormat::Png);
  EXPECT_TRUE(ReadWholeFile(path) == std::string(bytes.begin(), bytes.end()));
}
