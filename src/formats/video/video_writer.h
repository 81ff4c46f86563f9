// Videos made of frames of one size: MP4 (H.264), WebM (VP9) or a looping GIF, encoded by the
// FFmpeg libraries and put on disk in one safe replace, as every other file we write.
#pragma once

#include <QImage>
#include <QSize>
#include <memory>
#include <optional>
#include <string>

enum class VideoFormat { Mp4, WebM, Gif };

// The format a name's extension asks for: .mp4, .webm or .gif, letter case ignored.
std::optional<VideoFormat> VideoFormatOf(const std::string& fileName);

// The fastest frame rate a format plays as asked. A GIF counts its delays in hundredths of a
// second, and players show anything shorter than two hundredths as ten.
double MaxFramesPerSecond(VideoFormat format);

// The size of the pictures in the file for frames of `frameSize`. H.264 in 4:2:0 needs even
// sides, so an MP4's odd width or height gains one column on the right or one row at the
// bottom, in the pad colour; WebM and GIF keep the size.
QSize EncodedFrameSize(VideoFormat format, QSize frameSize);

struct VideoSettings {
  VideoFormat format = VideoFormat::Mp4;
  QSize frameSize;              // of every frame, 1 to 16384 pixels a side
  double framesPerSecond = 30;  // above 0, at most MaxFramesPerSecond
  QRgb padColour = 0xFF000000;  // the column or row an odd-sized MP4 frame gains
};

class VideoWriter {
 public:
  // Sets up the encoder. Throws KestrelError for settings outside the limits above, and when
  // `fileName` could not be written at all (no such folder, no permission), so that a long job
  // stops before it starts. Nothing is written yet.
  VideoWriter(std::string fileName, const VideoSettings& settings);
  ~VideoWriter();
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // Encodes the next frame, shown for 1 / framesPerSecond seconds. Any QImage format; its size
  // must be the settings' frameSize.
  void AddFrame(const QImage& frame);

  // Encodes what the encoder still holds and writes the file through a temporary file beside
  // it. On failure KestrelError names the file and the reason, and the file is as it was.
  // Call once, after the last frame; at least one frame must have been added.
  void Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
