// The saved picture: every byte of a small file, the pixels as an independent reader
// (ImageMagick) sees them, the dialog, and what a failed save leaves behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>

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
  const std::string path = Path("read back.bmp");
  form.SaveBitmapFile(path);
  ASSERT_TRUE(fs::exists("/usr/bin/convert")) << "ImageMagick is installed by scripts/setup.sh";
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
  const std::string path = dir.Write("keep.bmp", old);
  Frame(300, 200);  // 240054 bytes
  // Files may not grow beyond 64 KiB for the moment: the write fails half way.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* savedHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 65536;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string what;
  try {
    form.SaveBitmapFile(path);
  } catch (const KestrelError& e) {
    what = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, savedHandler);
  EXPECT_NE(what.find("\"" + path + "\""), std::string::npos) << what;
  EXPECT_EQ(ReadWholeFile(path), old);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"keep.bmp"});
}

TEST_F(PictureTest, EmptyFrameIsRefused) {
  Frame(-1, 50);  // too narrow: no frame
  ASSERT_TRUE(form.FrameBitmap.isNull());
  try {
    form.SaveBitmapFile(Path("empty.bmp"));
    FAIL() << "saved an empty picture";
  } catch (const KestrelError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot save \"" + Path("empty.bmp") +
                                         "\": the picture is empty (the window is too small "
                                         "to show one)");
  }
  EXPECT_TRUE(FolderEntries().empty());
}
