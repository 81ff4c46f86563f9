// The video writer: each format read back by the same libraries (frame count, size, duration,
// colours, padding), the MP4's index in front, the GIF's loop, and failures that leave no file.
#include "formats/video/video_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "scene/scene_model.h"
#include "test_support.h"
#include "video_decode.h"

namespace fs = std::filesystem;

namespace {

// Two colours a frame, left and right half, different in every frame so that a lost, doubled
// or reordered frame shows.
constexpr QRgb kHalves[4][2] = {{0xFFE02010, 0xFF10C040},
                                {0xFF2030E0, 0xFFF0F020},
                                {0xFFFFFFFF, 0xFF000000},
                                {0xFF808080, 0xFF20D0D0}};

// The fourth byte of each pixel is 0: RGB32 does not use it, and the writer must not either
// (a GIF's palette filters would take it for transparency).
QImage Frame(int k, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  const int half = size.width() / 2;
  for (int y = 0; y < size.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < size.width(); ++x) row[x] = kHalves[k][x < half ? 0 : 1] & 0xFFFFFFu;
  }
  return image;
}

int LargestChannelDifference(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                   std::abs(qBlue(a) - qBlue(b))});
}

void WriteVideo(const std::string& path, const VideoSettings& settings, int frames) {
  VideoWriter writer(path, settings);
  for (int k = 0; k < frames; ++k) writer.AddFrame(Frame(k, settings.frameSize));
  writer.Finish();
}

struct FormatCase {
  const char* name;
  VideoFormat format;
  QSize frameSize;
  double fps;
  int frames;
  // What a player finds in the file.
  const char* container;
  const char* codec;
  const char* pixelFormat;
  QSize pictureSize;
  int64_t durationMicroseconds;
  // How far a colour in the middle of a flat half may come back off: lossy codecs lose a
  // little, a GIF of fewer than 256 colours nothing.
  int tolerance;
};

const FormatCase kFormatCases[] = {
    {"mp4_even",
     VideoFormat::Mp4,
     {64, 48},
     10,
     4,
     "mov,mp4,m4a,3gp,3g2,mj2",
     "h264",
     "yuv420p",
     {64, 48},
     400000,
     8},
    {"mp4_odd",
     VideoFormat::Mp4,
     {61, 47},
     25,
     4,
     "mov,mp4,m4a,3gp,3g2,mj2",
     "h264",
     "yuv420p",
     {62, 48},
     160000,
     8},
    {"webm_odd",
     VideoFormat::WebM,
     {61, 47},
     10,
     4,
     "matroska,webm",
     "vp9",
     "yuv420p",
     {61, 47},
     400000,
     8},
    {"gif_even", VideoFormat::Gif, {64, 48}, 10, 4, "gif", "gif", "bgra", {64, 48}, 400000, 0},
    {"gif_odd", VideoFormat::Gif, {61, 47}, 25, 4, "gif", "gif", "bgra", {61, 47}, 160000, 0},
    // A single frame still lasts one frame time.
    {"mp4_one",
     VideoFormat::Mp4,
     {64, 48},
     10,
     1,
     "mov,mp4,m4a,3gp,3g2,mj2",
     "h264",
     "yuv420p",
     {64, 48},
     100000,
     8},
    {"webm_one",
     VideoFormat::WebM,
     {64, 48},
     10,
     1,
     "matroska,webm",
     "vp9",
     "yuv420p",
     {64, 48},
     100000,
     8},
    {"gif_one", VideoFormat::Gif, {64, 48}, 10, 1, "gif", "gif", "bgra", {64, 48}, 100000, 0},
};

void PrintTo(const FormatCase& c, std::ostream* os) {
  *os << c.name;
}

class VideoFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(VideoFormats, ReadBackAsWritten) {
  const FormatCase& c = GetParam();
  ScratchDir dir;
  const char* extension = c.format == VideoFormat::Mp4    ? ".mp4"
                          : c.format == VideoFormat::WebM ? ".webm"
                                                          : ".gif";
  const std::string path = (dir.path() / "spin").string() + extension;
  VideoSettings settings{c.format, c.frameSize, c.fps, 0xFFFF00FF};
  WriteVideo(path, settings, c.frames);

  const DecodedVideo video = DecodeVideo(path);
  ASSERT_EQ(video.error, "");
  EXPECT_EQ(video.container, c.container);
  EXPECT_EQ(video.codec, c.codec);
  EXPECT_EQ(video.pixelFormat, c.pixelFormat);
  EXPECT_EQ(QSize(video.width, video.height), c.pictureSize);
  EXPECT_EQ(video.durationMicroseconds, c.durationMicroseconds);
  ASSERT_EQ(video.frames.size(), static_cast<size_t>(c.frames));
  const int w = c.frameSize.width();
  const int h = c.frameSize.height();
  for (int k = 0; k < c.frames; ++k) {
    const QImage& frame = video.frames[k];
    ASSERT_EQ(frame.size(), c.pictureSize);
    const QPoint middles[2] = {{w / 4, h / 2}, {w / 2 + w / 4, h / 2}};
    for (int half = 0; half < 2; ++half) {
      const QRgb got = frame.pixel(middles[half]);
      EXPECT_LE(LargestChannelDifference(got, kHalves[k][half]), c.tolerance)
          << "frame " << k << " half " << half << ": " << std::hex << got;
    }
    if (c.tolerance == 0) {
      const QImage expected = Frame(k, c.frameSize);
      EXPECT_EQ(frame, expected) << "frame " << k;
    }
  }
  // The encoders' threads and the muxers' ids leave no trace: the same frames, the same bytes.
  const std::string again = (dir.path() / "again").string() + extension;
  WriteVideo(again, settings, c.frames);
  EXPECT_TRUE(ReadWholeFile(again) == ReadWholeFile(path));
}

INSTANTIATE_TEST_SUITE_P(All, VideoFormats, ::testing::ValuesIn(kFormatCases),
                         [](const auto& info) { return std::string(info.param.name); });

// An odd-sized MP4 gains a column and a row of the pad colour, beside a picture kept at its size
// (not stretched). Grey only, so that the comparison is in luma, which H.264 keeps at full
// resolution.
TEST(VideoWriter, OddMp4FramesArePaddedWithThePadColour) {
  ScratchDir dir;
  const std::string path = (dir.path() / "odd.mp4").string();
  VideoWriter writer(path, {VideoFormat::Mp4, {33, 21}, 10, 0xFFFFFFFF});
  QImage black(33, 21, QImage::Format_RGB32);
  black.fill(0xFF000000);
  for (int k = 0; k < 2; ++k) writer.AddFrame(black);
  writer.Finish();
  const DecodedVideo video = DecodeVideo(path);
  ASSERT_EQ(video.error, "");
  ASSERT_EQ(video.frames.size(), 2u);
  const QImage& frame = video.frames[1];
  ASSERT_EQ(frame.size(), QSize(34, 22));
  for (int y = 2; y < 19; ++y) {
    EXPECT_LE(qGray(frame.pixel(32, y)), 40) << "last column of the picture, row " << y;
    EXPECT_GE(qGray(frame.pixel(33, y)), 215) << "pad column, row " << y;
  }
  for (int x = 2; x < 31; ++x) {
    EXPECT_LE(qGray(frame.pixel(x, 20)), 40) << "last row of the picture, column " << x;
    EXPECT_GE(qGray(frame.pixel(x, 21)), 215) << "pad row, column " << x;
  }
}

// The top-level boxes of an MP4 file, in order.
std::vector<std::string> TopLevelBoxes(const std::string& bytes) {
  std::vector<std::string> boxes;
  for (size_t at = 0; at + 8 <= bytes.size();) {
    uint64_t size = 0;
    for (int i = 0; i < 4; ++i) size = size << 8 | static_cast<uint8_t>(bytes[at + i]);
    boxes.push_back(bytes.substr(at + 4, 4));
    if (size < 8) break;
    at += size;
  }
  return boxes;
}

TEST(VideoWriter, Mp4HasItsIndexBeforeItsData) {
  ScratchDir dir;
  const std::string path = (dir.path() / "spin.mp4").string();
  WriteVideo(path, {VideoFormat::Mp4, {64, 48}, 30, 0xFF000000}, 4);
  EXPECT_EQ(TopLevelBoxes(ReadWholeFile(path)),
            (std::vector<std::string>{"ftyp", "moov", "free", "mdat"}));
}

TEST(VideoWriter, GifLoopsForEver) {
  ScratchDir dir;
  const std::string path = (dir.path() / "spin.gif").string();
  WriteVideo(path, {VideoFormat::Gif, {64, 48}, 10, 0xFF000000}, 2);
  const std::string bytes = ReadWholeFile(path);
  // The application extension players read the loop count from; 0 is for ever.
  const std::string loop = std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
  EXPECT_NE(bytes.find(loop), std::string::npos);
}

TEST(VideoWriter, FormatsByExtension) {
  const std::pair<const char*, std::optional<VideoFormat>> cases[] = {
      {"spin.mp4", VideoFormat::Mp4},  {"SPIN.MP4", VideoFormat::Mp4},
      {"a.b.WebM", VideoFormat::WebM}, {"spin.gif", VideoFormat::Gif},
      {"spin.png", std::nullopt},      {"mp4", std::nullopt},
      {"dir.mp4/spin", std::nullopt},  {"spin.mp4.tmp", std::nullopt},
  };
  for (const auto& [name, format] : cases) EXPECT_EQ(VideoFormatOf(name), format) << name;
}

TEST(VideoWriter, EncodedSizes) {
  struct Case {
    VideoFormat format;
    QSize frame, encoded;
  };
  const Case cases[] = {
      {VideoFormat::Mp4, {601, 593}, {602, 594}},  {VideoFormat::Mp4, {600, 593}, {600, 594}},
      {VideoFormat::Mp4, {601, 592}, {602, 592}},  {VideoFormat::Mp4, {1, 1}, {2, 2}},
      {VideoFormat::WebM, {601, 593}, {601, 593}}, {VideoFormat::Gif, {601, 593}, {601, 593}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodedFrameSize(c.format, c.frame), c.encoded)
        << c.frame.width() << "x" << c.frame.height();
  }
}

// Settings the formats cannot take are refused before anything is written.
TEST(VideoWriter, RefusesSettingsOutsideTheLimits) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    VideoSettings settings;
    bool accepted;
  };
  const Case cases[] = {
      {{VideoFormat::Mp4, {0, 10}, 30, 0}, false},
      {{VideoFormat::Mp4, {10, 16385}, 30, 0}, false},
      {{VideoFormat::Mp4, {16384, 2}, 30, 0}, true},
      {{VideoFormat::Mp4, {10, 10}, 0, 0}, false},
      {{VideoFormat::Mp4, {10, 10}, -1, 0}, false},
      {{VideoFormat::Mp4, {10, 10}, nan, 0}, false},
      {{VideoFormat::Mp4, {10, 10}, 120, 0}, true},
      {{VideoFormat::WebM, {10, 10}, 120.5, 0}, false},
      {{VideoFormat::Gif, {10, 10}, 50, 0}, true},
      {{VideoFormat::Gif, {10, 10}, 51, 0}, false},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    const std::string path = (dir.path() / "v").string();
    const QSize size = c.settings.frameSize;
    SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()) + " at " +
                 std::to_string(c.settings.framesPerSecond));
    if (c.accepted) {
      EXPECT_NO_THROW(VideoWriter(path, c.settings));
    } else {
      EXPECT_THROW(VideoWriter(path, c.settings), KestrelError);
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
  }
}

TEST(VideoWriter, MisuseIsRefused) {
  ScratchDir dir;
  const std::string path = (dir.path() / "v.mp4").string();
  VideoWriter writer(path, {VideoFormat::Mp4, {16, 16}, 10, 0});
  EXPECT_THROW(writer.AddFrame(QImage(16, 17, QImage::Format_RGB32)), KestrelError);
  EXPECT_THROW(writer.Finish(), KestrelError);  // no frame yet
  EXPECT_FALSE(fs::exists(path));
  // Any image format is taken, and converted.
  QImage frame(16, 16, QImage::Format_ARGB32);
  frame.fill(Qt::red);
  writer.AddFrame(frame);
  writer.Finish();
  EXPECT_THROW(writer.AddFrame(frame), KestrelError);
  EXPECT_THROW(writer.Finish(), KestrelError);
  EXPECT_EQ(DecodeVideo(path).frames.size(), 1u);
}

// A name that cannot be written fails before the first frame, with the system's reason, and
// leaves nothing behind.
TEST(VideoWriter, AnUnwritableNameFailsAtOnce) {
  ScratchDir dir;
  fs::create_directory(dir.path() / "folder");
  struct Case {
    std::string path;
    std::string message;
  };
  const std::string missing = (dir.path() / "missing" / "spin.mp4").string();
  const std::string folder = (dir.path() / "folder").string();
  const Case cases[] = {
      {missing, "Cannot save file \"" + missing + "\": No such file or directory"},
      {folder, "Cannot save file \"" + folder + "\": Is a directory"},
  };
  for (const Case& c : cases) {
    try {
      VideoWriter writer(c.path, {VideoFormat::Mp4, {16, 16}, 10, 0});
      ADD_FAILURE() << c.path << " was taken";
    } catch (const KestrelError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
    left.push_back(entry.path().lexically_relative(dir.path()).string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"folder"});
}

// When the folder goes away while the frames are encoded, the write at the end reports it and
// nothing is left; an older file under the name is kept as it was when only the write fails.
TEST(VideoWriter, AFailedWriteAtTheEndLeavesNoFile) {
  ScratchDir dir;
  const fs::path folder = dir.path() / "out";
  fs::create_directory(folder);
  const std::string path = (folder / "spin.webm").string();
  VideoWriter writer(path, {VideoFormat::WebM, {16, 16}, 10, 0});
  writer.AddFrame(Frame(0, {16, 16}));
  fs::remove(folder);
  try {
    writer.Finish();
    ADD_FAILURE() << "the write succeeded";
  } catch (const KestrelError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot save file \"" + path + "\": No such file or directory");
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
